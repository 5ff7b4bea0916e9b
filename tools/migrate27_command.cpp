// qmsupport migrate27: migrates a whole installation to the 2.7 layout through the library's
// installation service. This file holds the options, the progress line and the printing.

#include "command.h"
#include "options.h"
#include "text_output.h"

#include <qmsupport/install/installation_migration.h>
#include <qmsupport/platform/file_ops.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qm::install;

// Migrated, but something was dropped, skipped or left as it was.
constexpr int kExitWarnings = 3;

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

struct Options {
    MigrationOptions migration;
    std::optional<std::string> report;
    bool quiet = false;
    bool recover = false;
    bool undo = false;
};

std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& options) {
    MigrationOptions& migration = options.migration;
    bool noBackup = false;
    bool force = false;
    std::optional<std::string> config;
    std::optional<std::string> backup;
    std::optional<std::string> plan;
    std::optional<std::string> apply;
    OptionParser parser("migrate27", kUsage);
    parser.Flag("--scada", migration.scada)
        .Flag("--dry-run", migration.dryRun)
        .Flag("--no-backup", noBackup)
        .Flag("--quiet", options.quiet)
        .Flag("--recover", options.recover)
        .Flag("--undo", options.undo)
        .Flag("--force", force)
        .Value("--config", "a file name", config)
        .Value("--report", "a file name", options.report)
        .Value("--backup", "copy or link", backup)
        .Value("--plan", "a file name", plan)
        .Value("--apply", "a file name", apply);
    std::vector<std::string> operands;
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return done;
    }
    if (force) {
        return parser.Error(
            "--force is no longer offered: an installation in the 2.7 layout is never "
            "migrated again (--undo gives the former installation back)");
    }
    if (backup) {
        if (*backup != "copy" && *backup != "link") {
            return parser.Error("--backup takes copy or link, not '" + *backup + "'");
        }
        migration.backup = *backup == "copy" ? BackupForm::Copy : BackupForm::Link;
    }
    if (operands.empty()) {
        return parser.Error("no installation folder given");
    }
    if (operands.size() > 1) {
        return parser.Error("one installation folder only, not also '" + operands[1] + "'");
    }
    migration.install = operands[0];
    if (noBackup && backup) {
        return parser.Error("--no-backup and --backup exclude each other");
    }
    if (noBackup) {
        migration.backup = BackupForm::None;
    }
    migration.config = config.value_or("");
    migration.plan = plan.value_or("");
    migration.apply = apply.value_or("");
    if (plan && !migration.dryRun) {
        return parser.Error("--plan is written by a dry run: give --dry-run too");
    }
    if (apply && (migration.dryRun || config || migration.scada)) {
        return parser.Error(
            "--apply takes the dry run's choices from the plan: no --dry-run, --config or "
            "--scada with it");
    }
    if ((options.recover || options.undo) &&
        (config || options.report || migration.scada || migration.dryRun || noBackup || backup ||
         plan || apply || (options.recover && options.undo))) {
        return parser.Error(std::string(options.recover ? "--recover" : "--undo") +
                            " takes no other option than --quiet");
    }
    return std::nullopt;
}

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

