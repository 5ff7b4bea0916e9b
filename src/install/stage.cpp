#include "install/stage.h"

#include "platform/in_order.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace qm::install {

namespace {

// Where a link points, without following the link chain: its target made absolute and
// lexically normal.
fs::path LexicalTarget(const fs::path& link, const fs::path& target) {
    return (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();
}

class Stager {
  public:
    Stager(const StageForm& form, FileCopier& copier, const std::function<void(size_t)>& tick)
        : form_(form), copier_(copier), tick_(tick) {}

    void Directory(const fs::path& from, const fs::path& to, const struct stat& st) {
        if (mkdir(to.c_str(), 0700) != 0) {
            throw Failure("cannot create '" + to.string() + "': " + ErrnoText());
        }
        if (lchown(to.c_str(), st.st_uid, st.st_gid) != 0) {
            // Kept with the running user as owner; only a privileged process may do better.
        }
        // The migration writes into the directories of the stage, so each is writable by us
        // until the migration is over.
        const mode_t mode = st.st_mode & 07777;
        if (chmod(to.c_str(), mode | S_IRWXU) != 0) {
            throw Failure("cannot set the mode of '" + to.string() + "': " + ErrnoText());
        }
        if ((mode | S_IRWXU) != mode) {
            result.directoryModes.emplace_back(to, mode);
        }
        const bool linked =
            !form_.copies || std::find(form_.linkedFolders.begin(), form_.linkedFolders.end(),
                                       from) != form_.linkedFolders.end();
        std::error_code error;
        for (fs::directory_iterator it(from, error), end; !error && it != end;
             it.increment(error)) {
            Entry(it->path(), to / it->path().filename(), linked, (mode & S_ISGID) != 0);
        }
        if (error) {
            throw Failure("cannot read the folder '" + from.string() + "': " + error.message());
        }
    }

    // `linked`: a regular file is hard-linked rather than copied. `setsGroup`: the folder
    // of `to` hands its group to new files.
    void Entry(const fs::path& from, const fs::path& to, bool linked, bool setsGroup) {
        struct stat st;
        if (lstat(from.c_str(), &st) != 0) {
            throw Failure("cannot read '" + from.string() + "': " + ErrnoText());
        }
        if (S_ISDIR(st.st_mode)) {
            Directory(from, to, st);
        } else if (S_ISREG(st.st_mode)) {
            ++result.files;
            if (!linked) {
                ++result.backupCopies;
                // A file of one name is copied later, beside the others; one with several
                // names now, so that its other names can be linked to the copy.
                if (st.st_nlink == 1) {
                    pending_.push_back({from, to, st, setsGroup});
                    return;
                }
                Copy(from, to, st, setsGroup);
            } else if (link(from.c_str(), to.c_str()) == 0) {
                result.linkedInodes.insert(st.st_ino);
            } else if (errno == EXDEV || errno == EPERM || errno == EMLINK || errno == EACCES) {
                Copy(from, to, st, setsGroup);
                ++result.copiedFiles;
            } else {
                throw Failure("cannot link '" + from.string() + "' into the stage: " + ErrnoText());
            }
            Tick();
        } else if (S_ISLNK(st.st_mode)) {
            std::error_code error;
            const fs::path target = fs::read_symlink(from, error);
            if (!error) {
                fs::create_symlink(target, to, error);
            }
            if (error) {
                throw Failure("cannot copy the link '" + from.string() + "': " + error.message());
            }
            if (lchown(to.c_str(), st.st_uid, st.st_gid) != 0) {
                // As for directories: the running user stays the owner.
            }
            links_.emplace_back(to, target);
        } else {
            throw Failure("'" + from.string() +
                          "' is neither a file, a folder nor a link (a device, pipe or socket); "
                          "move it out of the installation first");
        }
    }

    // Records the links that lead out of the stage, by their text and once resolved.
    void CheckLinks(const fs::path& stage) {
        std::error_code error;
        const fs::path root = fs::canonical(stage, error);
        for (const auto& [link, target] : links_) {
            const fs::path resolved = fs::weakly_canonical(link, error);
            if (!IsInside(LexicalTarget(link, target), stage) ||
                (!error && !IsInside(resolved, root))) {
                result.escapingLinks.push_back(link);
            }
        }
    }

    // Makes the copies left for later, on one thread per processor; they are told to `tick`
    // in the order they were found.
    void CopyPending() {
        qm::platform::RunInOrder(
            pending_.size(), qm::platform::ProcessorCount(),
            [this](size_t i) {
                const PendingCopy& copy = pending_[i];
                Copy(copy.from, copy.to, copy.st, copy.setsGroup);
            },
            [this](size_t) { Tick(); });
    }

    StageResult result;

  private:
    struct PendingCopy {
        fs::path from;
        fs::path to;
        struct stat st;
        bool setsGroup;
    };

    void Tick() { tick_(++ticked_); }

    // Copies a regular file; names that share its inode within the installation stay one
    // file, linked to the first copy.
    void Copy(const fs::path& from, const fs::path& to, const struct stat& st, bool setsGroup) {
        if (st.st_nlink > 1) {
            const auto copy = copies_.find(st.st_ino);
            if (copy != copies_.end()) {
                if (link(copy->second.c_str(), to.c_str()) != 0) {
                    throw Failure("cannot link '" + to.string() + "': " + ErrnoText());
                }
                return;
            }
        }
        const int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        const bool copied = fd >= 0 && copier_.Copy(fd, to.c_str(), st, setsGroup);
        const std::string reason = ErrnoText();
        if (fd >= 0) {
            close(fd);
        }
        if (!copied) {
            throw Failure("cannot copy '" + from.string() + "' to '" + to.string() +
                          "': " + reason);
        }
        if (st.st_nlink > 1) {
            copies_.emplace(st.st_ino, to);
        }
    }

    const StageForm& form_;
    FileCopier& copier_;
    std::map<ino_t, fs::path> copies_;  // copies of files with several names, by inode
    const std::function<void(size_t)>& tick_;
    std::vector<std::pair<fs::path, fs::path>> links_;
    std::vector<PendingCopy> pending_;
    size_t ticked_ = 0;
};

}  // namespace

StageResult BuildStage(const fs::path& source, const fs::path& stage, const StageForm& form,
                       FileCopier& copier, const std::function<void(size_t files)>& tick) {
    struct stat st;
    if (stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw Failure("cannot read the folder '" + source.string() + "'");
    }
    Stager stager(form, copier, tick);
    stager.Directory(source, stage, st);
    stager.CopyPending();
    stager.CheckLinks(stage);
    return std::move(stager.result);
}

void RestoreDirectoryModes(const StageResult& stage) {
    // Children first: a parent that loses its search permission must come last.
    for (auto it = stage.directoryModes.rbegin(); it != stage.directoryModes.rend(); ++it) {
        const auto& [directory, mode] = *it;
        if (chmod(directory.c_str(), mode) != 0) {
            throw Failure("cannot set the mode of '" + directory.string() + "': " + ErrnoText());
        }
    }
}

void RemoveTree(const fs::path& tree) {
    std::error_code error;
    // A folder without write permission keeps its entries even from its owner; the tree is
    // going away, so its folders are opened up first (children after their parents).
    struct stat st;
    if (lstat(tree.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        chmod(tree.c_str(), (st.st_mode & 07777) | S_IRWXU);
        for (fs::recursive_directory_iterator it(tree, error), end; !error && it != end;
             it.increment(error)) {
            if (lstat(it->path().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                chmod(it->path().c_str(), (st.st_mode & 07777) | S_IRWXU);
            }
        }
    }
    fs::remove_all(tree, error);
    if (error) {
        throw Failure("cannot remove '" + tree.string() + "': " + error.message());
    }
}

}  // namespace qm::install
