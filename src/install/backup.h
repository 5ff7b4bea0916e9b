#pragma once

// The independent backup: before the swap, every file that the migrated stage still shares
// with the installation through a hard link is replaced, in the stage, by a copy of its own.
// The copies go to the stage because the stage is not live yet: the installation keeps its
// own files untouched at every instant, so the journal can always give it back, and after the
// swap it becomes a backup that shares nothing with the live tree.

#include "install/install_common.h"

#include <sys/types.h>

#include <functional>
#include <unordered_set>

namespace qm::install {

// Gives each stage file whose inode is in `shared` a copy of its own (a reflink where the file
// system offers one), keeping the stage's own hard links together. `tick` is called after each
// file with the number done and may throw to stop. Returns the number of files copied.
size_t UnshareStage(const fs::path& stage, const std::unordered_set<ino_t>& shared,
                    const std::function<void(size_t done)>& tick);

// The number of stage files that UnshareStage would copy.
size_t CountShared(const fs::path& stage, const std::unordered_set<ino_t>& shared);

}  // namespace qm::install
