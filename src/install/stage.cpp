#include "install/stage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qm::install {

namespace {

// Copies a regular file with its mode, times and, where allowed, owner.
void CopyFile(const fs::path& from, const fs::path& to, const struct stat& st) {
    std::error_code error;
    if (!fs::copy_file(from, to, fs::copy_options::none, error)) {
        throw Failure("cannot copy '" + from.string() + "' to '" + to.string() +
                      "': " + error.message());
    }
    if (lchown(to.c_str(), st.st_uid, st.st_gid) != 0) {
        // Only a privileged process may give a file away; the copy keeps its mode.
    }
    chmod(to.c_str(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, to.c_str(), times, 0);
}

// Where a link points, without following the link chain: its target made absolute and
// lexically normal.
fs::path LexicalTarget(const fs::path& link, const fs::path& target) {
    return (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();
}

class Stager {
  public:
    Stager(const std::function<void(size_t)>& tick) : tick_(tick) {}

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
        std::error_code error;
        for (fs::directory_iterator it(from, error), end; !error && it != end;
             it.increment(error)) {
            Entry(it->path(), to / it->path().filename());
        }
        if (error) {
            throw Failure("cannot read the folder '" + from.string() + "': " + error.message());
        }
    }

    void Entry(const fs::path& from, const fs::path& to) {
        struct stat st;
        if (lstat(from.c_str(), &st) != 0) {
            throw Failure("cannot read '" + from.string() + "': " + ErrnoText());
        }
        if (S_ISDIR(st.st_mode)) {
            Directory(from, to, st);
        } else if (S_ISREG(st.st_mode)) {
            if (link(from.c_str(), to.c_str()) != 0) {
                if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != EACCES) {
                    throw Failure("cannot link '" + from.string() +
                                  "' into the stage: " + ErrnoText());
                }
                CopyFile(from, to, st);
                ++result.copiedFiles;
            } else {
                result.linkedInodes.insert(st.st_ino);
            }
            tick_(++result.files);
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

    StageResult result;

  private:
    const std::function<void(size_t)>& tick_;
    std::vector<std::pair<fs::path, fs::path>> links_;
};

}  // namespace

StageResult BuildStage(const fs::path& source, const fs::path& stage,
                       const std::function<void(size_t files)>& tick) {
    struct stat st;
    if (stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw Failure("cannot read the folder '" + source.string() + "'");
    }
    Stager stager(tick);
    stager.Directory(source, stage, st);
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
