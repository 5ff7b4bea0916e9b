#include <qmsupport/platform/file_lock.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

namespace qm::platform {
namespace {

// Whether the open file is still the one that `path` names.
bool StillNamed(int fd, const std::string& path) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

FileLock::FileLock(const std::string& nativePath, Mode mode, unsigned permissions) noexcept {
    const int operation = LOCK_EX | (mode == Mode::Try ? LOCK_NB : 0);
    for (;;) {
        fd_.Reset(open(nativePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, permissions));
        if (!fd_) {
            return;
        }
        int result;
        while ((result = flock(fd_.Get(), operation)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            return;
        }
        if (StillNamed(fd_.Get(), nativePath)) {
            held_ = true;
            return;
        }
        fd_.Reset();
    }
}

}  // namespace qm::platform
