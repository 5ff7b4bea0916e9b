#include "install/swap.h"

#include "install/stage.h"

#include <qmsupport/platform/file_ops.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace qm::install {

namespace {

constexpr const char* kJournalHeader = "qmsupport migrate27 journal 2";
constexpr const char* kUndoHeader = "qmsupport migrate27 undo 1";

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

// Names in the journal and the undo record stay on one line: "\\" and "\n" stand for a
// backslash and a line break.
std::string EscapeLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return out;
}

std::string UnescapeLine(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

// The "key=value" lines of a text that starts with `header`; an empty map when its header is
// wrong.
std::multimap<std::string, std::string> ParseKeyText(const std::string& text, const char* header) {
    std::multimap<std::string, std::string> values;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (line != header) {
                return values;
            }
            first = false;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values.emplace(line.substr(0, equals), UnescapeLine(line.substr(equals + 1)));
        }
    }
    return values;
}

std::string Value(const std::multimap<std::string, std::string>& values, const char* key) {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

void WriteJournal(const Places& places, const Journal& journal) {
    if (!qm::platform::WriteFileAtomic(places.journal.string(), JournalText(places, journal))) {
        throw Failure("cannot write the journal '" + places.journal.string() + "': " + ErrnoText());
    }
}

Journal ReadJournal(const Places& places) {
    std::string text;
    if (!qm::platform::ReadFile(places.journal.string(), text)) {
        throw Failure("cannot read the journal '" + places.journal.string() +
                      "' of an interrupted run: " + ErrnoText());
    }
    return ParseJournal(text, places);
}

// Removes a file kept beside the installation; a missing file is no error.
void RemoveFile(const fs::path& file) {
    if (unlink(file.c_str()) != 0 && errno != ENOENT) {
        throw Failure("cannot remove '" + file.string() + "': " + ErrnoText());
    }
}

void RemoveJournal(const Places& places) {
    RemoveFile(places.journal);
    qm::platform::SyncDirectory(places.install.parent_path().string());
}

// Temporary files that an atomic write of the journal or the undo record killed midway left
// beside the installation: "." + name + ".<pid>.<n>.tmp".
void RemoveStaleTemporaries(const Places& places) {
    std::error_code error;
    for (const fs::path& file : {places.journal, places.undo}) {
        const std::string prefix = "." + file.filename().string().substr(0, 160) + ".";
        for (fs::directory_iterator it(places.install.parent_path(), error), end;
             !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
                name.compare(name.size() - 4, 4, ".tmp") == 0) {
                RemoveFile(it->path());
            }
        }
    }
}

void Rename(const fs::path& from, const fs::path& to) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        throw Failure("cannot rename '" + from.string() + "' to '" + to.string() +
                      "': " + ErrnoText());
    }
}

// Records what an undo needs: the backup, its form and, for a backup sharing files with the
// live tree, each shared file's size and modification time.
void WriteUndoRecord(const Places& places, const Swap& swap) {
    UndoRecord record;
    record.backup = swap.outgoing;
    record.backupForm = swap.backupForm;
    if (swap.backupForm == "link") {
        std::error_code error;
        for (fs::recursive_directory_iterator it(swap.outgoing, error), end; !error && it != end;
             it.increment(error)) {
            struct stat st;
            if (lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1) {
                record.shared.push_back({it->path().lexically_relative(swap.outgoing).string(),
                                         st.st_size,
                                         static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL +
                                             st.st_mtim.tv_nsec});
            }
        }
        if (error) {
            throw Failure("cannot read the backup '" + swap.outgoing.string() +
                          "': " + error.message());
        }
    }
    if (!qm::platform::WriteFileAtomic(places.undo.string(), UndoRecordText(record))) {
        throw Failure("cannot write '" + places.undo.string() + "': " + ErrnoText());
    }
}

// After the swap: the outgoing tree goes to its name or away, the undo record follows, then
// the journal.
// Returns a warning when the outgoing tree could not be removed and was kept instead.
std::string Finish(const Places& places, const Journal& journal) {
    std::string warning;
    const Swap& swap = journal.swap;
    fs::path old;
    if (IdentityOf(swap.incoming) == journal.before) {
        old = swap.incoming;
    } else if (IdentityOf(swap.outgoing) == journal.before) {
        old = swap.outgoing;
    }
    if (!old.empty()) {
        StopHere("finishing");
        if (!swap.keepOutgoing) {
            try {
                RemoveTree(old);
            } catch (const Failure& failure) {
                // The new installation is in place: what is left of the old one is kept
                // under the outgoing name rather than failing the run.
                if (old != swap.outgoing) {
                    Rename(old, swap.outgoing);
                }
                warning = std::string(failure.what()) + "; what is left of it is kept as '" +
                          swap.outgoing.string() + "'";
            }
        } else if (old != swap.outgoing) {
            Rename(old, swap.outgoing);
        }
        qm::platform::SyncDirectory(places.install.parent_path().string());
    }
    if (swap.kind == Swap::Kind::Migration && swap.keepOutgoing) {
        WriteUndoRecord(places, swap);
    } else {
        RemoveFile(places.undo);
    }
    RemoveJournal(places);
    return warning;
}

}  // namespace

