#include "migrate27/layout27.h"

#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/numbers.h>

#include "text/history_layout.h"

namespace qm::migrate27 {

using XmlNode = XmlDocument::XmlNode;

// Missing or non-numeric text reads as 0. Read without regard to the process locale, since
// the files always use a point.
double VersionOf(const XmlNode& root) {
    return qm::ReadDecimal(root.Value(L"version", L"").view());
}

bool IsMigrated(const XmlDocument& cfg, std::string& why) {
    if (VersionOf(cfg.Root()) >= kVersion) {
        QMNarrowString version;
        Utf16ToUtf8(version, cfg.Root().Value(L"version", L"").c_str());
        why = "its version is " + version.str();
        return true;
    }
    const XmlNode* comm = cfg.Node(L"CommSystem");
    if (comm == nullptr) {
        why = "it has no CommSystem";
        return true;
    }
    if (comm->Node(L"Connections") == nullptr && comm->Node(L"Devices") == nullptr) {
        why = "its CommSystem holds no Connections or Devices";
        return true;
    }
    return false;
}

void StampVersion(XmlDocument& cfg) {
    cfg.Root().SetValue(L"version", kVersionText);
}

std::vector<HistoryFolder> HistoryFolders(const XmlDocument& cfg) {
    std::vector<HistoryFolder> folders;
    const XmlNode* devices = cfg.Node(L"CommSystem/Devices");
    if (devices == nullptr) {
        return folders;
    }
    for (auto it = devices->ChildsBegin(); it != devices->ChildsEnd(); ++it) {
        const XmlNode& device = **it;
        const QMWideString path = device.Value(L"STDPath", L"");
        if (device.IsKey() || path.IsEmpty() || device.Value(L"Driver", L"") == L"VIRTUAL") {
            continue;
        }
        folders.push_back({device.Value(L"Id", L""), path});
    }
    return folders;
}

const char* WhyDataFileStays(std::wstring_view name, std::wstring_view title, int& year,
                             int& month) {
    const auto endsWith = [name](std::wstring_view tail) {
        return name.size() >= tail.size() && name.substr(name.size() - tail.size()) == tail;
    };
    if (endsWith(L".dat")) {
        return "a device data file (.dat), which stays where it is";
    }
    if (endsWith(L".eve") && name.substr(0, 6) == L"Events") {
        return "an event history file, which stays where it is";
    }
    if (!qm::text::DateOfTitle(title, year, month)) {
        return "its name does not end with a month and a year, so it belongs to no month";
    }
    return nullptr;
}

bool HasVirtualDevices(const XmlDocument& cfg) {
    const XmlNode* devices = cfg.Node(L"CommSystem/Devices");
    return devices != nullptr && devices->Node(L"Device?Driver=VIRTUAL?") != nullptr;
}

}  // namespace qm::migrate27
