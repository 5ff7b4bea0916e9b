#include <qmsupport/install/installation_migration.h>

#include "install/backup.h"
#include "install/install_common.h"
#include "install/plan.h"
#include "install/report_observer.h"
#include "install/stage.h"
#include "install/swap.h"
#include "migrate27/layout27.h"

#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/xml/xml_document.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

namespace qm::install {

namespace {

constexpr const char* kJob = "migrate27";
constexpr const char* kTarget = "2.7";

// The installation's real path; an interrupted swap may have left no folder there.
fs::path ResolveInstall(const std::string& given) {
    std::error_code error;
    fs::path path = fs::absolute(given, error).lexically_normal();
    if (!path.has_filename()) {
        path = path.parent_path();
    }
    const fs::path install = fs::weakly_canonical(path, error);
    if (error || !install.has_filename() || install.string().find('\n') != std::string::npos) {
        throw Refusal("cannot use '" + given + "' as an installation folder");
    }
    return install;
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

Layout FindLayout(const fs::path& install, const MigrationOptions& options) {
    Layout layout;
    const auto cfg = FindFolder(install, "Cfg");
    const auto data = FindFolder(install, "Data");
    if (!cfg || !data) {
        throw Refusal("'" + install.string() + "' is not an installation: it has no " +
                      (cfg ? "data folder 'Data'" : "configuration folder 'Cfg'"));
    }
    layout.cfg = *cfg;
    layout.data = *data;
    layout.workingDirectory = FindFolder(install, "Bin").value_or(*cfg);
    std::error_code error;
    if (options.config.empty()) {
        layout.config = qm::platform::NativePath((layout.cfg / "default.xcfg").string());
    } else {
        fs::path given = options.config;
        if (given.is_relative() && !fs::exists(given, error)) {
            given = install / given;
        }
        layout.config = fs::weakly_canonical(qm::platform::NativePath(given.string()), error);
        if (!IsInside(layout.config, install)) {
            throw Refusal("the configuration file '" + options.config +
                          "' lies outside the installation '" + install.string() + "'");
        }
    }
    if (!fs::exists(layout.config, error)) {
        throw Refusal("there is no main configuration file '" + layout.config.string() + "'");
    }
    if (!fs::is_regular_file(layout.config, error)) {
        throw Refusal("the main configuration '" + layout.config.string() +
                      "' is not a regular file");
    }
    const int fd = open(layout.config.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw Refusal("cannot read the main configuration '" + layout.config.string() +
                      "': " + ErrnoText());
    }
    close(fd);
    return layout;
}

// The history folders (STDPath) of the devices, as native paths below `workingDirectory`. A
// folder named from the root is refused: the migration works on a replica and would move
// files outside it.
std::vector<fs::path> HistoryFolders(const XmlDocument& cfg, const fs::path& workingDirectory) {
    std::vector<fs::path> folders;
    for (const auto& folder : qm::migrate27::HistoryFolders(cfg)) {
        const std::string text = Utf8(folder.path);
        if (text[0] == '/' || text[0] == '\\') {
            throw Refusal("device '" + Utf8(folder.device) +
                          "' keeps its history in the absolute folder '" + text +
                          "'; the migration works on a staged copy and would move files "
                          "outside it: make STDPath relative to the program folder first");
        }
        folders.push_back(qm::platform::NativePath((workingDirectory / text).string()));
    }
    return folders;
}

// Refuses a history folder whose place, read from the installation's names alone, lies
// outside it.
void CheckHistoryFoldersInside(const XmlDocument& cfg, const std::vector<fs::path>& folders,
                               const fs::path& install) {
    const auto devices = qm::migrate27::HistoryFolders(cfg);
    for (size_t i = 0; i < folders.size(); ++i) {
        const fs::path folder = folders[i].lexically_normal();
        if (!IsInside(folder, install)) {
            throw Refusal("device '" + Utf8(devices[i].device) + "' keeps its history in '" +
                          Utf8(devices[i].path) + "', which is outside the installation ('" +
                          folder.string() +
                          "'); the migration would move files there: move the folder into "
                          "the installation first");
        }
    }
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
    } kinds[] = {{qm::migrate27::kScreenPattern, "screen"},
                 {qm::migrate27::kReportPattern, "report"},
                 {qm::migrate27::kStylePattern, "style"}};
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
            } catch (const Failure&) {
                // The journal stays, so the next run or --recover removes what is left.
            }
        }
    }
    void Release() { armed_ = false; }

  private:
    const Places& places_;
    bool armed_ = true;
};

