#pragma once

#include <qmsupport/export.h>
#include <qmsupport/platform/unique_fd.h>

#include <string>

namespace qm::platform {

// An exclusive advisory lock (flock) on a lock file, held while the object lives and released
// when it is destroyed, or when the process dies, so that no stale lock outlives its holder.
// The file is created when missing. A holder may remove the file when it is done; a lock taken
// on a file that was removed or replaced between the open and the lock is dropped and taken
// again on the file that now has the name.
class QMSUPPORT_API FileLock {
  public:
    enum class Mode {
        Wait,  // blocks until the lock is free
        Try,   // returns at once when another holder has it
    };

    FileLock(const std::string& nativePath, Mode mode, unsigned permissions) noexcept;

    // Whether the lock file could be opened (errno tells why when it could not).
    [[nodiscard]] bool Opened() const noexcept { return static_cast<bool>(fd_); }
    // Whether this object holds the lock.
    [[nodiscard]] bool Held() const noexcept { return held_; }
    // The open lock file, held or not, for reading or writing what a holder keeps in it.
    [[nodiscard]] int Descriptor() const noexcept { return fd_.Get(); }

  private:
    UniqueFd fd_;
    bool held_ = false;
};

}  // namespace qm::platform
