#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>

#include "platform/path_rules.h"
#include "toolsapi/no_throw.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace qm::platform {
namespace {

// The directory part of a native path ("." when there is none), and the name after it.
void SplitNative(const std::string& path, std::string& directory, std::string& name) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        directory = ".";
        name = path;
    } else {
        directory = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// Creates a fresh hidden file next to the target. The mode 0666 lets the umask decide the
// permissions of a new file, as for any file the process creates. The target's name is cut
// short in the temporary name, which must stay within the file system's limit.
int OpenTemporary(const std::string& directory, const std::string& name, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string stem = name.substr(0, 160);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%d.%u.tmp", static_cast<int>(getpid()),
                      counter.fetch_add(1));
        tempPath = directory + "/." + stem + suffix;
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// rename(2) that fails with EEXIST instead of replacing an existing destination.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // The file system does not support the flag: test and rename.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}

int Rename(const wchar_t* oldPath, const wchar_t* newPath) {
    const std::string target = qm::Utf8(newPath);
    size_t last = target.find_last_of("/\\");
    const size_t nameStart = last == std::string::npos ? 0 : last + 1;
    if (nameStart == target.size()) {
        errno = ENOENT;
        return -1;
    }
    // Usually the source and the destination's folder exist exactly as written, and then the
    // path rules resolve them to themselves: the rename is tried on them as they are first,
    // which spares a look-up of each. Any failure goes the whole way below.
    const std::string source = qm::Utf8(oldPath);
    if (RenameNoReplace(detail::WithSlashes(source), detail::WithSlashes(target)) == 0) {
        return 0;
    }
    // A missing source fails in the rename itself, with ENOENT before any EEXIST.
    const std::string from = NativePath(source);
    // The destination's directories follow the path rules; its name is created as given, and
    // only an entry of exactly that name is in the way. Resolving the name as well would read
    // the whole directory whenever the name is new, which is the usual case.
    std::string to = last == std::string::npos ? "" : NativePath(target.substr(0, last + 1));
    to.append(target, nameStart);
    if (RenameNoReplace(from, to) == 0) {
        return 0;
    }
    // A file renamed to its own name stays as it is.
    return errno == EEXIST && to == from ? 0 : -1;
}

// Set while a DeferredFlush of this thread lives.
thread_local bool flushDeferred = false;

}  // namespace

void SyncDirectory(const std::string& directory) {
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // Some file systems cannot sync a directory; the rename has happened either way.
        (void)fsync(fd);
        close(fd);
    }
}

DeferredFlush::DeferredFlush() : outer_(!flushDeferred) {
    flushDeferred = true;
}

DeferredFlush::~DeferredFlush() {
    if (outer_) {
        flushDeferred = false;
    }
}

bool DeferredFlush::Active() {
    return flushDeferred;
}

bool WriteFileAtomic(const std::string& nativePath, std::string_view data) {
    AtomicFile file;
    return file.Open(nativePath) &&
           (data.empty() ||
            std::fwrite(data.data(), 1, data.size(), file.Stream()) == data.size()) &&
           file.Commit();
}

AtomicFile::~AtomicFile() {
    Abandon();
}

void AtomicFile::Abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
        unlink(tempPath_.c_str());
    }
}

bool AtomicFile::Open(const std::string& nativePath) noexcept {
    Abandon();
    return qm::detail::NoThrow(false, [&] {
        if (nativePath.empty()) {
            errno = ENOENT;
            return false;
        }
        // A symbolic link keeps pointing at the file it names: the file is replaced, not the
        // link.
        target_ = nativePath;
        struct stat st;
        if (lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (char* real = realpath(target_.c_str(), nullptr)) {
                target_ = real;
                free(real);
            }
        }
        replaces_ = stat(target_.c_str(), &st) == 0;
        if (replaces_ && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        mode_ = st.st_mode & 07777;
        owner_ = st.st_uid;
        group_ = st.st_gid;
        std::string name;
        SplitNative(target_, directory_, name);
        int fd = OpenTemporary(directory_, name, tempPath_);
        if (fd < 0) {
            return false;
        }
        stream_ = fdopen(fd, "wb");
        if (stream_ == nullptr) {
            int error = errno;
            close(fd);
            unlink(tempPath_.c_str());
            errno = error;
            return false;
        }
        return true;
    });
}

bool AtomicFile::Commit() {
    if (stream_ == nullptr) {
        return false;
    }
    const int fd = fileno(stream_);
    bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    if (ok && replaces_) {
        // Keep the replaced file's permissions and, where allowed, its owner.
        ok = fchmod(fd, mode_) == 0;
        if (fchown(fd, owner_, group_) != 0) {
            // Only a privileged process may give a file away; the permissions are kept.
        }
    }
    ok = ok && (flushDeferred || fsync(fd) == 0);
    ok = std::fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    if (!ok || rename(tempPath_.c_str(), target_.c_str()) != 0) {
        int error = errno;
        unlink(tempPath_.c_str());
        errno = error;
        return false;
    }
    if (!flushDeferred) {
        SyncDirectory(directory_);
    }
    return true;
}

UniqueFd OpenRegularFile(const std::string& nativePath, size_t* size) {
    UniqueFd fd(open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return fd;
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return UniqueFd();
    }
    if (size != nullptr) {
        *size = static_cast<size_t>(st.st_size);
    }
    return fd;
}

bool ReadFile(const std::string& nativePath, std::string& data) noexcept {
    size_t size = 0;
    UniqueFd fd = OpenRegularFile(nativePath, &size);
    if (!fd) {
        return false;
    }
    return qm::detail::NoThrow(false, [&] {
        bool ok = false;
        // One byte more than the size, so that the file is read in one call and its end
        // is seen without growing the buffer (files of /proc report no size).
        std::string buffer;
        buffer.resize(size + 1);
        size_t used = 0;
        for (;;) {
            if (used == buffer.size()) {
                buffer.resize(std::max<size_t>(buffer.size() * 2, 65536));
            }
            ssize_t n = read(fd.Get(), buffer.data() + used, buffer.size() - used);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            used += static_cast<size_t>(n);
        }
        if (ok) {
            buffer.resize(used);
            data.swap(buffer);
        }
        return ok;
    });
}

int RenameFile(const wchar_t* oldPath, const wchar_t* newPath) noexcept {
    int result = -1;
    if (!qm::detail::NoThrow(false, [&] {
            result = Rename(oldPath, newPath);
            return true;
        })) {
        errno = ENOMEM;
    }
    return result;
}

bool CreateDirectories(const wchar_t* path) noexcept {
    return qm::detail::NoThrow(false, [&] {
        const std::string text = qm::Utf8(path);
        size_t last = text.find_last_of("/\\");
        if (last == std::string::npos) {
            return true;  // no directory part: the current directory
        }
        const std::string directory = NativePath(text.substr(0, last + 1));
        for (size_t slash = directory.find('/', 1); slash != std::string::npos;
             slash = directory.find('/', slash + 1)) {
            // An existing directory answers EEXIST; any other failure shows in the test below.
            (void)mkdir(directory.substr(0, slash).c_str(), 0777);
        }
        struct stat st;
        return stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    });
}

bool FileExists(const wchar_t* path) noexcept {
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0;
}

}  // namespace qm::platform
