// qmsupport migrate25: brings the screens, reports, styles and security of an installation to
// the 2.5 layout, after converting its legacy SCADA screens and alarms when asked, through the
// library's installation service.

#include "command.h"
#include "migration_command.h"

namespace {

constexpr const char* kUsage =
    "usage: qmsupport migrate25 INSTALL_DIR [--legacy-screens] [--alarms=FILE] [--no-security]\n"
    "                           [--config=FILE] [--display=WxH@WMMxHMMmm/DPI] [--force]\n"
    "                           [--dry-run] [--report=FILE] [--backup=copy|link] [--no-backup]\n"
    "                           [--quiet]\n"
    "       qmsupport migrate25 INSTALL_DIR --dry-run --plan=FILE [options]\n"
    "       qmsupport migrate25 INSTALL_DIR --apply=FILE [--report=FILE] [--backup=copy|link]\n"
    "                           [--no-backup] [--quiet]\n"
    "       qmsupport migrate25 --recover INSTALL_DIR\n"
    "       qmsupport migrate25 --undo INSTALL_DIR\n"
    "\n"
    "Migrates the screens (.xscn), reports (.xrpt) and styles (.xsty) of an installation made\n"
    "before release 2.5 to the 2.5 layout: new controls, pages laid out in millimetres, images\n"
    "kept in Cfg/Images, and the security file. These steps run in this order:\n"
    "  1. --legacy-screens: the legacy SCADA screens and styles listed in cfg/scada/default.apl\n"
    "     become screens and styles; the start screen is set in the main configuration\n"
    "  2. --alarms FILE: the alarms of a legacy alarm file become events (Cfg/default.xeve),\n"
    "     and the legacy alarm history Data/Alarms*.alm becomes event history\n"
    "  3. every screen, report and style, then the security file: Cfg/Security.xcfg, or the\n"
    "     legacy cfg/security.cfg when there is none\n"
    "INSTALL_DIR holds the configuration folder Cfg and the data folder Data (their names in\n"
    "any case) and usually the program folder Bin; the legacy files are found from Bin (else\n"
    "from Cfg) as the programs found them, always inside the installation.\n"
    "\n"
    "The run is as safe as migrate27's: it works on a staged copy (INSTALL_DIR.migrate25-stage),\n"
    "swaps it in under a journal and keeps the former installation as\n"
    "INSTALL_DIR.before-2.5.<time>; an interrupted run is completed or undone by the next run\n"
    "or by --recover. An installation whose every screen, report, style and security file is\n"
    "at 2.5 or later is left as it is.\n"
    "\n"
    "  --legacy-screens  convert the legacy SCADA screens first; refused when a screen or style\n"
    "                 named after one of them exists already (an earlier conversion)\n"
    "  --alarms FILE  convert the legacy alarm file FILE (inside the installation; a relative\n"
    "                 FILE is taken from the current directory, else from INSTALL_DIR);\n"
    "                 refused when an event named after one of its alarms exists already\n"
    "  --no-security  leave the security file as it is\n"
    "  --config FILE  the main configuration file (default: Cfg/default.xcfg), which receives\n"
    "                 the start screen\n"
    "  --display WxH@WMMxHMMmm/DPI  the display the screens were drawn on, as in\n"
    "                 1920x1080@508x285.75mm/96 (default: QMSUPPORT_DISPLAY, else that one);\n"
    "                 the report records it with the time zone dates are converted in\n"
    "  --force        convert the legacy files again although they were converted before, and\n"
    "                 migrate although every file is at 2.5 or later\n"
    "  --dry-run      migrate the staged copy, show what changed, then remove the copy\n"
    "  --report FILE  write a JSON report to FILE, outside the installation; - for stdout\n"
    "  --backup=copy  keep the former installation as an independent copy (the default)\n"
    "  --backup=link  keep it sharing the files the migration did not change (hard links)\n"
    "  --no-backup    remove the former installation once the migrated one is in place\n"
    "  --plan FILE    with --dry-run: also write a plan to FILE, outside the installation\n"
    "  --apply FILE   migrate exactly as the plan in FILE showed, with the same identifiers;\n"
    "                 refused when a file of the installation changed since the plan\n"
    "  --quiet        no progress on stderr (it only shows on a terminal)\n"
    "  --recover      only complete or undo an interrupted run\n"
    "  --undo         put the former installation back; the migrated one is kept as\n"
    "                 INSTALL_DIR.after-2.5.<time>\n"
    "\n"
    "Exit status: 0 migrated, recovered, undone or nothing to do; 3 migrated with warnings\n"
    "(something was dropped, skipped or left as it was); 1 refused or failed with the\n"
    "installation unchanged; 2 usage error.\n";

const MigrationCommand kMigrate25{"migrate25", qm::install::Migration::To25, "2.5", kUsage, true};

const CommandRegistration kRegistration{Command{
    "migrate25", "migrate screens, reports and styles to the 2.5 layout, safely",
    [](const std::vector<std::string>& args) { return RunMigrationCommand(kMigrate25, args); }}};

}  // namespace