// The setup the migration reads, pointed at the stage for the length of the run. A host's own
// setup (with its drivers catalogue) is used and given back as it was; without one, a default
// setup serves the run.
class StageSetup {
  public:
    StageSetup(const fs::path& cfg, const fs::path& data, bool scada) {
        if (QMTarvioSetup::HasInstance()) {
            saved_.emplace(QMTarvioSetup::Get());
        } else {
            own_.emplace();
        }
        QMTarvioSetup& setup = QMTarvioSetup::Get();
        setup.SetVersion((setup.Version() & ~QMTarvioSetup::kScadaEdition) |
                         (scada ? QMTarvioSetup::kScadaEdition : 0));
        setup.SetCfgPath(Wide(cfg.string() + "/"));
        setup.SetDataPath(Wide(data.string() + "/"));
    }
    ~StageSetup() {
        if (saved_) {
            QMTarvioSetup::Get() = *saved_;
        }
    }
    StageSetup(const StageSetup&) = delete;
    StageSetup& operator=(const StageSetup&) = delete;

  private:
    std::optional<QMTarvioSetup> saved_;  // a copy does not become the current setup
    std::optional<QMTarvioSetup> own_;
};

// Runs the library's migration on the stage, from its working directory, and saves the main
// configuration stamped with the new version.
void MigrateStage(XmlDocument& cfg, const fs::path& stageConfig, const fs::path& stageCfg,
                  const fs::path& stageData, const fs::path& workingDirectory, bool scada,
                  ReportObserver& observer) {
    const fs::path previous = fs::current_path();
    if (chdir(workingDirectory.c_str()) != 0) {
        throw Failure("cannot change into '" + workingDirectory.string() + "': " + ErrnoText());
    }
    StageSetup setup(stageCfg, stageData, scada);
    QMTransformCfgTo27 transform;
    transform.SetObserver(&observer);
    transform.transform(cfg);
    qm::migrate27::StampVersion(cfg);
    cfg.SetFileName(Wide(stageConfig.string()).c_str());
    const bool saved = cfg.Save();
    const std::string reason = ErrnoText();
    if (chdir(previous.c_str()) != 0) {
        throw Failure("cannot change back into '" + previous.string() + "': " + ErrnoText());
    }
    if (!saved) {
        throw Failure("cannot save the migrated main configuration: " + reason);
    }
    if (!observer.SaveFailed().empty()) {
        throw Failure("could not save the migrated '" + observer.SaveFailed().front() + "'");
    }
}

// Refuses folders of the stage that would lead the migration's reads and writes out of it:
// each folder is resolved through its links, the program folder first, since the history
// folders are named relative to where it really is.
void CheckStageConfined(const StageResult& staged, const std::vector<fs::path>& touched,
                        const fs::path& stage) {
    std::error_code error;
    const fs::path root = fs::canonical(stage, error);
    for (const fs::path& folder : touched) {
        const fs::path real = fs::weakly_canonical(folder, error);
        if (error || !IsInside(real, root)) {
            throw Refusal("the folder '" + folder.lexically_relative(stage).string() +
                          "' leads out of the installation through a symbolic link; the "
                          "migration would change files outside it");
        }
        for (const fs::path& link : staged.escapingLinks) {
            if (IsInside(link, folder)) {
                throw Refusal("the symbolic link '" + link.lexically_relative(stage).string() +
                              "' leads out of the installation; the migration would change "
                              "files outside it: replace it by what it points to");
            }
        }
    }
}

