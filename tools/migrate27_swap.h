#pragma once

// Swapping a migrated stage in for the installation, recorded in a journal so that a run
// stopped at any instant can be completed or undone, and the lock that keeps runs apart.

#include "migrate27_common.h"

#include <string>

namespace migrate27 {

// The installation and the files kept beside it while a run works on it.
struct Places {
    fs::path install;  // absolute, without a trailing separator
    fs::path stage;
    fs::path journal;
    fs::path lock;

    static Places For(const fs::path& install);
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
    int fd_ = -1;
};

// Test hook: the process kills itself with SIGKILL at the named point of a run when the
// environment variable QMSUPPORT_MIGRATE27_KILL_AT names it. QMSUPPORT_MIGRATE27_NO_EXCHANGE
// makes the swap take the two renames used where the file system cannot exchange two names.
void StopHere(const char* point);

// Records that a stage is being built, so that an interrupted run leaves nothing behind.
void BeginStaging(const Places& places);
// Removes the stage and the journal (a dry run, or a run that failed before the swap).
void DiscardStage(const Places& places);

// Puts the migrated stage in the installation's place. The former installation ends at
// `backup`, or is removed when `keepBackup` is false.
void SwapIn(const Places& places, const fs::path& backup, bool keepBackup);

enum class Recovery {
    None,       // no interrupted run
    Undone,     // the installation is the one from before the interrupted run
    Completed,  // the interrupted migration was swapped in
};
// Completes or undoes a run that was interrupted; `detail` says what was done.
Recovery Recover(const Places& places, std::string& detail);

}  // namespace migrate27
