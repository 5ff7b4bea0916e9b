#pragma once

#include <qmsupport/export.h>
#include <qmsupport/platform/unique_fd.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace qm::platform {

// Writes `data` to a temporary file in the target's directory, fsyncs it, renames it over
// `nativePath` and fsyncs the directory. On failure the old file stays whole and no temporary
// file is left. A replaced file keeps its permissions (and its owner where allowed); a
// symbolic link is written through, so the link stays.
[[nodiscard]] QMSUPPORT_API bool WriteFileAtomic(const std::string& nativePath,
                                                 std::string_view data);

// A file written in pieces and put in place whole: Open makes a temporary file next to the
// target, Stream() writes to it, and Commit flushes, fsyncs and renames it over the target,
// as WriteFileAtomic does. Without Commit the temporary file is removed and the target stays
// as it was. Renaming replaces only the target's directory entry, so another hard link to
// the old file keeps the old bytes.
class QMSUPPORT_API AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // False when the target is a directory or the temporary file cannot be made.
    [[nodiscard]] bool Open(const std::string& nativePath) noexcept;
    // The stream over the temporary file; null before Open and after Commit.
    FILE* Stream() const { return stream_; }
    // False, leaving the target alone, when any write or the rename failed.
    [[nodiscard]] bool Commit();

  private:
    void Abandon();

    FILE* stream_ = nullptr;
    std::string target_;
    std::string tempPath_;
    std::string directory_;
    bool replaces_ = false;
    unsigned mode_ = 0;
    unsigned owner_ = 0;
    unsigned group_ = 0;
};
// While an object of this class lives, atomic writes of the calling thread still replace
// their target whole but skip the fsync of the file and of its directory. For a tree that
// nobody relies on until its owner flushes the whole file system once (syncfs) before putting
// it in use, such as a stage that is swapped in later; thousands of flushes become one.
class QMSUPPORT_API DeferredFlush {
  public:
    DeferredFlush();
    ~DeferredFlush();
    DeferredFlush(const DeferredFlush&) = delete;
    DeferredFlush& operator=(const DeferredFlush&) = delete;

    // Whether the calling thread defers its flushes; a thread that works for it does the same.
    static bool Active();

  private:
    bool outer_;
};

// Flushes a directory's entries to disk, so that renames in it survive a power loss. Some file
// systems cannot sync a directory; the renames have happened either way.
QMSUPPORT_API void SyncDirectory(const std::string& nativeDirectory);

// Opens a regular file for reading, without blocking: a FIFO or a device in the file's place
// could block the open or the reads for ever. Returns the descriptor, which owns nothing when
// the file cannot be opened or is no regular file; `size` (optional) receives the file's size.
[[nodiscard]] QMSUPPORT_API UniqueFd OpenRegularFile(const std::string& nativePath,
                                                     size_t* size = nullptr);
// Reads a whole regular file; false when it cannot be read or is no regular file.
[[nodiscard]] QMSUPPORT_API bool ReadFile(const std::string& nativePath,
                                          std::string& data) noexcept;
// Renames a file of the system's paths; 0 on success, else -1 with errno set, as _wrename.
// The source and the destination's directories are found by the rules of NativePath; the
// destination's name is created with the case given. Like _wrename it never replaces: an
// entry of exactly the destination's name makes it fail with EEXIST, except for the source
// itself (a file renamed to its own name stays as it is). An entry whose name differs only in
// case is not in the way, and both files stay. A missing destination directory fails (ENOENT),
// as does a missing source.
QMSUPPORT_API int RenameFile(const wchar_t* oldPath, const wchar_t* newPath) noexcept;
// Creates every missing directory up to the last separator of the system path; existing
// components are found without regard to case, new ones take the case given. True when the
// directory exists at the end.
QMSUPPORT_API bool CreateDirectories(const wchar_t* path) noexcept;
// Whether an entry (file or directory) exists at the system path.
[[nodiscard]] QMSUPPORT_API bool FileExists(const wchar_t* path) noexcept;

}  // namespace qm::platform