// The history folders as the migration will reach them: relative to the real place of the
// program folder, through every link on the way.
std::vector<fs::path> RealHistoryFolders(const XmlDocument& cfg,
                                         const fs::path& stageWorkingDirectory) {
    std::error_code error;
    const fs::path real = fs::canonical(stageWorkingDirectory, error);
    std::vector<fs::path> folders;
    for (const fs::path& folder : HistoryFolders(cfg, error ? stageWorkingDirectory : real)) {
        folders.push_back(fs::weakly_canonical(folder, error));
    }
    return folders;
}

// A side file that is a symbolic link would be migrated once under each name, and the link
// replaced by a file; refused before anything is changed.
void CheckNoLinkedSideFiles(const fs::path& cfgFolder, const fs::path& stage) {
    static const wchar_t* const patterns[] = {
        qm::migrate27::kScreenPattern, qm::migrate27::kReportPattern,
        qm::migrate27::kStylePattern,  qm::migrate27::kEventFile,
        qm::migrate27::kSecurityFile,  qm::migrate27::kCalculatedVariablesFile};
    for (const wchar_t* pattern : patterns) {
        qm::platform::FileFind find;
        if (!find.FindFile((Wide(cfgFolder.string() + "/") + pattern).c_str())) {
            continue;
        }
        for (const auto& match : find.Matches()) {
            struct stat st;
            const std::string path = qm::platform::NativePath(Utf8(match.path));
            if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
                throw Refusal("'" + fs::path(path).lexically_relative(stage).generic_string() +
                              "' is a symbolic link; the migration would rewrite what it points "
                              "to once more under this name: replace it by a copy, or remove it");
            }
        }
    }
}

// A name that is not valid UTF-8, for a message: every byte outside ASCII shows as \xNN.
std::string Printable(const std::string& name) {
    std::string out;
    for (const unsigned char c : name) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

// The migration names files by wide text: a name that is not valid UTF-8 cannot be named
// back, so such a file would be left unmoved or reported as missing. Refused before anything
// is changed, naming the file.
void CheckNamesAreUtf8(const std::vector<fs::path>& folders, const fs::path& stage) {
    for (const fs::path& folder : folders) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (Utf8(Wide(name)) != name) {
                throw Refusal("the name of '" +
                              Printable(it->path().lexically_relative(stage).string()) +
                              "' is not valid UTF-8, so the migration could not name it: "
                              "rename it first");
            }
        }
    }
}

// The grants of the security file that the migration left without a name or an identifier:
// the screen, report or device they named was not migrated, and the users lose that access.
void WarnOfLostGrants(const fs::path& before, const fs::path& after, MigrationReport& report) {
    XmlDocument old, migrated;
    if (!old.Load(Wide(before.string()).c_str()) || !migrated.Load(Wide(after.string()).c_str())) {
        return;
    }
    using XmlNode = XmlDocument::XmlNode;
    const auto elements = [](const XmlNode* parent) {
        std::vector<const XmlNode*> list;
        if (parent == nullptr) {
            return list;
        }
        for (auto it = parent->ChildsBegin(); it != parent->ChildsEnd(); ++it) {
            if (!(*it)->IsKey()) {
                list.push_back(*it);
            }
        }
        return list;
    };
    const auto oldProfiles = elements(old.Node(L"Security/Profiles"));
    const auto newProfiles = elements(migrated.Node(L"Security/Profiles"));
    for (size_t p = 0; p < oldProfiles.size() && p < newProfiles.size(); ++p) {
        const auto oldResources = elements(oldProfiles[p]->Node(L"Resources"));
        const auto newResources = elements(newProfiles[p]->Node(L"Resources"));
        for (size_t r = 0; r < oldResources.size() && r < newResources.size(); ++r) {
            const QMWideString name = oldResources[r]->Value(L"Name", L"");
            if (!name.IsEmpty() && newResources[r]->Value(L"Name", L"").IsEmpty() &&
                newResources[r]->Value(L"Id", L"").IsEmpty()) {
                report.warnings.push_back(
                    "Security.xcfg: profile '" + Utf8(oldProfiles[p]->Value(L"Name", L"")) +
                    "' loses its grant of " + Utf8(oldResources[r]->Value(L"Type", L"")) + " '" +
                    Utf8(name) +
                    "', which was not migrated: its users lose that access until it is "
                    "granted again");
            }
        }
    }
}

