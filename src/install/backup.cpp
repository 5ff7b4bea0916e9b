#include "install/backup.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

namespace qm::install {

namespace {

// Fills `to` with the content of `from`: a reflink where the file system can share blocks
// copy-on-write, else copy_file_range, else plain reads and writes. `cloneable` turns false
// once the file system refused a reflink, so that later files do not ask again.
bool CopyContent(int from, int to, off_t size, bool& cloneable) {
    if (cloneable) {
        if (ioctl(to, FICLONE, from) == 0) {
            return true;
        }
        cloneable = errno != EOPNOTSUPP && errno != ENOTTY && errno != EXDEV && errno != ENOSYS;
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

// Replaces `file` by a copy with the same content, mode, owner (where allowed) and times.
void ReplaceByCopy(const fs::path& file, const struct stat& st, bool& cloneable) {
    const fs::path temporary =
        file.parent_path() / ("." + file.filename().string().substr(0, 160) + ".backup-copy");
    const int from = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (from < 0) {
        throw Failure("cannot read '" + file.string() + "' to copy it: " + ErrnoText());
    }
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int to = open(temporary.c_str(), flags, 0600);
    if (to < 0 && errno == EEXIST) {  // left by an earlier run that was stopped
        unlink(temporary.c_str());
        to = open(temporary.c_str(), flags, 0600);
    }
    if (to < 0) {
        const std::string reason = ErrnoText();
        close(from);
        throw Failure("cannot create '" + temporary.string() + "': " + reason);
    }
    const bool copied = CopyContent(from, to, st.st_size, cloneable);
    const std::string reason = ErrnoText();
    close(from);
    if (fchown(to, st.st_uid, st.st_gid) != 0) {
        // Only a privileged process may give a file away; the copy keeps its mode.
    }
    fchmod(to, st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(to, times);
    if (!copied || close(to) != 0 || rename(temporary.c_str(), file.c_str()) != 0) {
        unlink(temporary.c_str());
        throw Failure("cannot copy '" + file.string() +
                      "' for the backup: " + (copied ? ErrnoText() : reason));
    }
}

template <class F>
void ForEachShared(const fs::path& stage, const std::unordered_set<ino_t>& shared, F f) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(stage, error), end; !error && it != end;
         it.increment(error)) {
        struct stat st;
        if (lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            shared.count(st.st_ino) != 0) {
            f(it->path(), st);
        }
    }
    if (error) {
        throw Failure("cannot read the stage '" + stage.string() + "': " + error.message());
    }
}

}  // namespace

size_t CountShared(const fs::path& stage, const std::unordered_set<ino_t>& shared) {
    size_t count = 0;
    ForEachShared(stage, shared, [&count](const fs::path&, const struct stat&) { ++count; });
    return count;
}

size_t UnshareStage(const fs::path& stage, const std::unordered_set<ino_t>& shared,
                    const std::function<void(size_t done)>& tick) {
    // The files to copy are listed first, since copying changes the folders being read. Names
    // that share one inode within the installation stay one file: the first is copied, the
    // others are linked to the copy.
    std::vector<std::pair<fs::path, struct stat>> files;
    ForEachShared(stage, shared, [&files](const fs::path& file, const struct stat& st) {
        files.emplace_back(file, st);
    });
    std::map<ino_t, fs::path> copies;
    bool cloneable = true;
    size_t done = 0;
    for (const auto& [file, st] : files) {
        const auto copy = copies.find(st.st_ino);
        if (copy == copies.end()) {
            ReplaceByCopy(file, st, cloneable);
            copies.emplace(st.st_ino, file);
        } else {
            const fs::path temporary =
                file.parent_path() /
                ("." + file.filename().string().substr(0, 160) + ".backup-copy");
            unlink(temporary.c_str());
            if (link(copy->second.c_str(), temporary.c_str()) != 0 ||
                rename(temporary.c_str(), file.c_str()) != 0) {
                const std::string reason = ErrnoText();
                unlink(temporary.c_str());
                throw Failure("cannot link '" + file.string() + "' for the backup: " + reason);
            }
        }
        tick(++done);
    }
    return done;
}

}  // namespace qm::install
