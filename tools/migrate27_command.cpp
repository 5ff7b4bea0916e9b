// qmsupport migrate27: migrates a whole installation to the 2.7 layout through the library's
// installation service.

#include "command.h"
#include "migration_command.h"

namespace {

constexpr const char* kUsage =
    "usage: qmsupport migrate27 INSTALL_DIR [--config=FILE] [--scada] [--dry-run]\n"
    "                           [--report=FILE] [--backup=copy|link] [--no-backup] [--quiet]\n"
    "       qmsupport migrate27 INSTALL_DIR --dry-run --plan=FILE [options]\n"
    "       qmsupport migrate27 INSTALL_DIR --apply=FILE [--report=FILE] [--backup=copy|link]\n"
    "                           [--no-backup] [--quiet]\n"
    "       qmsupport migrate27 --recover INSTALL_DIR\n"
    "       qmsupport migrate27 --undo INSTALL_DIR\n"
    "\n"
    "Migrates an installation made for an earlier release to the 2.7 layout: the main\n"
    "configuration, and the screens, reports, styles, events, calculated variables, security\n"
    "and history files that go with it. INSTALL_DIR holds the configuration folder Cfg and the\n"
    "data folder Data (their names in any case) and usually the program folder Bin, from which\n"
    "the devices' history paths (STDPath) are read; without Bin they are read from Cfg.\n"
    "\n"
    "The migration works on a staged copy made of hard links beside the installation\n"
    "(INSTALL_DIR.migrate27-stage) and then swaps it in, keeping the former installation as\n"
    "INSTALL_DIR.before-2.7.<time>. A journal (INSTALL_DIR.migrate27-journal) records the swap:\n"
    "a run that is interrupted at any instant is completed or undone by the next run, or by\n"
    "--recover. A lock (INSTALL_DIR.migrate27-lock) keeps a second run away meanwhile. An\n"
    "installation already in the 2.7 layout is left as it is.\n"
    "\n"
    "  --config FILE  the main configuration file (default: Cfg/default.xcfg); a relative\n"
    "                 FILE is taken from the current directory, else from INSTALL_DIR; it\n"
    "                 must lie inside the installation\n"
    "  --scada        a SCADA installation: screens, reports, styles and events are migrated;\n"
    "                 without it, the installation counts as SCADA when Cfg holds screens\n"
    "                 (.xscn), reports (.xrpt) or styles (.xsty)\n"
    "  --dry-run      migrate the staged copy, show what changed, then remove the copy: the\n"
    "                 installation is not changed\n"
    "  --report FILE  write a JSON report (every rename, every file rewritten, created, renamed,\n"
    "                 moved or left, with counts) to FILE, outside the installation; - for stdout\n"
    "  --backup=copy  keep the former installation as an independent copy (the default; a\n"
    "                 reflink where the file system offers one)\n"
    "  --backup=link  keep it sharing the files the migration did not change with the live\n"
    "                 installation (hard links): fast, but a shared file changed in the live\n"
    "                 installation changes in the backup too\n"
    "  --no-backup    remove the former installation once the migrated one is in place\n"
    "  --plan FILE    with --dry-run: also write a plan to FILE, outside the installation: the\n"
    "                 dry run's report, the seed of the identifiers (GUIDs) it generated, and\n"
    "                 a fingerprint (size and BLAKE2b hash) of every file of the installation\n"
    "  --apply FILE   migrate exactly as the plan in FILE showed, with the same identifiers;\n"
    "                 refused, naming the file, when a file of the installation has changed,\n"
    "                 appeared or disappeared since the plan was made\n"
    "  --quiet        no progress on stderr (it only shows on a terminal)\n"
    "  --recover      only complete or undo an interrupted run\n"
    "  --undo         put the former installation back; the migrated one is kept as\n"
    "                 INSTALL_DIR.after-2.7.<time>\n"
    "\n"
    "Exit status: 0 migrated, recovered, undone or nothing to do; 3 migrated with warnings\n"
    "(something was dropped, skipped or left as it was); 1 refused or failed with the\n"
    "installation unchanged; 2 usage error.\n";

const MigrationCommand kMigrate27{"migrate27", qm::install::Migration::To27, "2.7", kUsage, false};

const CommandRegistration kRegistration{Command{
    "migrate27", "migrate an installation to the 2.7 layout, safely",
    [](const std::vector<std::string>& args) { return RunMigrationCommand(kMigrate27, args); }}};

}  // namespace