fs::path UniqueName(const std::string& base) {
    fs::path name = base;
    std::error_code error;
    for (int n = 2; fs::exists(fs::symlink_status(name, error)); ++n) {
        name = base + "-" + std::to_string(n);
    }
    return name;
}

const char* FormName(BackupForm form) {
    return form == BackupForm::Copy ? "copy" : form == BackupForm::Link ? "link" : "none";
}

// Throws when the user asked the run to stop.
void CheckStop(MigrationProgress& progress) {
    if (progress.StopRequested()) {
        throw Failure(
            "stopped on request; the staged copy was removed and the installation is "
            "unchanged",
            Status::Interrupted);
    }
}

// The number of regular files in `folders`, or below them, for a phase's total.
size_t CountFiles(const std::vector<fs::path>& folders, bool recursive) {
    size_t count = 0;
    std::error_code error;
    for (const fs::path& folder : folders) {
        if (recursive) {
            for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
                 it.increment(error)) {
                count += it->is_regular_file(error) ? 1 : 0;
            }
        } else {
            for (fs::directory_iterator it(folder, error), end; !error && it != end;
                 it.increment(error)) {
                count += it->is_regular_file(error) ? 1 : 0;
            }
        }
    }
    return count;
}

// The side files a SCADA run opens, for the side-file phase's total.
size_t CountSideFiles(const fs::path& cfgFolder) {
    size_t count = 0;
    for (const wchar_t* pattern :
         {qm::migrate27::kStylePattern, qm::migrate27::kScreenPattern,
          qm::migrate27::kReportPattern, qm::migrate27::kEventFile, qm::migrate27::kSecurityFile}) {
        qm::platform::FileFind find;
        if (find.FindFile((Wide(cfgFolder.string() + "/") + pattern).c_str())) {
            count += find.Matches().size();
        }
    }
    return count;
}

// The files that stayed directly in the history folders and the data folder, with the reason
// the migration gave them. Files that a failed move left are reported as such already.
void ListLeftFiles(std::vector<fs::path> folders, const fs::path& stage, MigrationReport& report) {
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    std::vector<std::string> failed;
    for (const MovedFile& file : report.historyFailed) {
        failed.push_back(file.from);
    }
    for (const fs::path& folder : folders) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_regular_file(error)) {
                continue;
            }
            const std::string file = it->path().lexically_relative(stage).generic_string();
            if (std::find(failed.begin(), failed.end(), file) != failed.end()) {
                continue;
            }
            const QMWideString name = Wide(it->path().filename().string());
            const QMWideString title = Wide(it->path().stem().string());
            int year = 0, month = 0;
            const char* why =
                qm::migrate27::WhyDataFileStays(name.view(), title.view(), year, month);
            report.left.push_back({file, why ? why : "it matches no device's history files"});
        }
    }
}

void CollectWarnings(MigrationReport& report) {
    for (const LeftFile& device : report.droppedDevices) {
        report.warnings.push_back("device '" + device.file + "' was dropped: " + device.reason);
    }
    for (const LeftFile& file : report.skipped) {
        report.warnings.push_back(file.file + " was left as it was: " + file.reason);
    }
    for (const MovedFile& file : report.historyFailed) {
        report.warnings.push_back("the history file " + file.from + " could not be moved to " +
                                  file.to);
    }
}

