#pragma once

// The plan of a migration: what a dry run saw and will draw, so that a later run can repeat it
// exactly. It holds the seed of the identifiers the run generates, the run's choices, and a
// fingerprint of every file of the installation; the report of the dry run follows them.

#include "install/install_common.h"

#include <qmsupport/install/migration_report.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qm::install {

// A regular file (its content) or a symbolic link (its target) of the installation.
struct FileFingerprint {
    std::string file;  // relative to the installation, with "/"
    uint64_t size = 0;
    std::string hash;  // BLAKE2b-256 in hexadecimal

    bool operator==(const FileFingerprint&) const = default;
};

struct Plan {
    qm::GuidSeed seed{};
    std::string configuration;  // the main configuration, relative to the installation
    bool scada = false;
    // The run's other choices (the migration and its steps) in the installation service's
    // own text form.
    std::string choices;
    std::vector<FileFingerprint> files;  // sorted by name

    // The plan's fingerprint: a hash of everything above, in hexadecimal.
    std::string Fingerprint() const;
    // The plan file's text: the plan, then `report`.
    std::string Text(const MigrationReport& report) const;
};

// Every regular file and symbolic link below `install`, sorted by name. Throws a Failure when
// a file cannot be read.
std::vector<FileFingerprint> FingerprintInstallation(const fs::path& install);

// Reads a plan file written by Plan::Text. Throws a Refusal naming the file when it is not one.
Plan ReadPlan(const fs::path& file);
// Reads the text of a plan file; `file` names it in messages.
Plan ParsePlan(const std::string& text, const fs::path& file);

// Throws a Refusal naming the first file that changed, appeared or disappeared since `plan`.
void CheckUnchangedSince(const Plan& plan, const std::vector<FileFingerprint>& now,
                         const fs::path& planFile);

}  // namespace qm::install
