// qmsupport upgrade: every migration an installation needs, in order, in one safe run.

#include "command.h"
#include "migration_command.h"

namespace {

constexpr const char* kUsage =
    "usage: qmsupport upgrade INSTALL_DIR [--legacy-screens] [--alarms=FILE] [--no-security]\n"
    "                         [--config=FILE] [--scada] [--display=WxH@WMMxHMMmm/DPI] [--force]\n"
    "                         [--dry-run] [--report=FILE] [--backup=copy|link] [--no-backup]\n"
    "                         [--quiet]\n"
    "       qmsupport upgrade INSTALL_DIR --dry-run --plan=FILE [options]\n"
    "       qmsupport upgrade INSTALL_DIR --apply=FILE [--report=FILE] [--backup=copy|link]\n"
    "                         [--no-backup] [--quiet]\n"
    "       qmsupport upgrade --recover INSTALL_DIR\n"
    "       qmsupport upgrade --undo INSTALL_DIR\n"
    "\n"
    "Brings an installation of any earlier release to the 2.7 layout: the legacy steps asked\n"
    "for and the migration to 2.5 (see 'qmsupport migrate25 --help') when a screen, report,\n"
    "style or the security file is before 2.5, then the migration to 2.7 (see 'qmsupport\n"
    "migrate27 --help') when the main configuration is before 2.7. They run on one staged\n"
    "copy (INSTALL_DIR.upgrade-stage), with one backup (INSTALL_DIR.before-2.7.<time>), one\n"
    "report and one swap: an interrupted run leaves the former installation or the upgraded\n"
    "one, never a mix. --dry-run shows the whole path. An installation that needs neither\n"
    "migration is left as it is.\n"
    "\n"
    "  --legacy-screens, --alarms FILE, --no-security, --display, --force: the 2.5 steps'\n"
    "                 options, as for migrate25\n"
    "  --config FILE  the main configuration file (default: Cfg/default.xcfg)\n"
    "  --scada        a SCADA installation for the 2.7 migration, as for migrate27 (any 2.5\n"
    "                 step makes it one)\n"
    "  --dry-run, --report FILE, --backup=copy|link, --no-backup, --plan FILE, --apply FILE,\n"
    "  --quiet, --recover, --undo: as for migrate27; --undo keeps the upgraded installation as\n"
    "                 INSTALL_DIR.after-2.7.<time>\n"
    "\n"
    "Exit status: 0 upgraded, recovered, undone or nothing to do; 3 upgraded with warnings\n"
    "(something was dropped, skipped or left as it was); 1 refused or failed with the\n"
    "installation unchanged; 2 usage error.\n";

const MigrationCommand kUpgrade{"upgrade", qm::install::Migration::Upgrade, "2.7", kUsage, true};

const CommandRegistration kRegistration{Command{
    "upgrade", "run every migration an installation needs, in one safe run",
    [](const std::vector<std::string>& args) { return RunMigrationCommand(kUpgrade, args); }}};

}  // namespace