// Refuses a plan file that lies inside the installation: the plan would change what it
// fingerprints.
void CheckPlanOutside(const std::string& file, const fs::path& install) {
    std::error_code error;
    if (!file.empty() && IsInside(fs::weakly_canonical(file, error), install)) {
        throw Refusal("the plan '" + file + "' must lie outside the installation");
    }
}

// Runs the migration; `plan` receives the plan that a dry run with a plan file made, or the
// one applied.
Result Migrate(const MigrationOptions& given, MigrationReport& report, MigrationProgress& progress,
               Plan& plan) {
    const fs::path install = ResolveInstall(given.install);
    if (!given.plan.empty() && (!given.dryRun || !given.apply.empty())) {
        throw Refusal("a plan is written by a dry run (and not while applying one)");
    }
    CheckPlanOutside(given.plan, install);
    report.installation = install.string();
    report.dryRun = given.dryRun;
    report.backupForm = given.dryRun ? "none" : FormName(given.backup);
    const Places places = Places::For(install, kJob);
    const Lock lock(places.lock);
    std::error_code error;
    if (given.dryRun && fs::exists(fs::symlink_status(places.journal, error))) {
        throw Refusal("an interrupted migration of '" + install.string() +
                      "' must be completed or undone first (--recover); the dry run changes "
                      "nothing");
    }
    std::string detail;
    const Recovery recovery = Recover(places, detail);
    if (recovery == Recovery::Completed) {
        return {Status::Done, detail};
    }
    if (!fs::exists(install, error)) {
        throw Refusal("there is no installation folder '" + given.install + "'");
    }
    if (!fs::is_directory(install, error)) {
        throw Refusal("'" + given.install + "' is not a folder");
    }

    // A planned run draws its identifiers from the plan's seed, for its whole length.
    MigrationOptions options = given;
    std::optional<qm::ScopedGuidSeed> seeded;
    if (!options.apply.empty()) {
        plan = ReadPlan(options.apply);
        CheckUnchangedSince(plan, FingerprintInstallation(install), options.apply);
        options.config = (install / plan.configuration).string();
        options.scada = plan.scada;
        report.plan = plan.Fingerprint();
        seeded.emplace(plan.seed);
    } else if (!options.plan.empty()) {
        plan.seed = qm::NewGuidSeed();
        plan.files = FingerprintInstallation(install);
        seeded.emplace(plan.seed);
    }

    const Layout layout = FindLayout(install, options);
    report.configuration = layout.config.lexically_relative(install).generic_string();
    XmlDocument cfg;
    if (!cfg.Load(Wide(layout.config.string()).c_str())) {
        throw Refusal(qm::XmlLoadFailure(report.configuration, cfg) +
                      " (the main configuration is not a well-formed XML file)");
    }
    std::string why;
    if (qm::migrate27::IsMigrated(cfg, why)) {
        return {Status::NothingToDo, "'" + layout.config.string() + "' is already in the " +
                                         kTarget + " layout: " + why + "; nothing was changed"};
    }
    CheckHistoryFoldersInside(cfg, HistoryFolders(cfg, layout.workingDirectory), install);
    report.scada = DetectScada(layout.cfg, options.scada, report.scadaReason);
    if (!options.plan.empty()) {
        plan.configuration = report.configuration;
        plan.scada = report.scada;
        report.plan = plan.Fingerprint();
    }

    if (fs::exists(fs::symlink_status(places.stage, error))) {
        throw Refusal("'" + places.stage.string() +
                      "' exists but no interrupted run left it (there is no journal): move "
                      "it away first");
    }
    BeginStaging(places);
    StageGuard guard(places);
    const auto inStage = [&](const fs::path& path) {
        return places.stage / path.lexically_relative(install);
    };
    progress.OnPhase(Phase::Staging, CountFiles({install}, true));
    const StageResult staged = BuildStage(install, places.stage, [&progress](size_t files) {
        progress.OnStep(files);
        if (files % 256 == 0) {
            CheckStop(progress);
        }
    });
    report.stagedFiles = staged.files;
    report.copiedFiles = staged.copiedFiles;
    StopHere("staged");

    std::vector<fs::path> touched = {inStage(layout.cfg), inStage(layout.data),
                                     inStage(layout.config), inStage(layout.workingDirectory)};
    CheckStageConfined(staged, touched, places.stage);
    const std::vector<fs::path> history = RealHistoryFolders(cfg, inStage(layout.workingDirectory));
    CheckStageConfined(staged, history, places.stage);
    CheckNoLinkedSideFiles(inStage(layout.cfg), places.stage);
    std::vector<fs::path> named = history;
    named.push_back(inStage(layout.cfg));
    named.push_back(inStage(layout.data));
    CheckNamesAreUtf8(named, places.stage);
    CheckStop(progress);

    std::vector<fs::path> dataFolders = history;
    dataFolders.push_back(fs::canonical(inStage(layout.data), error));
    std::sort(dataFolders.begin(), dataFolders.end());
    dataFolders.erase(std::unique(dataFolders.begin(), dataFolders.end()), dataFolders.end());
    ReportObserver observer(report, places.stage, inStage(layout.workingDirectory), progress);
    observer.SetTotals((report.scada ? CountSideFiles(inStage(layout.cfg)) : 0) +
                           (qm::migrate27::HasVirtualDevices(cfg) ? 1 : 0),
                       CountFiles(dataFolders, false));
    {
        // Nothing relies on the stage before SwapIn flushes the whole file system.
        const qm::platform::DeferredFlush deferred;
        MigrateStage(cfg, inStage(layout.config), inStage(layout.cfg), inStage(layout.data),
                     inStage(layout.workingDirectory), report.scada, observer);
    }
    report.rewritten.push_back(report.configuration);
    const fs::path security =
        qm::platform::NativePath((layout.cfg / Utf8(qm::migrate27::kSecurityFile)).string());
    WarnOfLostGrants(security, inStage(security), report);
    ListLeftFiles(dataFolders, places.stage, report);
    CheckStop(progress);

    if (!options.dryRun && options.backup == BackupForm::Copy) {
        progress.OnPhase(Phase::Backup, CountShared(places.stage, staged.linkedInodes));
        report.backupCopies =
            UnshareStage(places.stage, staged.linkedInodes, [&progress](size_t done) {
                progress.OnStep(done);
                CheckStop(progress);
            });
    }
    RestoreDirectoryModes(staged);
    StopHere("migrated");
    CheckStop(progress);  // the last moment to stop: the swap is not interrupted
    CollectWarnings(report);

    if (options.dryRun) {
        guard.Release();
        DiscardStage(places);
        return {Status::Done, detail};
    }
    const fs::path backup = UniqueName(install.string() + ".before-" + kTarget + "." + Timestamp());
    if (options.backup != BackupForm::None) {
        report.backup = backup.string();
    }
    progress.OnPhase(Phase::Swap, 1);
    guard.Release();
    try {
        const std::string warning =
            SwapIn(places, {Swap::Kind::Migration, places.stage, backup,
                            options.backup != BackupForm::None, FormName(options.backup)});
        if (!warning.empty()) {
            report.warnings.push_back("the former installation was not removed: " + warning);
        }
    } catch (const Failure& failure) {
        std::string recovered;
        if (Recover(places, recovered) != Recovery::Completed) {
            throw Failure(failure.what() + std::string("; ") +
                          (recovered.empty() ? "the migration was not swapped in" : recovered));
        }
        report.warnings.push_back(failure.what() + std::string("; ") + recovered);
    }
    progress.OnStep(1);
    return {Status::Done, detail};
}