// One line on stderr, rewritten in place, shown only on a terminal: the phase, the steps done
// and, when the total is known, the percentage. Ctrl-C asks the run to stop.
class TerminalProgress : public MigrationProgress {
  public:
    explicit TerminalProgress(bool enabled) : enabled_(enabled) {
        struct sigaction action {};
        action.sa_handler = RequestStop;
        action.sa_flags = SA_RESTART;  // the run polls the request between steps
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~TerminalProgress() override {
        Done();
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }

    void OnPhase(Phase phase, size_t total) override {
        static const char* const names[] = {"staging", "side files", "history files",
                                            "backup copies", "swap"};
        phase_ = names[static_cast<int>(phase)];
        total_ = total;
        Show(0, true);
    }
    void OnStep(size_t done) override { Show(done, false); }
    bool StopRequested() override { return stopRequested != 0; }

    // Clears the line.
    void Done() {
        if (enabled_ && shown_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            shown_ = false;
        }
    }

  private:
    void Show(size_t done, bool force) {
        if (!enabled_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!force && shown_ && now - last_ < std::chrono::milliseconds(100)) {
            return;
        }
        last_ = now;
        shown_ = true;
        if (total_ > 0) {
            done = std::min(done, total_);  // a phase may take a step more than foreseen
            std::fprintf(stderr, "\r\033[K%s: %zu of %zu (%zu%%)", phase_, done, total_,
                         done * 100 / total_);
        } else {
            std::fprintf(stderr, "\r\033[K%s: %zu", phase_, done);
        }
        std::fflush(stderr);
    }

    bool enabled_;
    bool shown_ = false;
    const char* phase_ = "";
    size_t total_ = 0;
    std::chrono::steady_clock::time_point last_{};
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// The first pairs of a list, one per line, for the summary.
void PrintFirst(FILE* out, const std::vector<Rename>& renames) {
    constexpr size_t kShown = 8;
    for (size_t i = 0; i < renames.size() && i < kShown; ++i) {
        std::fprintf(out, "    %s -> %s (%zu %s)\n", renames[i].from.c_str(), renames[i].to.c_str(),
                     renames[i].places, renames[i].places == 1 ? "place" : "places");
    }
    if (renames.size() > kShown) {
        std::fprintf(out, "    ... and %zu more\n", renames.size() - kShown);
    }
}

void PrintSummary(FILE* out, const MigrationReport& report) {
    if (report.dryRun) {
        std::fprintf(out, "Dry run on %s: nothing was changed. A migration to 2.7 would do this:\n",
                     report.installation.c_str());
    } else {
        std::fprintf(out, "Migrated %s to the 2.7 layout.\n", report.installation.c_str());
    }
    std::fprintf(out, "  edition:            %s (%s)\n", report.scada ? "SCADA" : "not SCADA",
                 report.scadaReason.c_str());
    std::fprintf(out, "  configuration:      %s\n", report.configuration.c_str());
    std::fprintf(out, "  staged files:       %zu (%zu copied, the rest hard-linked)\n",
                 report.stagedFiles, report.copiedFiles);
    std::fprintf(out, "  devices renamed:    %zu\n", report.deviceRenames.size());
    PrintFirst(out, report.deviceRenames);
    std::fprintf(out, "  variables renamed:  %zu\n", report.variableRenames.size());
    PrintFirst(out, report.variableRenames);
    std::fprintf(out, "  files rewritten:    %zu\n", report.rewritten.size());
    std::fprintf(out, "  files created:      %zu\n", report.created.size());
    std::fprintf(out, "  files renamed:      %zu\n", report.renamed.size());
    std::fprintf(out, "  history files:      %zu moved, %zu could not be moved\n",
                 report.historyMoved.size(), report.historyFailed.size());
    std::fprintf(out, "  files skipped:      %zu\n", report.skipped.size());
    if (!report.dryRun) {
        if (report.backup.empty()) {
            std::fprintf(out, "  former installation: removed (--no-backup)\n");
        } else {
            std::fprintf(out, "  former installation: %s (%s)\n", report.backup.c_str(),
                         report.backupForm == "link" ? "sharing unchanged files with the live one"
                                                     : "an independent copy");
            std::fprintf(out, "  undo:               qmsupport migrate27 --undo %s\n",
                         report.installation.c_str());
        }
    }
}

bool WriteReport(const MigrationReport& report, const std::string& file) {
    const std::string json = report.Json();
    if (file == "-") {
        std::fputs(json.c_str(), stdout);
        return true;
    }
    if (!qm::platform::WriteFileAtomic(file, json)) {
        std::fprintf(stderr, "qmsupport migrate27: cannot write the report '%s': %s\n",
                     file.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Prints a result that carries no report: recovery, undo, or a run with nothing to do.
int PrintResult(const Result& result) {
    if (result) {
        std::printf("%s\n", result.message.c_str());
        return kExitOk;
    }
    std::fprintf(stderr, "qmsupport migrate27: %s\n", result.message.c_str());
    return kExitFailure;
}

int Migrate(Options& options) {
    if (options.report && *options.report != "-") {
        std::error_code error;
        options.report = fs::absolute(*options.report, error).lexically_normal().string();
        const fs::path install =
            fs::weakly_canonical(fs::absolute(options.migration.install, error), error);
        const fs::path relative =
            fs::weakly_canonical(*options.report, error).lexically_relative(install);
        if (!relative.empty() && *relative.begin() != "..") {
            std::fprintf(stderr,
                         "qmsupport migrate27: the report '%s' must lie outside the "
                         "installation\n",
                         options.report->c_str());
            return kExitFailure;
        }
    }
    if (!options.migration.plan.empty()) {
        std::error_code error;
        options.migration.plan =
            fs::absolute(options.migration.plan, error).lexically_normal().string();
    }
    TerminalProgress progress(!options.quiet && isatty(STDERR_FILENO));
    MigrationReport report;
    const Result result = MigrateInstallationTo27(options.migration, report, &progress);
    progress.Done();
    const bool reportWritten = !options.report || WriteReport(report, *options.report);
    if (result.status != Status::Done) {
        return PrintResult(result);
    }
    FILE* out = options.report == "-" ? stderr : stdout;
    if (!result.message.empty()) {
        std::fprintf(out, "%s\n", result.message.c_str());
    }
    if (report.configuration.empty()) {
        return kExitOk;  // an interrupted run was completed, nothing more
    }
    PrintSummary(out, report);
    if (options.report && *options.report != "-") {
        std::fprintf(out, "  report:             %s\n", options.report->c_str());
    }
    if (!options.migration.plan.empty()) {
        std::fprintf(out, "  plan:               %s\n", options.migration.plan.c_str());
        std::fprintf(out, "  apply it with:      qmsupport migrate27 %s --apply %s\n",
                     report.installation.c_str(), options.migration.plan.c_str());
    }
    for (const std::string& warning : report.warnings) {
        std::fprintf(out, "warning: %s\n", warning.c_str());
    }
    return report.warnings.empty() && reportWritten ? kExitOk : kExitWarnings;
}

int RunMigrate27(const std::vector<std::string>& args) {
    Options options;
    if (std::optional<int> done = ParseOptions(args, options)) {
        return *done;
    }
    if (options.recover) {
        return PrintResult(RecoverInstallationTo27(options.migration.install));
    }
    if (options.undo) {
        return PrintResult(UndoMigrationTo27(options.migration.install));
    }
    return Migrate(options);
}

const CommandRegistration kRegistration{
    Command{"migrate27", "migrate an installation to the 2.7 layout, safely", RunMigrate27}};

}  // namespace
