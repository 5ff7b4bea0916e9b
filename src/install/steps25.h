#pragma once

// The steps of the migration to 2.5 as the installation service runs them on its stage: the
// legacy SCADA screens, the legacy alarms, the screens, reports and styles, and the security
// file; and the checks made on the live installation before a run.

#include "install/install_common.h"
#include "install/report_observer.h"

#include <qmsupport/install/migration_report.h>
#include <qmsupport/xml/xml_document.h>

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace qm::install {

// The legacy SCADA application file of the installation (cfg/scada/default.apl in any case).
fs::path LegacyApplicationFile(const fs::path& install);

// Refuses the legacy screen conversion when the configuration folder holds a screen (.xscn)
// or a style (.xsty) named after a legacy screen or style of `application`: an earlier
// conversion made it, and converting again would overwrite what was edited since.
void CheckLegacyScreensNotConverted(const fs::path& application, const fs::path& cfg);

// Refuses the legacy alarm conversion when the events file of `cfg` holds an event named
// after an alarm of the legacy alarm file `alarms`: an earlier conversion made it.
void CheckAlarmsNotConverted(const fs::path& alarms, const fs::path& cfg);

// Whether a screen, report or style of `cfg` is in a layout before 2.5, or (with `security`)
// the security file is before 2.5 or only its legacy form "../cfg/security.cfg", seen from
// `workingDirectory`, exists. `why` names the first such file.
bool Needs25(const fs::path& cfg, const fs::path& workingDirectory, bool security,
             std::string& why);

// The regular files below some folders, each with its inode and modification time: a file
// that an atomic save replaced has a new inode, so the difference of two snapshots names the
// files a step created or rewrote.
class FileSnapshot {
  public:
    explicit FileSnapshot(const std::vector<fs::path>& folders);
    // Adds the files that are new since `before` to report.created, and those that changed to
    // report.rewritten (once each), named relative to `stage`.
    void ReportChangesSince(const FileSnapshot& before, const fs::path& stage,
                            MigrationReport& report) const;

  private:
    struct Stamp {
        ino_t inode = 0;
        long long mtime = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::map<fs::path, Stamp> files_;
};

// The steps of one run, in the order they run.
struct Steps25 {
    bool legacyScreens = false;
    fs::path alarms;  // the legacy alarm file in the stage; empty: none
    bool security = true;
};

// Runs the steps on the stage: the setup, the current directory and the application path
// point into it already. `cfg` is the main configuration (its file name the stage's); the
// legacy screen step sets its start screen and saves it. Throws Failure when the main
// configuration or a migrated file cannot be saved.
void RunSteps25(XmlDocument& cfg, const Steps25& steps, ReportObserver& observer,
                MigrationReport& report);

}  // namespace qm::install
