#pragma once

// The independent backup: the stage copies most files while it is built (StageForm); before
// the swap, every file that the migrated stage still shares with the installation through a
// hard link is replaced, in the stage, by a copy of its own.
// The copies go to the stage because the stage is not live yet: the installation keeps its
// own files untouched at every instant, so the journal can always give it back, and after the
// swap it becomes a backup that shares nothing with the live tree.

#include "install/file_copy.h"
#include "install/install_common.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <unordered_set>
#include <vector>

namespace qm::install {

// A stage file that still shares its inode with the installation, with its status.
struct SharedFile {
    fs::path file;
    struct stat st;
};

// The stage files whose inode is in `shared`, listed before any is copied, since copying
// changes the folders being read.
std::vector<SharedFile> FindShared(const fs::path& stage, const std::unordered_set<ino_t>& shared);

// Gives each of `files` a copy of its own (a reflink where the file system offers one),
// keeping the stage's own hard links together. `tick` is called after each file with the
// number done and may throw to stop.
void UnshareStage(const std::vector<SharedFile>& files, FileCopier& copier,
                  const std::function<void(size_t done)>& tick);

}  // namespace qm::install
