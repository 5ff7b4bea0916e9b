#pragma once

// What a migration of an installation did, written afterwards as a JSON report.

#include <qmsupport/export.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm::install {

struct MovedFile {
    std::string from;
    std::string to;
};

// A rename pair as plain text, and the number of places it changed in the documents.
struct Rename {
    std::string from;
    std::string to;
    size_t places = 0;
};

// A file left as it was, and why.
struct LeftFile {
    std::string file;
    std::string reason;
};

// The record of one run. File names are relative to the installation, with "/".
struct QMSUPPORT_API MigrationReport {
    // The version of the JSON layout; it grows when a field changes its meaning.
    static constexpr int kSchemaVersion = 3;

    std::string started;  // UTC, as 2026-01-31T12:00:00Z
    std::string finished;
    std::string outcome;  // "migrated", "dry run", "already migrated", "refused", "failed"...
    std::string installation;
    std::string configuration;  // the main configuration file
    // The steps that ran, in order: "legacy screens", "legacy alarms", "2.5", "security",
    // "2.7".
    std::vector<std::string> steps;
    std::string display;   // the display of a 2.5 migration, as QMSUPPORT_DISPLAY writes it
    std::string timeZone;  // the time zone dates were converted in, for a 2.5 migration
    bool dryRun = false;
    bool scada = false;
    std::string scadaReason;            // how SCADA was decided
    std::string backup;                 // empty: none kept
    std::string backupForm;             // "copy", "link" or "none"
    std::vector<Rename> deviceRenames;  // a rename that changed nothing has 0 places
    std::vector<Rename> variableRenames;
    std::vector<std::string> rewritten;
    std::vector<std::string> created;  // files that did not exist before
    std::vector<MovedFile> renamed;
    std::vector<MovedFile> historyMoved;
    std::vector<MovedFile> historyFailed;
    std::vector<LeftFile> skipped;
    std::vector<std::string> loaded;
    std::vector<LeftFile> droppedDevices;       // device name, and why it was dropped
    std::vector<std::string> convertedDevices;  // virtual devices now calculated variables
    std::vector<LeftFile> left;  // files of the history folders the migration did not move
    // Of a 2.5 migration: the controls left out of a screen or report ("Cfg/Main.xscn, page 2:
    // show") and why; the images stored in the images folder (from the picture file, or from
    // the document that embedded it, to the stored file); the security grants renamed.
    std::vector<LeftFile> droppedControls;
    std::vector<MovedFile> storedImages;
    std::vector<LeftFile> imagesNotStored;
    std::vector<MovedFile> securityChanges;  // "Operator: Alarm View" -> "Event Notified"
    std::vector<std::string> warnings;       // what the user must know: dropped, skipped, left
    size_t stagedFiles = 0;
    size_t copiedFiles = 0;   // staged as copies: for the backup, or where a link was impossible
    size_t backupCopies = 0;  // files copied to make the backup independent
    std::string plan;         // the fingerprint of the plan written or applied; empty: none

    std::string Json() const;
};

// Appends `text` to `out` as a JSON string, quoted and escaped.
QMSUPPORT_API void AppendJsonString(std::string& out, std::string_view text);

}  // namespace qm::install
