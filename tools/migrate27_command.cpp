// qmsupport migrate27: migrates a whole installation to the 2.7 layout on a staged copy and
// swaps the result in, so that the installation is never left half-converted.

#include "command.h"
#include "migrate27_common.h"
#include "migrate27_report.h"
#include "migrate27_stage.h"
#include "migrate27_swap.h"
#include "text_output.h"

#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/xml_document.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace migrate27 {

bool IsInside(const fs::path& path, const fs::path& root) {
    const fs::path relative = path.lexically_normal().lexically_relative(root.lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
}

std::string ErrnoText() {
    return std::strerror(errno);
}

void SyncDirectory(const fs::path& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

namespace {

constexpr const char* kUsage =
    "usage: qmsupport migrate27 INSTALL_DIR [--config FILE] [--scada] [--dry-run]\n"
    "                           [--report FILE] [--no-backup] [--force] [--quiet]\n"
    "       qmsupport migrate27 --recover INSTALL_DIR\n"
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
    "--recover. A lock (INSTALL_DIR.migrate27-lock) keeps a second run away meanwhile.\n"
    "\n"
    "  --config FILE  the main configuration file (default: Cfg/default.xcfg); a relative\n"
    "                 FILE is taken from the current directory, else from INSTALL_DIR; it\n"
    "                 must lie inside the installation\n"
    "  --scada        a SCADA installation: screens, reports, styles and events are migrated;\n"
    "                 without it, the installation counts as SCADA when Cfg holds screens\n"
    "                 (.xscn), reports (.xrpt) or styles (.xsty)\n"
    "  --dry-run      migrate the staged copy, show what changed, then remove the copy: the\n"
    "                 installation is not changed\n"
    "  --report FILE  write a JSON report (every rename, every file rewritten, renamed, moved\n"
    "                 or skipped, with counts) to FILE, outside the installation; - for stdout\n"
    "  --no-backup    remove the former installation once the migrated one is in place\n"
    "  --force        migrate even when the configuration is already in the 2.7 layout\n"
    "  --quiet        no progress on stderr (it only shows on a terminal)\n"
    "  --recover      only complete or undo an interrupted run\n"
    "\n"
    "Exit status: 0 migrated (or recovered), 1 refused or failed with the installation\n"
    "unchanged, 2 usage error.\n";

struct Options {
    std::string install;
    std::optional<std::string> config;
    std::optional<std::string> report;
    bool scada = false;
    bool dryRun = false;
    bool noBackup = false;
    bool force = false;
    bool quiet = false;
    bool recover = false;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "qmsupport migrate27: %s\n\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        bool* flag = arg == "--scada"       ? &options.scada
                     : arg == "--dry-run"   ? &options.dryRun
                     : arg == "--no-backup" ? &options.noBackup
                     : arg == "--force"     ? &options.force
                     : arg == "--quiet"     ? &options.quiet
                     : arg == "--recover"   ? &options.recover
                                            : nullptr;
        if (flag != nullptr) {
            *flag = true;
        } else if (arg == "--config" || arg == "--report") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                return UsageError(arg + " needs a file name");
            }
            (arg == "--config" ? options.config : options.report) = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (!options.install.empty()) {
            return UsageError("one installation folder only, not also '" + arg + "'");
        } else {
            options.install = arg;
        }
    }
    if (options.install.empty()) {
        return UsageError("no installation folder given");
    }
    if (options.recover && (options.config || options.report || options.scada || options.dryRun ||
                            options.force || options.noBackup)) {
        return UsageError("--recover takes no other option than --quiet");
    }
    return std::nullopt;
}

// A folder of the installation found by name in any case, or nothing.
std::optional<fs::path> FindFolder(const fs::path& install, const char* name) {
    const fs::path found = qm::platform::NativePath((install / name).string());
    std::error_code error;
    if (!fs::is_directory(found, error)) {
        return std::nullopt;
    }
    return found;
}

// The folders and files of the installation that the migration reads and writes.
struct Layout {
    fs::path cfg;
    fs::path data;
    fs::path workingDirectory;  // the program folder Bin, else Cfg
    fs::path config;            // the main configuration file
};

Layout FindLayout(const fs::path& install, const Options& options) {
    Layout layout;
    const auto cfg = FindFolder(install, "Cfg");
    const auto data = FindFolder(install, "Data");
    if (!cfg || !data) {
        throw Failure("'" + install.string() + "' is not an installation: it has no " +
                      (cfg ? "data folder 'Data'" : "configuration folder 'Cfg'"));
    }
    layout.cfg = *cfg;
    layout.data = *data;
    layout.workingDirectory = FindFolder(install, "Bin").value_or(*cfg);
    if (!options.config) {
        layout.config = qm::platform::NativePath((layout.cfg / "default.xcfg").string());
    } else {
        std::error_code error;
        fs::path given = *options.config;
        if (given.is_relative() && !fs::exists(given, error)) {
            given = install / given;
        }
        layout.config = fs::weakly_canonical(qm::platform::NativePath(given.string()), error);
        if (!IsInside(layout.config, install)) {
            throw Failure("the configuration file '" + *options.config +
                          "' lies outside the installation '" + install.string() + "'");
        }
    }
    std::error_code error;
    if (!fs::exists(layout.config, error)) {
        throw Failure("there is no main configuration file '" + layout.config.string() + "'");
    }
    if (!fs::is_regular_file(layout.config, error)) {
        throw Failure("the main configuration '" + layout.config.string() +
                      "' is not a regular file");
    }
    const int fd = open(layout.config.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw Failure("cannot read the main configuration '" + layout.config.string() +
                      "': " + ErrnoText());
    }
    close(fd);
    return layout;
}

// Refuses a configuration that is already in the 2.7 layout, unless forced.
void CheckNotMigrated(const XmlDocument& cfg, const fs::path& file, bool force) {
    const XmlDocument::XmlNode* comm = cfg.Node(L"CommSystem");
    const bool old = comm != nullptr && (comm->Node(L"Connections") || comm->Node(L"Devices"));
    if (!old && !force) {
        throw Failure(
            "'" + file.string() + "' is already in the 2.7 layout: " +
            (comm ? "its CommSystem holds no Connections or Devices" : "it has no CommSystem") +
            "; nothing was changed (--force migrates it anyway)");
    }
}

// The history folders (STDPath) of the devices, as native paths in the installation. Each
// must lie inside it: the migration moves files in them.
std::vector<fs::path> HistoryFolders(const XmlDocument& cfg, const Layout& layout,
                                     const fs::path& install) {
    std::vector<fs::path> folders;
    const XmlDocument::XmlNode* devices = cfg.Node(L"CommSystem/Devices");
    if (devices == nullptr) {
        return folders;
    }
    for (auto it = devices->ChildsBegin(); it != devices->ChildsEnd(); ++it) {
        const XmlDocument::XmlNode& device = **it;
        const QMWideString path = device.Value(L"STDPath", L"");
        if (device.IsKey() || path.IsEmpty() || device.Value(L"Driver", L"") == L"VIRTUAL") {
            continue;
        }
        const std::string text = Utf8(path);
        const std::string name = Utf8(device.Value(L"Id", L""));
        if (text[0] == '/' || text[0] == '\\') {
            throw Failure("device '" + name + "' keeps its history in the absolute folder '" +
                          text +
                          "'; the migration works on a staged copy and would move files "
                          "outside it: make STDPath relative to the program folder first");
        }
        const fs::path folder =
            fs::path(qm::platform::NativePath((layout.workingDirectory / text).string()))
                .lexically_normal();
        if (!IsInside(folder, install)) {
            throw Failure("device '" + name + "' keeps its history in '" + text +
                          "', which is outside the installation ('" + folder.string() +
                          "'); the migration would move files there: move the folder into "
                          "the installation first");
        }
        folders.push_back(folder);
    }
    return folders;
}

// Decides whether the installation is a SCADA one, and says why.
bool DetectScada(const fs::path& cfgFolder, bool given, std::string& reason) {
    if (given) {
        reason = "--scada given";
        return true;
    }
    static const struct {
        const wchar_t* pattern;
        const char* kind;
    } kinds[] = {{L"*.xscn", "screen"}, {L"*.xrpt", "report"}, {L"*.xsty", "style"}};
    std::string found;
    for (const auto& kind : kinds) {
        qm::platform::FileFind find;
        if (find.FindFile((Wide(cfgFolder.string() + "/") + kind.pattern).c_str())) {
            const size_t count = find.Matches().size();
            found += (found.empty() ? "" : ", ") + std::to_string(count) + " " + kind.kind +
                     (count == 1 ? "" : "s");
        }
    }
    reason =
        found.empty() ? "no screens, reports or styles in Cfg" : "detected: " + found + " in Cfg";
    return !found.empty();
}

// The stage is removed when a run fails before the swap.
class StageGuard {
  public:
    explicit StageGuard(const Places& places) : places_(places) {}
    ~StageGuard() {
        if (armed_) {
            try {
                DiscardStage(places_);
            } catch (const Failure& failure) {
                std::fprintf(stderr, "qmsupport migrate27: %s\n", failure.what());
            }
        }
    }
    void Release() { armed_ = false; }

  private:
    const Places& places_;
    bool armed_ = true;
};

// Runs the library's migration on the stage, from its working directory.
void MigrateStage(XmlDocument& cfg, const fs::path& stageConfig, const fs::path& stageCfg,
                  const fs::path& stageData, const fs::path& workingDirectory, bool scada,
                  ReportObserver& observer) {
    const fs::path previous = fs::current_path();
    if (chdir(workingDirectory.c_str()) != 0) {
        throw Failure("cannot change into '" + workingDirectory.string() + "': " + ErrnoText());
    }
    QMTarvioSetup setup;
    setup.SetVersion(scada ? QMTarvioSetup::kScadaEdition : 0);
    setup.SetCfgPath(Wide(stageCfg.string() + "/"));
    setup.SetDataPath(Wide(stageData.string() + "/"));
    QMTransformCfgTo27 transform;
    transform.SetObserver(&observer);
    transform.transform(cfg);
    cfg.SetFileName(Wide(stageConfig.string()).c_str());
    const bool saved = cfg.Save();
    const std::string reason = ErrnoText();
    if (chdir(previous.c_str()) != 0) {
        throw Failure("cannot change back into '" + previous.string() + "': " + ErrnoText());
    }
    if (!saved) {
        throw Failure("cannot save the migrated main configuration: " + reason);
    }
}

// A side file that was loaded and never saved again has been left half-migrated (its new
// name may already be given): the run must not be swapped in.
void CheckSaves(const Report& report, const std::string& calculatedFile, bool hadVirtualDevices) {
    const std::set<std::string> rewritten(report.rewritten.begin(), report.rewritten.end());
    for (const std::string& file : report.loaded) {
        std::string extension = fs::path(file).extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const bool alwaysSaved = extension == ".xscn" || extension == ".xrpt" ||
                                 extension == ".xsty" || extension == ".xeve";
        if (alwaysSaved && !rewritten.count(file)) {
            throw Failure("could not save the migrated '" + file + "'");
        }
    }
    if (hadVirtualDevices && !rewritten.count(calculatedFile)) {
        throw Failure("could not save the calculated variables '" + calculatedFile + "'");
    }
}

bool HasVirtualDevices(const XmlDocument& cfg) {
    const XmlDocument::XmlNode* devices = cfg.Node(L"CommSystem/Devices");
    return devices != nullptr && devices->Node(L"Device?Driver=VIRTUAL?") != nullptr;
}

// Refuses links of the stage that would lead the migration's writes out of it.
void CheckStageConfined(const StageResult& staged, const std::vector<fs::path>& touched,
                        const fs::path& stage) {
    std::error_code error;
    const fs::path root = fs::canonical(stage, error);
    for (const fs::path& folder : touched) {
        const fs::path real = fs::weakly_canonical(folder, error);
        if (error || !IsInside(real, root)) {
            throw Failure("the folder '" + folder.lexically_relative(stage).string() +
                          "' leads out of the installation through a symbolic link; the "
                          "migration would change files outside it");
        }
        for (const fs::path& link : staged.escapingLinks) {
            if (IsInside(link, folder)) {
                throw Failure("the symbolic link '" + link.lexically_relative(stage).string() +
                              "' leads out of the installation; the migration would change "
                              "files outside it: replace it by what it points to");
            }
        }
    }
}

std::string Timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

fs::path BackupPath(const fs::path& install) {
    const std::string base = install.string() + ".before-2.7." + Timestamp();
    fs::path backup = base;
    std::error_code error;
    for (int n = 2; fs::exists(fs::symlink_status(backup, error)); ++n) {
        backup = base + "-" + std::to_string(n);
    }
    return backup;
}

void WriteReport(const Report& report, const std::optional<std::string>& file) {
    if (!file) {
        return;
    }
    const std::string json = report.Json();
    if (*file == "-") {
        std::fputs(json.c_str(), stdout);
    } else if (!qm::platform::WriteFileAtomic(*file, json)) {
        throw Failure("cannot write the report '" + *file + "': " + ErrnoText());
    }
}

int Migrate(Options options) {
    // The installation's real path; an interrupted swap may have left no folder there.
    std::error_code error;
    fs::path given = fs::absolute(options.install).lexically_normal();
    if (!given.has_filename()) {
        given = given.parent_path();
    }
    const fs::path install = fs::weakly_canonical(given, error);
    if (error || !install.has_filename() || install.string().find('\n') != std::string::npos) {
        throw Failure("cannot use '" + options.install + "' as an installation folder");
    }
    if (options.report && *options.report != "-") {
        options.report = fs::absolute(*options.report).lexically_normal().string();
        if (IsInside(fs::weakly_canonical(*options.report, error), install)) {
            throw Failure("the report '" + *options.report + "' must lie outside the installation");
        }
    }

    const Places places = Places::For(install);
    Progress progress(!options.quiet && isatty(STDERR_FILENO));
    Lock lock(places.lock);
    if (options.dryRun && fs::exists(fs::symlink_status(places.journal, error))) {
        throw Failure("an interrupted migration of '" + install.string() +
                      "' must be completed or undone first (--recover); the dry run changes "
                      "nothing");
    }
    std::string detail;
    const Recovery recovery = Recover(places, detail);
    if (recovery != Recovery::None) {
        std::printf("%s: %s\n", install.c_str(), detail.c_str());
    }
    if (options.recover) {
        if (recovery == Recovery::None) {
            std::printf("%s: no interrupted migration to recover\n", install.c_str());
        }
        return kExitOk;
    }
    if (recovery == Recovery::Completed) {
        return kExitOk;
    }
    if (!fs::exists(install, error)) {
        throw Failure("there is no installation folder '" + options.install + "'");
    }
    if (!fs::is_directory(install, error)) {
        throw Failure("'" + options.install + "' is not a folder");
    }

    const Layout layout = FindLayout(install, options);
    XmlDocument cfg;
    if (!cfg.Load(Wide(layout.config.string()).c_str())) {
        throw Failure(LoadFailure(layout.config.lexically_relative(install).generic_string(), cfg) +
                      " (the main configuration is not a well-formed XML file)");
    }
    CheckNotMigrated(cfg, layout.config, options.force);
    const std::vector<fs::path> historyFolders = HistoryFolders(cfg, layout, install);
    const bool hadVirtualDevices = HasVirtualDevices(cfg);

    Report report;
    report.installation = install.string();
    report.dryRun = options.dryRun;
    report.configuration = layout.config.lexically_relative(install).generic_string();
    report.scada = DetectScada(layout.cfg, options.scada, report.scadaReason);

    if (fs::exists(fs::symlink_status(places.stage, error))) {
        throw Failure("'" + places.stage.string() +
                      "' exists but no interrupted run left it (there is no journal): move "
                      "it away first");
    }
    BeginStaging(places);
    StageGuard guard(places);
    const auto inStage = [&](const fs::path& path) {
        return places.stage / path.lexically_relative(install);
    };
    const StageResult staged = BuildStage(install, places.stage, [&progress](size_t files) {
        progress.Show("staging: " + std::to_string(files) + " files");
    });
    report.stagedFiles = staged.files;
    report.copiedFiles = staged.copiedFiles;
    StopHere("staged");

    std::vector<fs::path> touched = {inStage(layout.cfg), inStage(layout.data),
                                     inStage(layout.config)};
    for (const fs::path& folder : historyFolders) {
        touched.push_back(inStage(folder));
    }
    CheckStageConfined(staged, touched, places.stage);

    ReportObserver observer(report, places.stage, inStage(layout.workingDirectory), progress);
    MigrateStage(cfg, inStage(layout.config), inStage(layout.cfg), inStage(layout.data),
                 inStage(layout.workingDirectory), report.scada, observer);
    report.rewritten.push_back(report.configuration);
    RestoreDirectoryModes(staged);
    CheckSaves(report,
               observer.Relative(
                   qm::platform::NativePath((inStage(layout.cfg) / "default.xcal").string())),
               hadVirtualDevices);
    progress.Done();
    StopHere("migrated");

    const fs::path backup = BackupPath(install);
    if (!options.dryRun && !options.noBackup) {
        report.backup = backup.string();
    }
    WriteReport(report, options.report);
    if (options.dryRun) {
        guard.Release();
        DiscardStage(places);
    } else {
        guard.Release();
        try {
            SwapIn(places, backup, !options.noBackup);
        } catch (const Failure& failure) {
            std::fprintf(stderr, "qmsupport migrate27: %s\n", failure.what());
            if (Recover(places, detail) != Recovery::Completed) {
                throw Failure(detail.empty() ? "the migration was not swapped in" : detail);
            }
            std::fprintf(stderr, "qmsupport migrate27: %s\n", detail.c_str());
        }
    }
    if (options.report != "-") {
        report.PrintSummary(stdout);
        if (options.report) {
            std::printf("  report:             %s\n", options.report->c_str());
        }
    }
    for (const SkippedFile& file : report.skipped) {
        if (file.where.empty()) {
            std::fprintf(stderr, "qmsupport migrate27: warning: %s was left as it was: %s\n",
                         file.file.c_str(), file.reason.c_str());
        } else {
            std::fprintf(stderr, "qmsupport migrate27: warning: %s; the file was left as it was\n",
                         file.where.c_str());
        }
    }
    return kExitOk;
}

int RunMigrate27(const std::vector<std::string>& args) {
    Options options;
    if (std::optional<int> done = ParseOptions(args, options)) {
        return *done;
    }
    try {
        return Migrate(std::move(options));
    } catch (const Failure& failure) {
        std::fprintf(stderr, "qmsupport migrate27: %s\n", failure.what());
    } catch (const std::exception& exception) {
        std::fprintf(stderr, "qmsupport migrate27: %s\n", exception.what());
    }
    return kExitFailure;
}

const CommandRegistration kRegistration{
    Command{"migrate27", "migrate an installation to the 2.7 layout, safely", RunMigrate27}};

}  // namespace
}  // namespace migrate27
