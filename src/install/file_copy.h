#pragma once

// Copying regular files for the stage and the backup in as few system calls as the file
// system allows: the status of the source is known already, the copy is created once, and
// the owner and mode are set only where creating the file did not give them.

#include "install/install_common.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>

namespace qm::install {

class FileCopier {
  public:
    FileCopier();

    // Creates `to`, which must not exist, as a copy of the open regular file `from` whose
    // status is `st`: its content (a reflink where the file system offers one), mode, times
    // and, where allowed, owner. `folderSetsGroup` says that the folder of `to` hands its
    // group to new files. Returns false with errno set, leaving no `to` behind. Several
    // threads may copy at once.
    bool Copy(int from, const char* to, const struct stat& st, bool folderSetsGroup);

  private:
    std::atomic<bool> cloneable_{true};  // false once the file system refused a reflink
    int umask_ = -1;                     // the process's file creation mask, -1 when unknown
    uid_t uid_;
    gid_t gid_;
};

}  // namespace qm::install