// Runs `run`, turning every failure into a Result: nothing is thrown out of the library.
template <class F>
Result Guarded(F run) {
    try {
        return run();
    } catch (const Failure& failure) {
        return {failure.status, failure.what()};
    } catch (const std::bad_alloc&) {
        return {Status::Failed, "out of memory"};
    } catch (const std::exception& exception) {
        return {Status::Failed, exception.what()};
    }
}

const char* Outcome(const Result& result, bool dryRun) {
    switch (result.status) {
        case Status::Done:
            return dryRun ? "dry run" : "migrated";
        case Status::NothingToDo:
            return "already migrated";
        default:
            return result.Description();
    }
}

}  // namespace

Result MigrateInstallationTo27(const MigrationOptions& options, MigrationReport& report,
                               MigrationProgress* progress) {
    MigrationProgress silent;
    report = MigrationReport();
    report.started = IsoTime();
    // The run changes its current directory: the plan files are named from the caller's.
    MigrationOptions run = options;
    std::error_code error;
    for (std::string* file : {&run.plan, &run.apply}) {
        if (!file->empty()) {
            *file = fs::absolute(*file, error).lexically_normal().string();
        }
    }
    Plan plan;
    Result result =
        Guarded([&] { return Migrate(run, report, progress ? *progress : silent, plan); });
    report.finished = IsoTime();
    report.outcome = Outcome(result, options.dryRun);
    if (result.status == Status::Done && !run.plan.empty() &&
        !qm::platform::WriteFileAtomic(run.plan, plan.Text(report))) {
        result = {Status::Failed, "cannot write the plan '" + run.plan + "': " + ErrnoText()};
        report.outcome = Outcome(result, options.dryRun);
    }
    return result;
}