Places Places::For(const fs::path& install, const std::string& job) {
    Places places;
    places.install = install;
    const std::string base = install.string() + "." + job;
    places.stage = base + "-stage";
    places.journal = base + "-journal";
    places.lock = base + "-lock";
    places.undo = base + "-undo";
    return places;
}

Lock::Lock(const fs::path& path)
    : path_(path), lock_(path.string(), qm::platform::FileLock::Mode::Try, 0644) {
    if (!lock_.Opened()) {
        throw Failure("cannot create the lock file '" + path.string() + "': " + ErrnoText());
    }
    if (!lock_.Held()) {
        char pid[32] = {};
        const ssize_t n = pread(lock_.Descriptor(), pid, sizeof pid - 1, 0);
        throw Failure("another migration of this installation is running (process " +
                      std::string(n > 0 ? pid : "unknown") + ", lock file '" + path.string() +
                      "')");
    }
    const std::string pid = std::to_string(getpid());
    if (ftruncate(lock_.Descriptor(), 0) != 0 ||
        pwrite(lock_.Descriptor(), pid.data(), pid.size(), 0) < 0) {
        // The process id only makes the message of a refused run more helpful.
    }
}

Lock::~Lock() {
    // Removed while still held, so that no other run locks the file that goes away.
    unlink(path_.c_str());
}

void StopHere(const char* point) {
    const char* stop = std::getenv("QMSUPPORT_MIGRATE27_KILL_AT");
    if (stop != nullptr && std::strcmp(stop, point) == 0) {
        std::fflush(nullptr);
        kill(getpid(), SIGKILL);
    }
    const char* interrupt = std::getenv("QMSUPPORT_MIGRATE27_INTERRUPT_AT");
    if (interrupt != nullptr && std::strcmp(interrupt, point) == 0) {
        raise(SIGINT);
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

FileSystemFlush::FileSystemFlush(const fs::path& folder)
    : folder_(folder), fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) {
        throw Failure("cannot open '" + folder.string() + "' to flush it to disk: " + ErrnoText());
    }
}

FileSystemFlush::~FileSystemFlush() {
    if (started_.valid()) {
        started_.wait();
    }
    close(fd_);
}

void FileSystemFlush::Start() {
    try {
        started_ =
            std::async(std::launch::async, [fd = fd_] { return syncfs(fd) == 0 ? 0 : errno; });
    } catch (const std::system_error&) {
    }
}

void FileSystemFlush::Finish() {
    int error = started_.valid() ? started_.get() : 0;
    if (syncfs(fd_) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        throw Failure("cannot flush '" + folder_.string() + "' to disk: " + std::strerror(error));
    }
}

std::string SwapIn(const Places& places, const Swap& swap, FileSystemFlush& flush) {
    flush.Finish();
    const Journal journal{"swapping", swap, IdentityOf(places.install), IdentityOf(swap.incoming)};
    WriteJournal(places, journal);
    StopHere("journal");
    // One atomic exchange where the file system offers it: the installation's name never
    // stops naming a complete installation.
    const char* noExchange = std::getenv("QMSUPPORT_MIGRATE27_NO_EXCHANGE");
    const bool exchange = noExchange == nullptr || *noExchange == '\0';
    if (!exchange || renameat2(AT_FDCWD, swap.incoming.c_str(), AT_FDCWD, places.install.c_str(),
                               RENAME_EXCHANGE) != 0) {
        if (exchange && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            throw Failure("cannot swap '" + swap.incoming.string() + "' with '" +
                          places.install.string() + "': " + ErrnoText());
        }
        Rename(places.install, swap.outgoing);
        StopHere("moved-aside");
        Rename(swap.incoming, places.install);
    }
    qm::platform::SyncDirectory(places.install.parent_path().string());
    StopHere("swapped");
    return Finish(places, journal);
}

