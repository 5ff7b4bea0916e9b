#pragma once

// The safe migration of a whole installation (its folders Cfg, Data and usually Bin): the run
// works on a replica made beside the installation, records the swap that puts the result in
// its place in a journal, and keeps the former installation as a backup. A run stopped at any
// instant leaves the former or the migrated installation, and the next run completes or undoes
// it. One lock keeps runs on the same installation apart.

#include <qmsupport/export.h>
#include <qmsupport/install/migration_report.h>
#include <qmsupport/install/migration_result.h>

#include <cstddef>
#include <string>

namespace qm::install {

// What is kept of the former installation.
enum class BackupForm {
    Copy,  // an independent tree: no file is shared with the migrated installation
    Link,  // files the migration did not change are shared (hard links) with the live tree
    None,  // removed once the migrated installation is in place
};

struct MigrationOptions {
    std::string install;  // the installation folder
    // The main configuration file; empty for Cfg/default.xcfg. A relative name is taken from
    // the current directory, else from the installation. It must lie inside the installation.
    std::string config;
    bool scada = false;   // a SCADA installation even without screens, reports or styles
    bool dryRun = false;  // migrate the replica, report, and remove it
    BackupForm backup = BackupForm::Copy;
    // With dryRun: also write a plan of the run to this file, outside the installation. The
    // plan holds the dry run's report, the seed of the identifiers it generated, and a
    // fingerprint of every file of the installation.
    std::string plan;
    // Migrates as the plan in this file says, with the identifiers its dry run showed; its
    // main configuration and edition replace `config` and `scada`. Refused, naming the file,
    // when a file of the installation has changed, appeared or disappeared since the plan.
    std::string apply;

    // The steps of the migration to 2.5, in the order they run (MigrateTo25 and Upgrade):
    bool legacyScreens = false;  // convert the legacy SCADA screens and styles of cfg/scada
    std::string alarms;          // a legacy alarm file to convert into events, named as `config` is
    bool noSecurity = false;     // leave the security file as it is
    // Repeat a legacy conversion whose results exist already, and migrate to 2.5 even when
    // every screen, report and style is at 2.5 or later.
    bool force = false;
    // The display the screens were drawn on, as QMSUPPORT_DISPLAY writes it; empty for the
    // display in force.
    std::string display;
};

// The migrations an installation can go through. Each has its own journal, stage and backup
// names (INSTALL.migrate25-journal, INSTALL.before-2.5.<time>, ...).
enum class Migration {
    To25,     // the legacy steps asked for, then the screens, reports, styles and security
    To27,     // the main configuration and everything that names its devices
    Upgrade,  // every migration the installation needs, in order, in one run
};

// The phases of a run, in their order.
enum class Phase { Staging, SideFiles, HistoryFiles, Backup, Swap };

// Told how far a run has come, and asked whether it should stop. Every member has an empty
// default.
class QMSUPPORT_API MigrationProgress {
  public:
    virtual ~MigrationProgress() = default;
    // A phase begins; `total` is the number of steps it will take, or 0 when unknown.
    virtual void OnPhase(Phase /*phase*/, size_t /*total*/) {}
    // `done` steps of the current phase are done.
    virtual void OnStep(size_t /*done*/) {}
    // Polled between steps until the swap begins; true stops the run and undoes the stage.
    virtual bool StopRequested() { return false; }
};

// Migrates the installation. An interrupted earlier run is completed or undone first (a dry
// run refuses instead). `report` receives what was done; `progress` may be null. The
// migration reads the program folder's relative paths, so the run changes the process's
// current directory and application path while it works, and points the current
// QMTarvioSetup (the host's, if there is one) and the display at the stage's; all are given
// back before it returns.
QMSUPPORT_API Result MigrateInstallation(Migration migration, const MigrationOptions& options,
                                         MigrationReport& report,
                                         MigrationProgress* progress = nullptr);

// Only completes or undoes an interrupted run of the migration.
QMSUPPORT_API Result RecoverInstallation(Migration migration, const std::string& install);

// Puts the installation kept by the last run of the migration back in place, under the same
// journal and lock, and keeps the migrated tree as INSTALL.after-<version>.<time>. Refused
// when no backup was kept, or when a shared (--backup=link) file has changed since the run.
QMSUPPORT_API Result UndoMigration(Migration migration, const std::string& install);

// The 2.7 migration alone.
inline Result MigrateInstallationTo27(const MigrationOptions& options, MigrationReport& report,
                                      MigrationProgress* progress = nullptr) {
    return MigrateInstallation(Migration::To27, options, report, progress);
}
inline Result RecoverInstallationTo27(const std::string& install) {
    return RecoverInstallation(Migration::To27, install);
}
inline Result UndoMigrationTo27(const std::string& install) {
    return UndoMigration(Migration::To27, install);
}

}  // namespace qm::install
