#include "migrate27_swap.h"

#include "migrate27_stage.h"

#include <qmsupport/platform/file_ops.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace migrate27 {

namespace {

constexpr const char* kJournalHeader = "qmsupport migrate27 journal 1";

// A directory's identity, which stays with it through renames.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool exists = false;

    bool operator==(const Identity& other) const {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
    std::string Text() const { return std::to_string(device) + ":" + std::to_string(inode); }
};

Identity IdentityOf(const fs::path& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return {};
    }
    return {st.st_dev, st.st_ino, true};
}

Identity ParseIdentity(const std::string& text) {
    unsigned long long device = 0, inode = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%llu:%llu%c", &device, &inode, &end) != 2) {
        return {};
    }
    return {static_cast<dev_t>(device), static_cast<ino_t>(inode), true};
}

struct Journal {
    std::string state;  // "staging" or "swapping"
    fs::path backup;
    bool keepBackup = true;
    Identity before;  // the installation as it was
    Identity after;   // the migrated stage
};

void WriteJournal(const Places& places, const Journal& journal) {
    std::string text = std::string(kJournalHeader) + "\nstate=" + journal.state +
                       "\ninstall=" + places.install.string() + "\n";
    if (journal.state == "swapping") {
        text += "backup=" + journal.backup.string() +
                "\nkeep-backup=" + (journal.keepBackup ? "yes" : "no") +
                "\nbefore=" + journal.before.Text() + "\nafter=" + journal.after.Text() + "\n";
    }
    if (!qm::platform::WriteFileAtomic(places.journal.string(), text)) {
        throw Failure("cannot write the journal '" + places.journal.string() + "': " + ErrnoText());
    }
}

Journal ReadJournal(const Places& places) {
    std::string text;
    if (!qm::platform::ReadFile(places.journal.string(), text)) {
        throw Failure("cannot read the journal '" + places.journal.string() +
                      "' of an interrupted run: " + ErrnoText());
    }
    std::map<std::string, std::string> values;
    size_t start = 0;
    bool header = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (header) {
            if (line != kJournalHeader) {
                break;
            }
            header = false;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    Journal journal;
    journal.state = values["state"];
    journal.backup = values["backup"];
    journal.keepBackup = values["keep-backup"] != "no";
    journal.before = ParseIdentity(values["before"]);
    journal.after = ParseIdentity(values["after"]);
    const bool complete =
        !header && values["install"] == places.install.string() &&
        (journal.state == "staging" || (journal.state == "swapping" && !journal.backup.empty() &&
                                        journal.before.exists && journal.after.exists));
    if (!complete) {
        throw Failure("the journal '" + places.journal.string() +
                      "' of an interrupted run is damaged or describes another installation; "
                      "nothing was changed: compare '" +
                      places.install.string() + "' and '" + places.stage.string() +
                      "' by hand, keep the complete one under the installation's name and "
                      "remove the journal");
    }
    return journal;
}

void RemoveJournal(const Places& places) {
    if (unlink(places.journal.c_str()) != 0 && errno != ENOENT) {
        throw Failure("cannot remove the journal '" + places.journal.string() +
                      "': " + ErrnoText());
    }
    SyncDirectory(places.install.parent_path());
}

void Rename(const fs::path& from, const fs::path& to) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        throw Failure("cannot rename '" + from.string() + "' to '" + to.string() +
                      "': " + ErrnoText());
    }
}

// After the swap: the former installation goes to the backup name or away, then the journal.
void Finish(const Places& places, const Journal& journal) {
    fs::path old;
    if (IdentityOf(places.stage) == journal.before) {
        old = places.stage;
    } else if (IdentityOf(journal.backup) == journal.before) {
        old = journal.backup;
    }
    if (!old.empty()) {
        StopHere("finishing");
        if (!journal.keepBackup) {
            RemoveTree(old);
        } else if (old != journal.backup) {
            Rename(old, journal.backup);
        }
        SyncDirectory(places.install.parent_path());
    }
    RemoveJournal(places);
}

// Flushes the whole file system of `path`, so that the stage is on disk before the journal
// commits to it.
void SyncFileSystem(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || syncfs(fd) != 0) {
        const std::string reason = ErrnoText();
        if (fd >= 0) {
            close(fd);
        }
        throw Failure("cannot flush '" + path.string() + "' to disk: " + reason);
    }
    close(fd);
}

}  // namespace

