#include "install/backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

namespace qm::install {

namespace {

// Replaces `file` by a copy with the same content, mode, owner (where allowed) and times.
void ReplaceByCopy(const SharedFile& shared, FileCopier& copier) {
    const fs::path& file = shared.file;
    const fs::path temporary =
        file.parent_path() / ("." + file.filename().string().substr(0, 160) + ".backup-copy");
    const int from = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (from < 0) {
        throw Failure("cannot read '" + file.string() + "' to copy it: " + ErrnoText());
    }
    bool copied = copier.Copy(from, temporary.c_str(), shared.st, true);
    if (!copied && errno == EEXIST) {  // left by an earlier run that was stopped
        unlink(temporary.c_str());
        copied = copier.Copy(from, temporary.c_str(), shared.st, true);
    }
    const std::string reason = ErrnoText();
    close(from);
    if (!copied) {
        throw Failure("cannot copy '" + file.string() + "' for the backup: " + reason);
    }
    if (rename(temporary.c_str(), file.c_str()) != 0) {
        const std::string failure = ErrnoText();
        unlink(temporary.c_str());
        throw Failure("cannot copy '" + file.string() + "' for the backup: " + failure);
    }
}

}  // namespace

std::vector<SharedFile> FindShared(const fs::path& stage, const std::unordered_set<ino_t>& shared) {
    std::vector<SharedFile> files;
    if (shared.empty()) {
        return files;
    }
    std::error_code error;
    for (fs::recursive_directory_iterator it(stage, error), end; !error && it != end;
         it.increment(error)) {
        struct stat st;
        if (it->is_regular_file(error) && lstat(it->path().c_str(), &st) == 0 &&
            S_ISREG(st.st_mode) && shared.count(st.st_ino) != 0) {
            files.push_back({it->path(), st});
        }
    }
    if (error) {
        throw Failure("cannot read the stage '" + stage.string() + "': " + error.message());
    }
    return files;
}

void UnshareStage(const std::vector<SharedFile>& files, FileCopier& copier,
                  const std::function<void(size_t done)>& tick) {
    // Names that share one inode within the installation stay one file: the first is copied,
    // the others are linked to the copy.
    std::map<ino_t, fs::path> copies;
    size_t done = 0;
    for (const SharedFile& shared : files) {
        const fs::path& file = shared.file;
        const auto copy = copies.find(shared.st.st_ino);
        if (copy == copies.end()) {
            ReplaceByCopy(shared, copier);
            copies.emplace(shared.st.st_ino, file);
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
}

}  // namespace qm::install
