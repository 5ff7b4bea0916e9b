#pragma once

// What the 2.7 migration knows of the installation it works on, for the service that runs it
// on a whole installation: the version it writes, the files it creates or always saves, where
// the history files are, and when a configuration counts as migrated.

#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <string>
#include <string_view>
#include <vector>

namespace qm::migrate27 {

// The version that the migration writes, and from which a file counts as migrated.
inline constexpr double kVersion = 2.7;
inline constexpr const wchar_t* kVersionText = L"2.7";

// The calculated variables, in the configuration folder.
inline constexpr const wchar_t* kCalculatedVariablesFile = L"default.xcal";

// The side files that a SCADA installation holds in its configuration folder.
inline constexpr const wchar_t* kStylePattern = L"*.xsty";
inline constexpr const wchar_t* kScreenPattern = L"*.xscn";
inline constexpr const wchar_t* kReportPattern = L"*.xrpt";
inline constexpr const wchar_t* kEventFile = L"default.xeve";
inline constexpr const wchar_t* kSecurityFile = L"Security.xcfg";

// How many threads rewrite the screens, reports and styles at once: one per processor unless
// set; 0 restores that. The result is the same with any number.
unsigned SideFileThreads();
void SetSideFileThreads(unsigned count);

// The "version" of a document's root, as a number; 0 when it has none.
double VersionOf(const XmlDocument::XmlNode& root);

// Whether the main configuration is in the 2.7 layout already: its root says version 2.7 or
// later, or its communication system holds no connections or devices. `why` says which.
bool IsMigrated(const XmlDocument& cfg, std::string& why);

// Marks the main configuration as migrated, once the host has migrated it.
void StampVersion(XmlDocument& cfg);

// A device whose history files the migration moves, and the folder (STDPath) where they are,
// relative to the program folder.
struct HistoryFolder {
    QMWideString device;
    QMWideString path;
};
std::vector<HistoryFolder> HistoryFolders(const XmlDocument& cfg);

// Why the dated-file pass leaves a file of a history folder where it is, or null when it
// moves it into the folder of `year` and `month`: a title ending with month, one separator
// and a four-digit year moves, except device data files (.dat) and event history (Events*.eve).
const char* WhyDataFileStays(std::wstring_view name, std::wstring_view title, int& year,
                             int& month);

// Whether the configuration has virtual devices, which become calculated variables.
bool HasVirtualDevices(const XmlDocument& cfg);

}  // namespace qm::migrate27