Places Places::For(const fs::path& install) {
    Places places;
    places.install = install;
    const std::string base = install.string();
    places.stage = base + ".migrate27-stage";
    places.journal = base + ".migrate27-journal";
    places.lock = base + ".migrate27-lock";
    return places;
}

Lock::Lock(const fs::path& path) : path_(path) {
    // Another run may remove the file between our open and our lock; then the lock is on a
    // file that no longer has the name, and we try again.
    for (;;) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            throw Failure("cannot create the lock file '" + path.string() + "': " + ErrnoText());
        }
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            char pid[32] = {};
            const ssize_t n = pread(fd_, pid, sizeof pid - 1, 0);
            close(fd_);
            throw Failure("another migration of this installation is running (process " +
                          std::string(n > 0 ? pid : "unknown") + ", lock file '" + path.string() +
                          "')");
        }
        struct stat held, named;
        if (fstat(fd_, &held) == 0 && stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            break;
        }
        close(fd_);
    }
    const std::string pid = std::to_string(getpid());
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, pid.data(), pid.size(), 0) < 0) {
        // The process id only makes the message of a refused run more helpful.
    }
}

Lock::~Lock() {
    unlink(path_.c_str());
    close(fd_);
}

void StopHere(const char* point) {
    const char* stop = std::getenv("QMSUPPORT_MIGRATE27_KILL_AT");
    if (stop != nullptr && std::strcmp(stop, point) == 0) {
        std::fflush(nullptr);
        kill(getpid(), SIGKILL);
    }
}

void BeginStaging(const Places& places) {
    Journal journal;
    journal.state = "staging";
    WriteJournal(places, journal);
}

void DiscardStage(const Places& places) {
    RemoveTree(places.stage);
    RemoveJournal(places);
}

void SwapIn(const Places& places, const fs::path& backup, bool keepBackup) {
    SyncFileSystem(places.stage);
    Journal journal{"swapping", backup, keepBackup, IdentityOf(places.install),
                    IdentityOf(places.stage)};
    WriteJournal(places, journal);
    StopHere("journal");
    // One atomic exchange where the file system offers it: the installation's name never
    // stops naming a complete installation.
    const char* noExchange = std::getenv("QMSUPPORT_MIGRATE27_NO_EXCHANGE");
    const bool exchange = noExchange == nullptr || *noExchange == '\0';
    if (!exchange || renameat2(AT_FDCWD, places.stage.c_str(), AT_FDCWD, places.install.c_str(),
                               RENAME_EXCHANGE) != 0) {
        if (exchange && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            throw Failure("cannot swap '" + places.stage.string() + "' with '" +
                          places.install.string() + "': " + ErrnoText());
        }
        Rename(places.install, backup);
        StopHere("moved-aside");
        Rename(places.stage, places.install);
    }
    SyncDirectory(places.install.parent_path());
    StopHere("swapped");
    Finish(places, journal);
}

Recovery Recover(const Places& places, std::string& detail) {
    struct stat st;
    if (lstat(places.journal.c_str(), &st) != 0) {
        return Recovery::None;
    }
    const Journal journal = ReadJournal(places);
    const Identity install = IdentityOf(places.install);
    const Identity stage = IdentityOf(places.stage);
    if (journal.state == "staging" || install == journal.before) {
        if (stage.exists && (journal.state == "staging" || stage == journal.after)) {
            RemoveTree(places.stage);
        }
        RemoveJournal(places);
        detail = "an interrupted migration was undone: the installation is unchanged";
        return Recovery::Undone;
    }
    if (!install.exists && IdentityOf(journal.backup) == journal.before && stage == journal.after) {
        Rename(places.stage, places.install);
    } else if (!(install == journal.after)) {
        throw Failure("the interrupted migration recorded in '" + places.journal.string() +
                      "' cannot be completed or undone: '" + places.install.string() +
                      "' is neither the former nor the migrated installation; nothing was "
                      "changed");
    }
    Finish(places, journal);
    detail = "an interrupted migration was completed";
    if (journal.keepBackup) {
        detail += "; the former installation is kept as '" + journal.backup.string() + "'";
    }
    return Recovery::Completed;
}

}  // namespace migrate27
