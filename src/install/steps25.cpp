#include "install/steps25.h"

#include "migrate27/layout27.h"

#include <qmsupport/legacy/transform_alarm_cfg_to_event_xml.h>
#include <qmsupport/legacy/transform_cfg_to25.h>
#include <qmsupport/legacy/transform_scada_cfg_to_xml.h>
#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/xml/cfg_file_reader.h>

#include <sys/stat.h>

#include <algorithm>

namespace qm::install {

namespace {

using XmlNode = XmlDocument::XmlNode;

constexpr double kVersion25 = 2.5;

// The element children of `node` with the given tag, in document order.
std::vector<const XmlNode*> Children(const XmlNode* node, const wchar_t* tag) {
    std::vector<const XmlNode*> children;
    if (node == nullptr) {
        return children;
    }
    for (auto it = node->ChildsBegin(); it != node->ChildsEnd(); ++it) {
        if (!(*it)->IsKey() && (*it)->Tag() == tag) {
            children.push_back(*it);
        }
    }
    return children;
}

// Reads a legacy configuration file; throws a Refusal naming it when it cannot be read.
void ReadLegacyFile(const fs::path& file, XmlDocument& tree, const char* what) {
    if (!QMCfgFile2XmlDocument(Wide(file.string()).c_str(), L"", tree)) {
        throw Refusal("cannot read the " + std::string(what) + " '" + file.string() +
                      "': it is missing or not a legacy configuration file");
    }
}

// The base name of a legacy "File" entry, which may name folders with either separator.
std::string BaseName(QMWideString file) {
    std::string text = Utf8(file);
    std::replace(text.begin(), text.end(), '\\', '/');
    return fs::path(text).stem().string();
}

// The file of `folder` named `name` in any case, when there is one.
bool HasFile(const fs::path& folder, const std::string& name) {
    std::error_code error;
    return fs::is_regular_file(qm::platform::NativePath((folder / name).string()), error);
}

}  // namespace

fs::path LegacyApplicationFile(const fs::path& install) {
    return qm::platform::NativePath((install / "cfg/scada/default.apl").string());
}

void CheckLegacyScreensNotConverted(const fs::path& application, const fs::path& cfg) {
    XmlDocument tree;
    ReadLegacyFile(application, tree, "legacy SCADA application file");
    static const struct {
        const wchar_t* list;
        const char* extension;
        const char* kind;
    } kinds[] = {{L"Screens", ".xscn", "screen"}, {L"Styles", ".xsty", "style"}};
    for (const auto& kind : kinds) {
        const XmlNode* list = tree.Node(kind.list);
        for (auto it = list ? list->ChildsBegin() : nullptr;
             list != nullptr && it != list->ChildsEnd(); ++it) {
            const QMWideString file = (*it)->Value(L"File", L"");
            if ((*it)->IsKey() || file.IsEmpty()) {
                continue;
            }
            const std::string name = BaseName(file) + kind.extension;
            if (HasFile(cfg, name)) {
                throw Refusal("the legacy " + std::string(kind.kind) + " '" + Utf8(file) +
                              "' was converted before: '" + name +
                              "' exists in the configuration folder; converting it again "
                              "would overwrite it (--force converts it again)");
            }
        }
    }
}

void CheckAlarmsNotConverted(const fs::path& alarms, const fs::path& cfg) {
    XmlDocument tree;
    ReadLegacyFile(alarms, tree, "legacy alarm file");
    XmlDocument events;
    if (!events.Load(Wide(qm::platform::NativePath((cfg / "default.xeve").string())).c_str())) {
        return;
    }
    const auto eventList = Children(events.Node(L"events"), L"event");
    for (const XmlNode* alarm : Children(tree.Node(L"Alarms"), L"Alarm")) {
        const QMWideString name = alarm->Value(L"ShortText", L"");
        for (const XmlNode* event : eventList) {
            if (!name.IsEmpty() && event->Value(L"name", L"") == name) {
                throw Refusal("the legacy alarm '" + Utf8(name) +
                              "' was converted before: the events file default.xeve holds an "
                              "event of that name; converting it again would add a second one "
                              "(--force converts it again)");
            }
        }
    }
}

bool Needs25(const fs::path& cfg, const fs::path& workingDirectory, bool security,
             std::string& why) {
    XmlDocument document;
    for (const wchar_t* pattern : {qm::migrate27::kScreenPattern, qm::migrate27::kReportPattern,
                                   qm::migrate27::kStylePattern}) {
        qm::platform::FileFind find;
        if (!find.FindFile((Wide(cfg.string() + "/") + pattern).c_str())) {
            continue;
        }
        // A pre-2.5 installation usually shows it in its first file, so this stops early.
        for (const auto& match : find.Matches()) {
            if (document.Load(match.path.c_str()) &&
                qm::migrate27::VersionOf(document.Root()) < kVersion25) {
                why = Utf8(match.name) + " is in a layout before 2.5";
                return true;
            }
        }
    }
    if (!security) {
        return false;
    }
    if (document.Load(Wide(cfg.string() + "/").Append(qm::migrate27::kSecurityFile).c_str())) {
        if (qm::migrate27::VersionOf(document.Root()) < kVersion25) {
            why = "the security file is in a layout before 2.5";
            return true;
        }
        return false;
    }
    std::error_code error;
    if (fs::exists(qm::platform::NativePath((workingDirectory / "../cfg/security.cfg").string()),
                   error)) {
        why = "only the legacy security file cfg/security.cfg exists";
        return true;
    }
    return false;
}

FileSnapshot::FileSnapshot(const std::vector<fs::path>& folders) {
    for (const fs::path& folder : folders) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            struct stat st;
            if (lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                files_[it->path()] = {
                    st.st_ino,
                    static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
            }
        }
    }
}

