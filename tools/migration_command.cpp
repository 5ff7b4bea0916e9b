// The runner of the migration commands: options, progress line, summary and report.

#include "migration_command.h"

#include "command.h"
#include "options.h"
#include "text_output.h"

#include <qmsupport/platform/display_metrics.h>
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

struct Options {
    MigrationOptions migration;
    std::optional<std::string> report;
    bool quiet = false;
    bool recover = false;
    bool undo = false;
};

std::optional<int> ParseOptions(const MigrationCommand& command,
                                const std::vector<std::string>& args, Options& options) {
    MigrationOptions& migration = options.migration;
    bool noBackup = false;
    bool force = false;
    std::optional<std::string> config;
    std::optional<std::string> backup;
    std::optional<std::string> plan;
    std::optional<std::string> apply;
    std::optional<std::string> alarms;
    std::optional<std::string> display;
    OptionParser parser(command.name, command.usage);
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
    if (command.steps25) {
        parser.Flag("--legacy-screens", migration.legacyScreens)
            .Flag("--no-security", migration.noSecurity)
            .Value("--alarms", "a file name", alarms)
            .Value("--display", "a display as WxH@WMMxHMMmm/DPI", display);
    }
    std::vector<std::string> operands;
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return done;
    }
    if (force && !command.steps25) {
        return parser.Error(
            "--force is no longer offered: an installation in the 2.7 layout is never "
            "migrated again (--undo gives the former installation back)");
    }
    migration.force = force;
    migration.alarms = alarms.value_or("");
    migration.display = display.value_or("");
    qm::platform::DisplayMetrics parsed;
    if (display && !qm::platform::DisplayMetrics::Parse(display->c_str(), parsed)) {
        return parser.Error(
            "--display takes WIDTHxHEIGHT@WMMxHMMmm/DPI, as in "
            "1920x1080@508x285.75mm/96, not '" +
            *display + "'");
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
    const bool steps = migration.legacyScreens || migration.noSecurity || alarms || display;
    if (apply && (migration.dryRun || config || migration.scada || force || steps)) {
        return parser.Error(
            "--apply takes the dry run's choices from the plan: no --dry-run, --config, "
            "--scada or step options with it");
    }
    if ((options.recover || options.undo) &&
        (config || options.report || migration.scada || migration.dryRun || noBackup || backup ||
         plan || apply || force || steps || (options.recover && options.undo))) {
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

void PrintSummary(FILE* out, const MigrationCommand& command, const MigrationReport& report) {
    std::string steps;
    for (const std::string& step : report.steps) {
        steps += (steps.empty() ? "" : ", ") + step;
    }
    if (report.dryRun) {
        std::fprintf(out, "Dry run on %s: nothing was changed. A migration to %s would do this:\n",
                     report.installation.c_str(), command.target);
    } else {
        std::fprintf(out, "Migrated %s to the %s layout.\n", report.installation.c_str(),
                     command.target);
    }
    if (command.steps25) {
        std::fprintf(out, "  steps:              %s\n", steps.c_str());
    }
    if (!report.display.empty()) {
        std::fprintf(out, "  display:            %s, time zone %s\n", report.display.c_str(),
                     report.timeZone.empty() ? "unknown" : report.timeZone.c_str());
    }
    std::fprintf(out, "  edition:            %s (%s)\n", report.scada ? "SCADA" : "not SCADA",
                 report.scadaReason.c_str());
    std::fprintf(out, "  configuration:      %s\n", report.configuration.c_str());
    // The hard links of the stage end shared with the former installation only in the link
    // form; otherwise each is rewritten by the migration or copied before the swap.
    std::fprintf(out, "  staged files:       %zu (%zu copied, the rest hard-linked%s)\n",
                 report.stagedFiles, report.copiedFiles,
                 report.backupForm == "copy" ? " until rewritten or copied before the swap" : "");
    const bool ran27 =
        std::find(report.steps.begin(), report.steps.end(), "2.7") != report.steps.end();
    if (ran27 || !command.steps25) {
        std::fprintf(out, "  devices renamed:    %zu\n", report.deviceRenames.size());
        PrintFirst(out, report.deviceRenames);
        std::fprintf(out, "  variables renamed:  %zu\n", report.variableRenames.size());
        PrintFirst(out, report.variableRenames);
    }
    if (report.steps.size() > (ran27 ? 1u : 0u)) {
        std::fprintf(out, "  controls left out:  %zu\n", report.droppedControls.size());
        std::fprintf(out, "  images stored:      %zu (%zu lost)\n", report.storedImages.size(),
                     report.imagesNotStored.size());
        std::fprintf(out, "  security grants:    %zu renamed\n", report.securityChanges.size());
    }
    std::fprintf(out, "  files rewritten:    %zu\n", report.rewritten.size());
    std::fprintf(out, "  files created:      %zu\n", report.created.size());
    if (ran27 || !command.steps25) {
        std::fprintf(out, "  files renamed:      %zu\n", report.renamed.size());
        std::fprintf(out, "  history files:      %zu moved, %zu could not be moved\n",
                     report.historyMoved.size(), report.historyFailed.size());
    }
    std::fprintf(out, "  files skipped:      %zu\n", report.skipped.size());
    if (!report.dryRun) {
        if (report.backup.empty()) {
            std::fprintf(out, "  former installation: removed (--no-backup)\n");
        } else {
            std::fprintf(out, "  former installation: %s (%s)\n", report.backup.c_str(),
                         report.backupForm == "link" ? "sharing unchanged files with the live one"
                                                     : "an independent copy");
            std::fprintf(out, "  undo:               qmsupport %s --undo %s\n", command.name,
                         report.installation.c_str());
        }
    }
}

bool WriteReport(const MigrationCommand& command, const MigrationReport& report,
                 const std::string& file) {
    const std::string json = report.Json();
    if (file == "-") {
        std::fputs(json.c_str(), stdout);
        return true;
    }
    if (!qm::platform::WriteFileAtomic(file, json)) {
        std::fprintf(stderr, "qmsupport %s: cannot write the report '%s': %s\n", command.name,
                     file.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Prints a result that carries no report: recovery, undo, or a run with nothing to do.
int PrintResult(const MigrationCommand& command, const Result& result) {
    if (result) {
        std::printf("%s\n", result.message.c_str());
        return kExitOk;
    }
    std::fprintf(stderr, "qmsupport %s: %s\n", command.name, result.message.c_str());
    return kExitFailure;
}

int Migrate(const MigrationCommand& command, Options& options) {
    if (options.report && *options.report != "-") {
        std::error_code error;
        options.report = fs::absolute(*options.report, error).lexically_normal().string();
        const fs::path install =
            fs::weakly_canonical(fs::absolute(options.migration.install, error), error);
        const fs::path relative =
            fs::weakly_canonical(*options.report, error).lexically_relative(install);
        if (!relative.empty() && *relative.begin() != "..") {
            std::fprintf(stderr,
                         "qmsupport %s: the report '%s' must lie outside the installation\n",
                         command.name, options.report->c_str());
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
    const Result result =
        MigrateInstallation(command.migration, options.migration, report, &progress);
    progress.Done();
    const bool reportWritten = !options.report || WriteReport(command, report, *options.report);
    if (result.status != Status::Done) {
        return PrintResult(command, result);
    }
    FILE* out = options.report == "-" ? stderr : stdout;
    if (!result.message.empty()) {
        std::fprintf(out, "%s\n", result.message.c_str());
    }
    if (report.configuration.empty()) {
        return kExitOk;  // an interrupted run was completed, nothing more
    }
    PrintSummary(out, command, report);
    if (options.report && *options.report != "-") {
        std::fprintf(out, "  report:             %s\n", options.report->c_str());
    }
    if (!options.migration.plan.empty()) {
        std::fprintf(out, "  plan:               %s\n", options.migration.plan.c_str());
        std::fprintf(out, "  apply it with:      qmsupport %s %s --apply %s\n", command.name,
                     report.installation.c_str(), options.migration.plan.c_str());
    }
    for (const std::string& warning : report.warnings) {
        std::fprintf(out, "warning: %s\n", warning.c_str());
    }
    return report.warnings.empty() && reportWritten ? kExitOk : kExitWarnings;
}

}  // namespace

int RunMigrationCommand(const MigrationCommand& command, const std::vector<std::string>& args) {
    Options options;
    if (std::optional<int> done = ParseOptions(command, args, options)) {
        return *done;
    }
    if (options.recover) {
        return PrintResult(command,
                           RecoverInstallation(command.migration, options.migration.install));
    }
    if (options.undo) {
        return PrintResult(command, UndoMigration(command.migration, options.migration.install));
    }
    return Migrate(command, options);
}