Result RecoverInstallationTo27(const std::string& given) {
    return Guarded([&]() -> Result {
        const fs::path install = ResolveInstall(given);
        const Places places = Places::For(install, kJob);
        const Lock lock(places.lock);
        std::string detail;
        if (Recover(places, detail) == Recovery::None) {
            return {Status::NothingToDo, "no interrupted migration to recover"};
        }
        return {Status::Done, detail};
    });
}

Result UndoMigrationTo27(const std::string& given) {
    return Guarded([&]() -> Result {
        const fs::path install = ResolveInstall(given);
        const Places places = Places::For(install, kJob);
        const Lock lock(places.lock);
        std::string detail;
        Recover(places, detail);
        UndoRecord record;
        if (!ReadUndoRecord(places, record)) {
            throw Refusal("no backup of a migration of '" + install.string() +
                          "' is recorded (it ran with --no-backup, or was undone already); "
                          "nothing was changed");
        }
        std::error_code error;
        if (!fs::is_directory(fs::symlink_status(record.backup, error))) {
            throw Refusal("the former installation '" + record.backup.string() +
                          "' is gone; nothing was changed");
        }
        for (const UndoRecord::Shared& shared : record.shared) {
            struct stat st;
            const fs::path file = record.backup / shared.file;
            if (lstat(file.c_str(), &st) != 0 || st.st_size != shared.size ||
                static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec !=
                    shared.mtime) {
                throw Refusal("'" + shared.file +
                              "' has changed since the migration, and the former installation "
                              "shares it with the live one (--backup=link): it no longer holds "
                              "the former content, so the undo was refused; nothing was changed");
            }
        }
        const fs::path after =
            UniqueName(install.string() + ".after-" + kTarget + "." + Timestamp());
        SwapIn(places, {Swap::Kind::Undo, record.backup, after, true, ""});
        return {Status::Done, "'" + record.backup.string() + "' is back in place as '" +
                                  install.string() + "'; the migrated installation is kept as '" +
                                  after.string() + "'"};
    });
}

}  // namespace qm::install