Recovery Recover(const Places& places, std::string& detail) {
    RemoveStaleTemporaries(places);
    struct stat st;
    if (lstat(places.journal.c_str(), &st) != 0) {
        return Recovery::None;
    }
    const Journal journal = ReadJournal(places);
    const bool undo = journal.swap.kind == Swap::Kind::Undo;
    const Identity install = IdentityOf(places.install);
    if (journal.state == "staging" || install == journal.before) {
        // An undo's incoming tree is the backup, which stays.
        const fs::path incoming = journal.state == "staging" ? places.stage : journal.swap.incoming;
        const Identity stage = IdentityOf(incoming);
        if (!undo && stage.exists && (journal.state == "staging" || stage == journal.after)) {
            RemoveTree(incoming);
        }
        RemoveJournal(places);
        detail = undo ? "an interrupted undo was rolled back: the migrated installation stays"
                      : "an interrupted migration was undone: the installation is unchanged";
        return Recovery::Undone;
    }
    if (!install.exists && IdentityOf(journal.swap.outgoing) == journal.before &&
        IdentityOf(journal.swap.incoming) == journal.after) {
        Rename(journal.swap.incoming, places.install);
    } else if (!(install == journal.after)) {
        throw Failure("the interrupted run recorded in '" + places.journal.string() +
                      "' cannot be completed or undone: '" + places.install.string() +
                      "' is neither the former nor the new installation; nothing was "
                      "changed");
    }
    const std::string warning = Finish(places, journal);
    detail = undo ? "an interrupted undo was completed" : "an interrupted migration was completed";
    if (journal.swap.keepOutgoing) {
        detail += std::string("; the ") + (undo ? "migrated" : "former") +
                  " installation is kept as '" + journal.swap.outgoing.string() + "'";
    }
    if (!warning.empty()) {
        detail += "; " + warning;
    }
    return Recovery::Completed;
}

bool ReadUndoRecord(const Places& places, UndoRecord& record) {
    std::string text;
    return qm::platform::ReadFile(places.undo.string(), text) && ParseUndoRecord(text, record);
}

std::string JournalText(const Places& places, const Journal& journal) {
    std::string text = std::string(kJournalHeader) + "\nstate=" + journal.state +
                       "\ninstall=" + EscapeLine(places.install.string()) + "\n";
    if (journal.state == "swapping") {
        const Swap& swap = journal.swap;
        text += std::string("kind=") + (swap.kind == Swap::Kind::Undo ? "undo" : "migration") +
                "\nincoming=" + EscapeLine(swap.incoming.string()) +
                "\nbackup=" + EscapeLine(swap.outgoing.string()) +
                "\nkeep-backup=" + (swap.keepOutgoing ? "yes" : "no") +
                "\nbackup-form=" + swap.backupForm + "\nbefore=" + journal.before.Text() +
                "\nafter=" + journal.after.Text() + "\n";
    }
    return text;
}

Journal ParseJournal(const std::string& text, const Places& places) {
    const auto values = ParseKeyText(text, kJournalHeader);
    Journal journal;
    journal.state = Value(values, "state");
    journal.swap.kind = Value(values, "kind") == "undo" ? Swap::Kind::Undo : Swap::Kind::Migration;
    journal.swap.incoming = Value(values, "incoming");
    journal.swap.outgoing = Value(values, "backup");
    journal.swap.keepOutgoing = Value(values, "keep-backup") != "no";
    journal.swap.backupForm = Value(values, "backup-form");
    journal.before = ParseIdentity(Value(values, "before"));
    journal.after = ParseIdentity(Value(values, "after"));
    const bool complete =
        Value(values, "install") == places.install.string() &&
        (journal.state == "staging" ||
         (journal.state == "swapping" && !journal.swap.outgoing.empty() &&
          !journal.swap.incoming.empty() && journal.before.exists && journal.after.exists));
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

std::string UndoRecordText(const UndoRecord& record) {
    std::string text = std::string(kUndoHeader) + "\nbackup=" + EscapeLine(record.backup.string()) +
                       "\nbackup-form=" + record.backupForm + "\n";
    for (const UndoRecord::Shared& shared : record.shared) {
        text += "shared=" + std::to_string(shared.size) + " " + std::to_string(shared.mtime) + " " +
                EscapeLine(shared.file) + "\n";
    }
    return text;
}

bool ParseUndoRecord(const std::string& text, UndoRecord& record) {
    const auto values = ParseKeyText(text, kUndoHeader);
    record.backup = Value(values, "backup");
    record.backupForm = Value(values, "backup-form");
    const auto [first, last] = values.equal_range("shared");
    for (auto it = first; it != last; ++it) {
        // "SIZE MTIME NAME": one space after each number, and the name as it is, leading
        // spaces included.
        const std::string& line = it->second;
        UndoRecord::Shared shared;
        const char* end = line.data() + line.size();
        auto [afterSize, sizeError] = std::from_chars(line.data(), end, shared.size);
        if (sizeError != std::errc() || afterSize == end || *afterSize != ' ') {
            continue;
        }
        auto [afterTime, timeError] = std::from_chars(afterSize + 1, end, shared.mtime);
        if (timeError != std::errc() || afterTime == end || *afterTime != ' ') {
            continue;
        }
        shared.file.assign(afterTime + 1, end);
        record.shared.push_back(std::move(shared));
    }
    return !record.backup.empty();
}

}  // namespace qm::install
