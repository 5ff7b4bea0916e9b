#include "install/file_copy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qm::install {

namespace {

// The file creation mask, read without changing it (umask(2) would, for every thread), or -1.
int CurrentUmask() {
    FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) {
        return -1;
    }
    int mask = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<int>(value & 0777);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

// Fills `to` with the first `size` bytes of `from`: a reflink where the file system can share
// blocks copy-on-write, else copy_file_range, else plain reads and writes.
bool CopyContent(int from, int to, off_t size, std::atomic<bool>& cloneable) {
    if (cloneable) {
        if (ioctl(to, FICLONE, from) == 0) {
            return true;
        }
        cloneable = errno != EOPNOTSUPP && errno != ENOTTY && errno != EXDEV && errno != ENOSYS &&
                    errno != EINVAL;
    }
    off_t done = 0;
    bool ranged = true;
    while (done < size) {
        if (ranged) {
            const ssize_t n =
                copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(size - done), 0);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
                errno != EOPNOTSUPP) {
                return false;
            }
            ranged = false;  // not offered here, or the file shrank: go on by hand
            if (lseek(from, done, SEEK_SET) < 0 || lseek(to, done, SEEK_SET) < 0) {
                return false;
            }
        }
        char buffer[1 << 16];
        const ssize_t n = read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = write(to, buffer + written, static_cast<size_t>(n - written));
            if (w < 0 && errno != EINTR) {
                return false;
            }
            written += w > 0 ? w : 0;
        }
        done += n;
    }
    return true;
}

}  // namespace

FileCopier::FileCopier() : umask_(CurrentUmask()), uid_(geteuid()), gid_(getegid()) {}

bool FileCopier::Copy(int from, const char* to, const struct stat& st, bool folderSetsGroup) {
    const mode_t mode = st.st_mode & 07777;
    const int fd = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
    if (fd < 0) {
        return false;
    }
    bool copied = CopyContent(from, fd, st.st_size, cloneable_);
    // A new file belongs to the running user and group, or to the folder's group; only a
    // privileged process may give it away, so a refusal keeps the copy as it is.
    if (copied && (st.st_uid != uid_ || st.st_gid != gid_ || folderSetsGroup)) {
        (void)fchown(fd, st.st_uid, st.st_gid);
    }
    // The creation mask may have taken bits off, and open(2) sets no special bits.
    if (copied &&
        (umask_ < 0 || (mode & ~0777) != 0 || (mode & static_cast<mode_t>(umask_)) != 0)) {
        copied = fchmod(fd, mode) == 0;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    copied = copied && futimens(fd, times) == 0;
    const int error = errno;
    if (close(fd) != 0 || !copied) {
        const int reason = copied ? errno : error;
        unlink(to);
        errno = reason;
        return false;
    }
    return true;
}

}  // namespace qm::install
