#pragma once

// Swapping a tree in for the installation, recorded in a journal so that a run stopped at any
// instant can be completed or undone, and the lock that keeps runs apart. A migration swaps
// its stage in; an undo swaps the backup in.

#include "install/install_common.h"

#include <qmsupport/platform/file_lock.h>

#include <sys/types.h>

#include <future>
#include <string>
#include <vector>

namespace qm::install {

// The installation and the files kept beside it while a run works on it.
struct Places {
    fs::path install;  // absolute, without a trailing separator
    fs::path stage;
    fs::path journal;
    fs::path lock;
    fs::path undo;  // what the last migration kept for an undo

    // `job` names the files, as in INSTALL.migrate27-journal.
    static Places For(const fs::path& install, const std::string& job);
};

// An exclusive lock on the installation, held until destruction. A process that dies loses
// the lock with it, so no stale lock ever blocks a later run.
class Lock {
  public:
    // Throws Failure when another process holds the lock.
    explicit Lock(const fs::path& path);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    fs::path path_;
    qm::platform::FileLock lock_;
};

// Test hook: the process kills itself with SIGKILL at the named point of a run when the
// environment variable QMSUPPORT_MIGRATE27_KILL_AT names it. QMSUPPORT_MIGRATE27_NO_EXCHANGE
// makes the swap take the two renames used where the file system cannot exchange two names.
// QMSUPPORT_MIGRATE27_INTERRUPT_AT raises SIGINT at the named point instead, as Ctrl-C would.
void StopHere(const char* point);

// Records that a stage is being built, so that an interrupted run leaves nothing behind.
void BeginStaging(const Places& places);
// Removes the stage and the journal (a dry run, or a run that failed before the swap).
void DiscardStage(const Places& places);

// One swap: `incoming` takes the installation's place, and the tree that was there ends at
// `outgoing`, or is removed when `keepOutgoing` is false.
struct Swap {
    enum class Kind { Migration, Undo };
    Kind kind = Kind::Migration;
    fs::path incoming;
    fs::path outgoing;
    bool keepOutgoing = true;
    std::string backupForm;  // of a migration: "copy", "link" or "none"
};

// Flushes the file system of a folder to disk. Start() begins on a thread of its own, so that
// the stage's copies reach the disk while the migration works on them; Finish() waits for it
// and flushes what was written since. Its one descriptor reports every write-back error on
// that file system from its opening on, whichever flush meets it.
class FileSystemFlush {
  public:
    // Throws Failure when the folder cannot be opened.
    explicit FileSystemFlush(const fs::path& folder);
    ~FileSystemFlush();
    FileSystemFlush(const FileSystemFlush&) = delete;
    FileSystemFlush& operator=(const FileSystemFlush&) = delete;

    // Does nothing when no thread can be started: Finish() then flushes everything.
    void Start();
    // Throws Failure when either flush failed.
    void Finish();

  private:
    fs::path folder_;
    int fd_ = -1;
    std::future<int> started_;  // the first flush's errno, or 0
};

// Finishes `flush`, then swaps, then finishes: the outgoing tree is renamed or removed, and the
// undo record is written (a migration that keeps its backup) or removed (an undo). Returns a
// warning when an outgoing tree to remove could not be removed whole and was kept under its
// outgoing name.
std::string SwapIn(const Places& places, const Swap& swap, FileSystemFlush& flush);

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

struct Journal {
    std::string state;  // "staging" or "swapping"
    Swap swap;
    Identity before;  // the installation as it was
    Identity after;   // the incoming tree
};

// The journal as text, and read back: a journal that is damaged or names another
// installation than `places` is refused with a Failure.
std::string JournalText(const Places& places, const Journal& journal);
Journal ParseJournal(const std::string& text, const Places& places);

enum class Recovery {
    None,       // no interrupted run
    Undone,     // the installation is the one from before the interrupted run
    Completed,  // the interrupted run was completed
};
// Completes or undoes a run that was interrupted; `detail` says what was done. Temporary
// files of an interrupted journal write are removed too.
Recovery Recover(const Places& places, std::string& detail);

// What the last migration kept: its backup, its form, and the shared files with their size
// and modification time, by which an undo tells that a shared file changed since.
struct UndoRecord {
    fs::path backup;
    std::string backupForm;
    struct Shared {
        std::string file;  // relative to the backup
        long long size = 0;
        long long mtime = 0;  // nanoseconds
    };
    std::vector<Shared> shared;
};
// False when there is no record.
bool ReadUndoRecord(const Places& places, UndoRecord& record);
// The undo record as text, and read back; false when the text holds no record.
std::string UndoRecordText(const UndoRecord& record);
bool ParseUndoRecord(const std::string& text, UndoRecord& record);

}  // namespace qm::install
