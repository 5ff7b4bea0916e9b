#pragma once

// The stage: a replica of an installation, made of hard links to the original files, that the
// migration works on while the installation itself stays untouched.

#include "install/file_copy.h"
#include "install/install_common.h"

#include <sys/types.h>

#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qm::install {

// How the stage holds the installation's regular files.
struct StageForm {
    // Copies every file except those directly in `linkedFolders` (the folders whose files
    // the migration rewrites, giving them new inodes anyway), so that the stage shares almost
    // nothing with the installation, as an independent backup needs. Otherwise every file is
    // linked.
    bool copies = false;
    std::vector<fs::path> linkedFolders;
};

struct StageResult {
    size_t files = 0;
    size_t copiedFiles = 0;   // files copied because a hard link was impossible
    size_t backupCopies = 0;  // files copied as the StageForm asked
    // Symbolic links of the stage, as absolute paths, whose target lies outside the stage.
    std::vector<fs::path> escapingLinks;
    // Directories created writable for the migration, with the mode to give back afterwards.
    std::vector<std::pair<fs::path, mode_t>> directoryModes;
    // The inodes the stage shares with the installation through its hard links.
    std::unordered_set<ino_t> linkedInodes;
};

// Builds `stage` (which must not exist) as a replica of `source`: directories are created
// with the same mode and, where allowed, owner; regular files are hard-linked or copied as
// `form` says, and copied where linking fails; symbolic links are recreated as they are.
// `tick` is called after each file. Throws Failure, leaving whatever was created for the
// caller to remove.
StageResult BuildStage(const fs::path& source, const fs::path& stage, const StageForm& form,
                       FileCopier& copier, const std::function<void(size_t files)>& tick);

// Gives the recorded directories back their modes.
void RestoreDirectoryModes(const StageResult& stage);

// Removes a whole tree, making its folders writable first where they are ours; throws Failure
// when something stays.
void RemoveTree(const fs::path& tree);

}  // namespace qm::install
