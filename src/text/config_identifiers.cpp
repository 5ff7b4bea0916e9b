#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/text/config_identifiers.h>
#include <qmsupport/text/file_name.h>
#include <qmsupport/toolsapi/date_time.h>

#include "text/history_layout.h"

#include <string>

namespace {

enum class Half { Identifier, Name };

// Searches the configuration directory for `pattern` and hands back one half of the first
// match's title (identifier "." name).
bool LookUp(const QMWideString& pattern, Half wanted, QMWideString& out) {
    qm::platform::FileFind find;
    if (!find.FindFile((QMTarvioSetup::Get().CfgPath() + pattern).c_str()) ||
        !find.FindNextFile()) {
        return false;
    }
    QMWideString identifier;
    QMWideString name;
    SplitFileName(find.Current().title, identifier, name);
    out = wanted == Half::Identifier ? identifier : name;
    return true;
}

bool Id2Name(const QMWideString& id, const wchar_t* extension, QMWideString& name) {
    return LookUp(id + L".*" + extension, Half::Name, name);
}

bool Name2Id(const QMWideString& name, const wchar_t* extension, QMWideString& id) {
    return LookUp(L"*." + name + extension, Half::Identifier, id);
}

// Each piece of a data file's path was formatted into 256 characters; the file name pattern
// adds ten characters and the terminator to the device name.
constexpr size_t kPieceSize = 256;
constexpr size_t kLongestDeviceName = kPieceSize - 11;
constexpr int kFirstYear = 2000;

}  // namespace

bool ReportId2Name(const QMWideString& id, QMWideString& name) {
    return Id2Name(id, L".XRPT", name);
}
bool ReportName2Id(const QMWideString& name, QMWideString& id) {
    return Name2Id(name, L".XRPT", id);
}
bool ScreenId2Name(const QMWideString& id, QMWideString& name) {
    return Id2Name(id, L".XSCN", name);
}
bool ScreenName2Id(const QMWideString& name, QMWideString& id) {
    return Name2Id(name, L".XSCN", id);
}
bool StyleId2Name(const QMWideString& id, QMWideString& name) {
    return Id2Name(id, L".XSTY", name);
}
bool StyleName2Id(const QMWideString& name, QMWideString& id) {
    return Name2Id(name, L".XSTY", id);
}

bool RenameDeviceFilesDataName(const XmlDocument::XmlNode* device, const wchar_t* newName) {
    if (device == nullptr) {
        return true;
    }
    QMWideString base = device->Value(L"STDPath", L"");
    if (base.IsEmpty()) {
        base = QMTarvioSetup::Get().DataPath();
    }
    const QMWideString oldName = device->Value(L"Name", L"");
    const QMWideString target(newName);
    const QMDateTime now = QMDateTime::UTC();
    if (now.Year() < kFirstYear || oldName.Length() > kLongestDeviceName) {
        return true;
    }
    bool failed = false;
    for (int year = now.Year(); year >= kFirstYear; --year) {
        qm::platform::FileFind yearEntries;
        if (!yearEntries.FindFile((base + qm::text::YearFolder(year) + L"\\*.*").c_str())) {
            continue;
        }
        for (int month = year == now.Year() ? now.Month() : 12; month >= 1; --month) {
            const QMWideString directory = base + qm::text::MonthFolder(year, month);
            const QMWideString pattern = qm::text::MonthFilesPattern(oldName, year, month);
            qm::platform::FileFind files;
            if (!files.FindFile((directory + pattern).c_str())) {
                continue;
            }
            for (const auto& file : files.Matches()) {
                const std::wstring& fileName = file.name.str();
                const std::wstring suffix = fileName.size() > oldName.Length()
                                                ? fileName.substr(oldName.Length())
                                                : std::wstring();
                const QMWideString from = directory + file.name;
                const QMWideString to = directory + target + QMWideString(suffix);
                if (qm::platform::RenameFile(from.c_str(), to.c_str()) != 0 &&
                    qm::platform::FileExists(from.c_str())) {
                    failed = true;
                }
            }
        }
    }
    return !failed;
}
