#include <qmsupport/install/installation_migration.h>

#include "install/backup.h"
#include "install/install_common.h"
#include "install/plan.h"
#include "install/report_observer.h"
#include "install/stage.h"
#include "install/steps25.h"
#include "install/swap.h"
#include "migrate27/layout27.h"

#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/platform/app_path.h>
#include <qmsupport/platform/display_metrics.h>
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
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace qm::install {

namespace {

// A migration's names: `name` names its journal, stage and lock files, `target` its backup.
struct Job {
    Migration migration;
    const char* name;
    const char* target;
    bool to25;  // the legacy steps and the 2.5 migration
    bool to27;
};

const Job kJobs[] = {
    {Migration::To25, "migrate25", "2.5", true, false},
    {Migration::To27, "migrate27", "2.7", false, true},
    {Migration::Upgrade, "upgrade", "2.7", true, true},
};

const Job& JobOf(Migration migration) {
    for (const Job& job : kJobs) {
        if (job.migration == migration) {
            return job;
        }
    }
    return kJobs[0];
}

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

// A file of the installation that the run reads, given on the command line: a relative name
// is taken from the current directory, else from the installation. Refused when it lies
// outside the installation, is missing, or cannot be read; `what` names it ("main
// configuration", "legacy alarm file").
fs::path ResolveFile(const std::string& name, const fs::path& install, const std::string& what) {
    std::error_code error;
    fs::path given = name;
    if (given.is_relative() && !fs::exists(given, error)) {
        given = install / given;
    }
    const fs::path file = fs::weakly_canonical(qm::platform::NativePath(given.string()), error);
    if (!IsInside(file, install)) {
        throw Refusal("the " + what + " '" + name + "' lies outside the installation '" +
                      install.string() + "'");
    }
    return file;
}

// Refuses a file the run must read that is missing, not a regular file, or unreadable.
void CheckReadable(const fs::path& file, const std::string& what) {
    std::error_code error;
    if (!fs::exists(file, error)) {
        throw Refusal("there is no " + what + " file '" + file.string() + "'");
    }
    if (!fs::is_regular_file(file, error)) {
        throw Refusal("the " + what + " '" + file.string() + "' is not a regular file");
    }
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw Refusal("cannot read the " + what + " '" + file.string() + "': " + ErrnoText());
    }
    close(fd);
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
    layout.config = options.config.empty()
                        ? fs::path(qm::platform::NativePath((layout.cfg / "default.xcfg").string()))
                        : ResolveFile(options.config, install, "configuration file");
    CheckReadable(layout.config, "main configuration");
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

// The setup, application path and display the migration reads, pointed at the stage for the
// length of the run. A host's own setup (with its drivers catalogue) is used and given back as
// it was; without one, a default setup serves the run.
class StageSetup {
  public:
    StageSetup(const fs::path& cfg, const fs::path& data, const fs::path& images,
               const fs::path& program, const qm::platform::DisplayMetrics& display, bool scada)
        : appPath_(qm::platform::AppPathOverride()),
          display_(qm::platform::DisplayMetrics::Current()) {
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
        setup.SetImagesPath(Wide(images.string() + "/"));
        qm::platform::SetAppPath(Wide(program.string() + "/"));
        qm::platform::DisplayMetrics::Set(display);
    }
    ~StageSetup() {
        qm::platform::DisplayMetrics::Set(display_);
        qm::platform::SetAppPath(appPath_);
        if (saved_) {
            QMTarvioSetup::Get() = *saved_;
        }
    }
    StageSetup(const StageSetup&) = delete;
    StageSetup& operator=(const StageSetup&) = delete;

  private:
    QMWideString appPath_;
    qm::platform::DisplayMetrics display_;
    std::optional<QMTarvioSetup> saved_;  // a copy does not become the current setup
    std::optional<QMTarvioSetup> own_;
};

// The stage's folders and the steps of one run.
struct StageRun {
    fs::path stage;
    fs::path config;  // the main configuration file
    fs::path cfg;
    fs::path data;
    fs::path images;            // for the 2.5 steps
    fs::path workingDirectory;  // the program folder Bin, else Cfg
    qm::platform::DisplayMetrics display;
    bool scada = false;
    std::optional<Steps25> steps25;
    bool to27 = false;
};

// Runs the library's migrations on the stage, from its working directory: the 2.5 steps,
// then the 2.7 migration, which saves the main configuration stamped with the new version.
void MigrateStage(XmlDocument& cfg, const StageRun& run, ReportObserver& observer,
                  MigrationReport& report) {
    const fs::path previous = fs::current_path();
    if (chdir(run.workingDirectory.c_str()) != 0) {
        throw Failure("cannot change into '" + run.workingDirectory.string() + "': " + ErrnoText());
    }
    // Whatever the steps throw, the current directory is given back first.
    std::exception_ptr failure;
    try {
        StageSetup setup(run.cfg, run.data, run.images, run.workingDirectory, run.display,
                         run.scada || run.steps25);
        report.timeZone = Utf8(QMTarvioSetup::Get().OlsonTimeZone());
        cfg.SetFileName(Wide(run.config.string()).c_str());
        if (run.steps25) {
            const std::vector<fs::path> folders = {run.cfg, run.data};
            const FileSnapshot before(folders);
            RunSteps25(cfg, *run.steps25, observer, report);
            FileSnapshot(folders).ReportChangesSince(before, run.stage, report);
        }
        if (run.to27) {
            QMTransformCfgTo27 transform;
            transform.SetObserver(&observer);
            transform.transform(cfg);
            qm::migrate27::StampVersion(cfg);
            if (!cfg.Save()) {
                throw Failure("cannot save the migrated main configuration: " + ErrnoText());
            }
            report.steps.push_back("2.7");
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (chdir(previous.c_str()) != 0) {
        throw Failure("cannot change back into '" + previous.string() + "': " + ErrnoText());
    }
    if (failure) {
        std::rethrow_exception(failure);
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
    for (const LeftFile& control : report.droppedControls) {
        report.warnings.push_back("the control " + control.file +
                                  " was left out: " + control.reason);
    }
    for (const LeftFile& image : report.imagesNotStored) {
        report.warnings.push_back("the image " + image.file + " was lost: " + image.reason);
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

// The choices of a run that a plan keeps besides the main configuration and the edition: the
// migration and its 2.5 steps, one "key=value" line each. The alarm file is named relative
// to the installation.
std::string ChoicesText(const Job& job, const MigrationOptions& options, const fs::path& alarms,
                        const fs::path& install) {
    std::string text = std::string("migration=") + job.name + "\n";
    if (job.to25) {
        text += std::string("legacyScreens=") + (options.legacyScreens ? "1" : "0") + "\n";
        text += "alarms=" +
                (alarms.empty() ? std::string() : alarms.lexically_relative(install).string()) +
                "\n";
        text += std::string("security=") + (options.noSecurity ? "0" : "1") + "\n";
        text += std::string("force=") + (options.force ? "1" : "0") + "\n";
        text += "display=" + options.display + "\n";
    }
    return text;
}

// Takes the choices of a plan into `options`; refuses a plan of another migration.
void ApplyChoices(const std::string& text, const Job& job, const fs::path& planFile,
                  const fs::path& install, MigrationOptions& options) {
    std::map<std::string, std::string> values;
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        const std::string line = text.substr(begin, end - begin);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    if (values["migration"] != job.name) {
        throw Refusal(
            "the plan '" + planFile.string() + "' was made by " +
            (values["migration"].empty() ? "another program" : "qmsupport " + values["migration"]) +
            ", not by qmsupport " + job.name + "; nothing was changed");
    }
    options.legacyScreens = values["legacyScreens"] == "1";
    options.alarms = values["alarms"].empty() ? "" : (install / values["alarms"]).string();
    options.noSecurity = values["security"] == "0";
    options.force = values["force"] == "1";
    options.display = values["display"];
}

// The display a 2.5 migration converts for.
qm::platform::DisplayMetrics RunDisplay(const MigrationOptions& options) {
    qm::platform::DisplayMetrics display = qm::platform::DisplayMetrics::Current();
    if (!options.display.empty() &&
        !qm::platform::DisplayMetrics::Parse(options.display.c_str(), display)) {
        throw Refusal("'" + options.display +
                      "' is no display: write it as WIDTHxHEIGHT@WMMxHMMmm/DPI, as in "
                      "1920x1080@508x285.75mm/96");
    }
    return display;
}

std::string DisplayText(const qm::platform::DisplayMetrics& display) {
    char text[128];
    std::snprintf(text, sizeof text, "%dx%d@%gx%gmm/%d", display.widthPixels, display.heightPixels,
                  display.widthMillimetres, display.heightMillimetres,
                  display.logicalPixelsPerInch);
    return text;
}

// The locks of every migration of the installation, held together so that no two kinds of
// migration run on it at once. Refused while another kind's interrupted run waits for its
// recovery: its journal knows how to finish it.
class InstallationLocks {
  public:
    InstallationLocks(const fs::path& install, const Job& job) {
        for (const Job& other : kJobs) {
            const Places places = Places::For(install, other.name);
            locks_.push_back(std::make_unique<Lock>(places.lock));
            std::error_code error;
            if (&other != &job && fs::exists(fs::symlink_status(places.journal, error))) {
                throw Refusal("an interrupted run of qmsupport " + std::string(other.name) +
                              " must be completed or undone first: qmsupport " + other.name +
                              " --recover " + install.string());
            }
        }
    }

  private:
    std::vector<std::unique_ptr<Lock>> locks_;
};

// Runs the migration; `plan` receives the plan that a dry run with a plan file made, or the
// one applied.
Result Migrate(const Job& job, const MigrationOptions& given, MigrationReport& report,
               MigrationProgress& progress, Plan& plan) {
    const fs::path install = ResolveInstall(given.install);
    if (!given.plan.empty() && (!given.dryRun || !given.apply.empty())) {
        throw Refusal("a plan is written by a dry run (and not while applying one)");
    }
    CheckPlanOutside(given.plan, install);
    report.installation = install.string();
    report.dryRun = given.dryRun;
    report.backupForm = given.dryRun ? "none" : FormName(given.backup);
    const Places places = Places::For(install, job.name);
    const InstallationLocks locks(install, job);
    std::error_code error;
    if (given.dryRun && fs::exists(fs::symlink_status(places.journal, error))) {
        throw Refusal("an interrupted migration of '" + install.string() +
                      "' must be completed or undone first (--recover); the dry run changes "
                      "nothing");
    }
    std::string detail;
    const Recovery recovery = Recover(places, detail);
    if (recovery == Recovery::Completed) {
        // The completed run may not be the one asked for now, which did nothing: a plan
        // found not applied must not look applied.
        if (!given.apply.empty()) {
            throw Refusal(detail + "; the plan '" + given.apply +
                          "' was not applied: run --apply again once you have checked the "
                          "installation");
        }
        return {Status::Done, detail + "; this run did nothing more: run it again to go on"};
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
        ApplyChoices(plan.choices, job, options.apply, install, options);
        options.config = (install / plan.configuration).string();
        options.scada = plan.scada;
        report.plan = plan.Fingerprint();
        seeded.emplace(plan.seed);
    } else if (!options.plan.empty()) {
        plan.seed = qm::NewGuidSeed();
        seeded.emplace(plan.seed);
    }

    const Layout layout = FindLayout(install, options);
    report.configuration = layout.config.lexically_relative(install).generic_string();
    XmlDocument cfg;
    if (!cfg.Load(Wide(layout.config.string()).c_str())) {
        throw Refusal(qm::XmlLoadFailure(report.configuration, cfg) +
                      " (the main configuration is not a well-formed XML file)");
    }

    // What the installation needs: the checks read the live installation and change nothing.
    std::string why27;
    const bool run27 = job.to27 && !qm::migrate27::IsMigrated(cfg, why27);
    std::optional<Steps25> steps25;
    fs::path alarms;
    std::string why25;
    qm::platform::DisplayMetrics display = qm::platform::DisplayMetrics::Current();
    if (job.to25) {
        display = RunDisplay(options);
        if (options.legacyScreens) {
            const fs::path application = LegacyApplicationFile(install);
            CheckReadable(application, "legacy SCADA application");
            if (!options.force) {
                CheckLegacyScreensNotConverted(application, layout.cfg);
            }
        }
        if (!options.alarms.empty()) {
            alarms = ResolveFile(options.alarms, install, "legacy alarm file");
            CheckReadable(alarms, "legacy alarm");
            if (!options.force) {
                CheckAlarmsNotConverted(alarms, layout.cfg);
            }
        }
        if (options.legacyScreens || !alarms.empty() || options.force ||
            Needs25(layout.cfg, layout.workingDirectory, !options.noSecurity, why25)) {
            steps25 = Steps25{options.legacyScreens, {}, !options.noSecurity};
        }
    }
    if (!steps25 && !run27) {
        std::string message =
            job.to27 ? "'" + layout.config.string() + "' is already in the 2.7 layout: " + why27
                     : std::string();
        if (job.to25) {
            message += std::string(message.empty() ? "" : ", and ") +
                       "every screen, report and style is at 2.5 or later" +
                       (job.to27 ? "" : " (--force migrates them again)");
        }
        return {Status::NothingToDo, message + "; nothing was changed"};
    }
    if (run27) {
        CheckHistoryFoldersInside(cfg, HistoryFolders(cfg, layout.workingDirectory), install);
    }
    if (steps25) {
        report.scada = true;
        report.scadaReason = "the 2.5 migration works on the SCADA files";
        report.display = DisplayText(display);
    } else {
        report.scada = DetectScada(layout.cfg, options.scada, report.scadaReason);
    }
    if (!options.plan.empty()) {
        plan.configuration = report.configuration;
        plan.scada = report.scada;
        plan.choices = ChoicesText(job, options, alarms, install);
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
    // For an independent backup, the files that the migration does not rewrite are copied
    // right away, which costs less than linking them now and copying them after the migration.
    StageForm form;
    form.copies = !options.dryRun && options.backup == BackupForm::Copy;
    form.linkedFolders = {layout.cfg, layout.config.parent_path()};
    FileCopier copier;
    progress.OnPhase(Phase::Staging, CountFiles({install}, true));
    const StageResult staged =
        BuildStage(install, places.stage, form, copier, [&progress](size_t files) {
            progress.OnStep(files);
            if (files % 256 == 0) {
                CheckStop(progress);
            }
        });
    // The plan holds the fingerprints of what is staged, and an applied plan is checked
    // against what is staged: a change made to the installation at any time before is seen.
    if (!options.apply.empty()) {
        CheckUnchangedSince(plan, FingerprintInstallation(places.stage), options.apply);
    } else if (!options.plan.empty()) {
        plan.files = FingerprintInstallation(places.stage);
        report.plan = plan.Fingerprint();
    }
    report.stagedFiles = staged.files;
    report.copiedFiles = staged.copiedFiles + staged.backupCopies;
    report.backupCopies = staged.backupCopies;
    StopHere("staged");
    FileSystemFlush flush(places.stage);
    if (!options.dryRun) {
        flush.Start();
    }

    StageRun run;
    run.stage = places.stage;
    run.config = inStage(layout.config);
    run.cfg = inStage(layout.cfg);
    run.data = inStage(layout.data);
    run.workingDirectory = inStage(layout.workingDirectory);
    run.display = display;
    run.scada = report.scada;
    run.steps25 = steps25;
    run.to27 = run27;
    std::vector<fs::path> touched = {run.cfg, run.data, run.config, run.workingDirectory};
    if (steps25) {
        // The images of the 2.5 controls go to Cfg/Images, made when missing.
        run.images = qm::platform::NativePath((run.cfg / "Images").string());
        touched.push_back(run.images);
        if (options.legacyScreens) {
            touched.push_back(inStage(LegacyApplicationFile(install)).parent_path());
        }
        if (!alarms.empty()) {
            run.steps25->alarms = inStage(alarms);
            touched.push_back(run.steps25->alarms);
        }
    }
    CheckStageConfined(staged, touched, places.stage);
    std::vector<fs::path> history;
    if (run27) {
        history = RealHistoryFolders(cfg, run.workingDirectory);
        CheckStageConfined(staged, history, places.stage);
    }
    CheckNoLinkedSideFiles(run.cfg, places.stage);
    std::vector<fs::path> named = history;
    named.push_back(run.cfg);
    named.push_back(run.data);
    CheckNamesAreUtf8(named, places.stage);
    if (steps25 && !fs::is_directory(run.images, error) &&
        !fs::create_directory(run.images, error)) {
        throw Failure("cannot create the images folder '" + run.images.string() +
                      "': " + error.message());
    }
    CheckStop(progress);

    std::vector<fs::path> dataFolders = history;
    if (run27) {
        dataFolders.push_back(fs::canonical(run.data, error));
        std::sort(dataFolders.begin(), dataFolders.end());
        dataFolders.erase(std::unique(dataFolders.begin(), dataFolders.end()), dataFolders.end());
    }
    ReportObserver observer(report, places.stage, run.workingDirectory, progress);
    const size_t sideFiles = report.scada ? CountSideFiles(run.cfg) : 0;
    observer.SetTotals((steps25 ? sideFiles : 0) + (run27 ? sideFiles : 0) +
                           (run27 && qm::migrate27::HasVirtualDevices(cfg) ? 1 : 0),
                       CountFiles(dataFolders, false));
    {
        // Nothing relies on the stage before SwapIn finishes the flush.
        const qm::platform::DeferredFlush deferred;
        MigrateStage(cfg, run, observer, report);
    }
    if (run27) {
        if (std::find(report.rewritten.begin(), report.rewritten.end(), report.configuration) ==
            report.rewritten.end()) {
            report.rewritten.push_back(report.configuration);
        }
        const fs::path security =
            qm::platform::NativePath((layout.cfg / Utf8(qm::migrate27::kSecurityFile)).string());
        WarnOfLostGrants(security, inStage(security), report);
        ListLeftFiles(dataFolders, places.stage, report);
    }
    CheckStop(progress);

    if (!options.dryRun && options.backup == BackupForm::Copy) {
        const std::vector<SharedFile> shared = FindShared(places.stage, staged.linkedInodes);
        progress.OnPhase(Phase::Backup, shared.size());
        UnshareStage(shared, copier, [&progress](size_t done) {
            progress.OnStep(done);
            CheckStop(progress);
        });
        report.backupCopies += shared.size();
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
    const fs::path backup =
        UniqueName(install.string() + ".before-" + job.target + "." + Timestamp());
    if (options.backup != BackupForm::None) {
        report.backup = backup.string();
    }
    progress.OnPhase(Phase::Swap, 1);
    guard.Release();
    try {
        const std::string warning =
            SwapIn(places,
                   {Swap::Kind::Migration, places.stage, backup, options.backup != BackupForm::None,
                    FormName(options.backup)},
                   flush);
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

Result MigrateInstallation(Migration migration, const MigrationOptions& options,
                           MigrationReport& report, MigrationProgress* progress) {
    const Job& job = JobOf(migration);
    MigrationProgress silent;
    report = MigrationReport();
    report.started = IsoTime();
    // The run changes its current directory: the files it is given are named from the
    // caller's.
    MigrationOptions run = options;
    std::error_code error;
    for (std::string* file : {&run.plan, &run.apply}) {
        if (!file->empty()) {
            *file = fs::absolute(*file, error).lexically_normal().string();
        }
    }
    Plan plan;
    Result result =
        Guarded([&] { return Migrate(job, run, report, progress ? *progress : silent, plan); });
    report.finished = IsoTime();
    report.outcome = Outcome(result, options.dryRun);
    if (result.status == Status::Done && !run.plan.empty() &&
        !qm::platform::WriteFileAtomic(run.plan, plan.Text(report))) {
        result = {Status::Failed, "cannot write the plan '" + run.plan + "': " + ErrnoText()};
        report.outcome = Outcome(result, options.dryRun);
    }
    return result;
}

namespace {

// Runs `run(job, install, places, recovery, detail)` with the installation locked, once an
// interrupted run was completed or undone, turning every failure into a Result.
template <class F>
Result AfterRecovery(Migration migration, const std::string& given, F run) {
    const Job& job = JobOf(migration);
    return Guarded([&]() -> Result {
        const fs::path install = ResolveInstall(given);
        const Places places = Places::For(install, job.name);
        const InstallationLocks locks(install, job);
        std::string detail;
        const Recovery recovery = Recover(places, detail);
        return run(job, install, places, recovery, detail);
    });
}

}  // namespace

Result RecoverInstallation(Migration migration, const std::string& given) {
    return AfterRecovery(
        migration, given,
        [](const Job&, const fs::path&, const Places&, Recovery recovery,
           const std::string& detail) -> Result {
            if (recovery == Recovery::None) {
                return {Status::NothingToDo, "no interrupted migration to recover"};
            }
            return {Status::Done, detail};
        });
}

Result UndoMigration(Migration migration, const std::string& given) {
    return AfterRecovery(
        migration, given,
        [](const Job& job, const fs::path& install, const Places& places, Recovery,
           const std::string&) -> Result {
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
                    throw Refusal(
                        "'" + shared.file +
                        "' has changed since the migration, and the former installation "
                        "shares it with the live one (--backup=link): it no longer holds "
                        "the former content, so the undo was refused; nothing was changed");
                }
            }
            const fs::path after =
                UniqueName(install.string() + ".after-" + job.target + "." + Timestamp());
            FileSystemFlush flush(record.backup);
            SwapIn(places, {Swap::Kind::Undo, record.backup, after, true, ""}, flush);
            return {Status::Done,
                    "'" + record.backup.string() + "' is back in place as '" + install.string() +
                        "'; the migrated installation is kept as '" + after.string() + "'"};
        });
}

}  // namespace qm::install