void FileSnapshot::ReportChangesSince(const FileSnapshot& before, const fs::path& stage,
                                      MigrationReport& report) const {
    for (const auto& [file, stamp] : files_) {
        const auto old = before.files_.find(file);
        if (old != before.files_.end() && old->second == stamp) {
            continue;
        }
        const std::string name = file.lexically_relative(stage).generic_string();
        auto& list = old == before.files_.end() ? report.created : report.rewritten;
        if (std::find(list.begin(), list.end(), name) == list.end()) {
            list.push_back(name);
        }
    }
}

void RunSteps25(XmlDocument& cfg, const Steps25& steps, ReportObserver& observer,
                MigrationReport& report) {
    if (steps.legacyScreens) {
        QMTransformScadaCfgToXml screens;
        if (!screens.ScadaQMCfgFile2Xml(&cfg.Root())) {
            throw Failure("cannot read the legacy SCADA application file cfg/scada/default.apl");
        }
        if (!cfg.Save()) {
            throw Failure("cannot save the main configuration with its start screen: " +
                          ErrnoText());
        }
        report.steps.push_back("legacy screens");
    }
    if (!steps.alarms.empty()) {
        XmlDocument tree;
        if (!QMCfgFile2XmlDocument(Wide(steps.alarms.string()).c_str(), L"", tree)) {
            throw Failure("cannot read the legacy alarm file '" + steps.alarms.string() + "'");
        }
        QMTransformAlarmCfgToEventXml alarms;
        alarms.AlarmQMCfgFile2EventsXml(&tree.Root());
        report.steps.push_back("legacy alarms");
    }
    QMTransformCfgTo25 transform;
    transform.SetObserver(&observer);
    transform.transform(cfg);
    report.steps.push_back("2.5");
    // An installation without users' profiles has no security file of either form.
    const bool hasSecurity =
        qm::platform::FileExists(
            (QMTarvioSetup::Get().CfgPath() + qm::migrate27::kSecurityFile).c_str()) ||
        qm::platform::FileExists(L"..\\cfg\\security.cfg");
    if (steps.security && hasSecurity) {
        if (transform.transformSecurityFile()) {
            report.steps.push_back("security");
        } else {
            report.skipped.push_back(
                {"Cfg/Security.xcfg",
                 "neither it nor the legacy cfg/security.cfg could be read; the security file "
                 "was not migrated"});
        }
    }
}

}  // namespace qm::install
