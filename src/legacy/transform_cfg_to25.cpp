#include <qmsupport/legacy/transform_cfg_to25.h>
#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/legacy/transform_style_to25.h>
#include <qmsupport/platform/file_find.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/xml/cfg_file_reader.h>

#include "legacy/legacy_text.h"

namespace {

using XmlNode = XmlDocument::XmlNode;
using SideFileEvent = QMTransformCfgTo27Observer::SideFileEvent;

// The security document's resources of type "Alarm" belong to events from 2.5 on; two of their
// names changed with them.
QMWideString EventResourceName(const QMWideString& alarmName) {
    if (alarmName == L"View") {
        return QMWideString(L"Notified");
    }
    if (alarmName == L"Historic") {
        return QMWideString(L"Logger");
    }
    return alarmName;
}

}  // namespace

QMTransformCfgTo25::~QMTransformCfgTo25() = default;

void QMTransformCfgTo25::notify(SideFileEvent event, const QMWideString& path) {
    if (observer_ != nullptr) {
        observer_->OnSideFile(event, path, QMWideString());
    }
}

bool QMTransformCfgTo25::transform(XmlDocument& /*configuration*/) {
    if (!QMTarvioSetup::Get().HasScada()) {
        return true;
    }
    transformScadaFiles();
    transformReportFiles();
    transformStyleFiles();
    return true;
}

bool QMTransformCfgTo25::transformScadaFiles() {
    return transformFiles(FileKind::Screen);
}

bool QMTransformCfgTo25::transformReportFiles() {
    return transformFiles(FileKind::Report);
}

bool QMTransformCfgTo25::transformStyleFiles() {
    return transformFiles(FileKind::Style);
}

bool QMTransformCfgTo25::transformFiles(FileKind kind) {
    static constexpr const wchar_t* kPatterns[] = {L"*.xscn", L"*.xrpt", L"*.xsty"};
    QMTransformScadaReportTo25 pageMigration;
    pageMigration.SetObserver(observer_);
    QMTransformStyleTo25 styleMigration;
    XmlDocument document;

    qm::platform::FileFind find;
    if (!find.FindFile(
            (QMTarvioSetup::Get().CfgPath() + kPatterns[static_cast<int>(kind)]).c_str())) {
        return true;
    }
    for (const auto& file : find.Matches()) {
        if (file.isDirectory) {
            continue;
        }
        if (!document.Load(file.path.c_str())) {
            notify(SideFileEvent::Skipped, file.path);
            continue;
        }
        notify(SideFileEvent::Loaded, file.path);
        const bool migrated = kind == FileKind::Style
                                  ? styleMigration.Transform(document)
                                  : pageMigration.Transform(document, kind == FileKind::Screen);
        if (migrated) {
            notify(document.Save() ? SideFileEvent::Rewritten : SideFileEvent::SaveFailed,
                   file.path);
        }
    }
    return true;
}

bool QMTransformCfgTo25::transformSecurityFile() {
    const QMWideString path = QMTarvioSetup::Get().CfgPath() + L"Security.xcfg";
    XmlDocument security;
    if (security.Load(path.c_str())) {
        notify(SideFileEvent::Loaded, path);
    } else if (QMCfgFile2XmlDocument(L"..\\cfg\\security.cfg", path.c_str(), security)) {
        notify(security.Save() ? SideFileEvent::Created : SideFileEvent::SaveFailed, path);
    }
    if (!security.IsOK()) {
        notify(SideFileEvent::Skipped, path);
        return false;
    }
    XmlNode& root = security.Root();
    if (qm::legacy::Decimal(root.Value(L"version", L"")) >= 2.5) {
        return true;
    }
    root.SetValue(L"version", L"2.5");
    qm::legacy::ForEachElement(root.Node(L"/Security/Profiles"), [&](XmlNode* profile) {
        if (profile->Tag() != L"Profile") {
            return;
        }
        qm::legacy::ForEachElement(profile->Node(L"Resources"), [&](XmlNode* resource) {
            if (resource->Tag() != L"Resource" || resource->Value(L"Type", L"") != L"Alarm") {
                return;
            }
            resource->SetValue(L"Type", L"Event");
            const QMWideString oldName = resource->Value(L"Name", L"");
            const QMWideString newName = EventResourceName(oldName);
            if (newName != oldName) {
                resource->SetValue(L"Name", newName.c_str());
            }
            if (observer_ != nullptr) {
                observer_->OnSecurityResourceChanged(path, profile->Value(L"Name", L""), oldName,
                                                     newName);
            }
        });
    });
    notify(security.Save() ? SideFileEvent::Rewritten : SideFileEvent::SaveFailed, path);
    return true;
}
