#include <qmsupport/store/time_zone.h>

#include <qmsupport/platform/file_ops.h>

#include "store/local_time_zone.h"
#include "toolsapi/icu_text.h"
#include "toolsapi/no_throw.h"

#include <unicode/ucal.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// "/usr/share/zoneinfo/posix/Europe/Berlin" names Europe/Berlin; text without a zoneinfo
// directory is taken as a zone name as it stands.
std::string ZoneFromPath(std::string path) {
    size_t at = path.find("zoneinfo/");
    if (at != std::string::npos) {
        path.erase(0, at + 9);
        for (const char* variant : {"posix/", "right/"}) {
            if (path.rfind(variant, 0) == 0) {
                path.erase(0, std::char_traits<char>::length(variant));
            }
        }
    }
    return path;
}

// Runs one of ICU's two zone id mappings; empty when ICU knows no answer.
QMWideString ConvertZone(const wchar_t* id,
                         int32_t (*convert)(const UChar*, int32_t, UChar*, int32_t, UErrorCode*)) {
    return qm::detail::NoThrow(QMWideString(), [&] {
        std::u16string in = qm::toolsapi::Utf16FromWide(id);
        UChar result[128];
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = convert(in.data(), static_cast<int32_t>(in.size()), result,
                                 static_cast<int32_t>(sizeof result / sizeof result[0]), &status);
        if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) {
            return QMWideString();
        }
        return QMWideString(qm::toolsapi::WideFromUtf16(result, length));
    });
}

int32_t WindowsToOlson(const UChar* id, int32_t length, UChar* out, int32_t capacity,
                       UErrorCode* status) {
    return ucal_getTimeZoneIDForWindowsID(id, length, nullptr, out, capacity, status);
}

}  // namespace

std::string qm::store::LocalIanaZone(const char* tz, const char* localtimeLink,
                                     const char* timezoneFile) {
    if (tz) {
        if (*tz == ':') {
            ++tz;
        }
        return *tz ? ZoneFromPath(tz) : std::string("UTC");
    }
    std::string target(4096, '\0');
    ssize_t n = readlink(localtimeLink, target.data(), target.size());
    if (n > 0 && static_cast<size_t>(n) < target.size()) {
        target.resize(static_cast<size_t>(n));
        return ZoneFromPath(target);
    }
    std::string text;
    if (qm::platform::ReadFile(timezoneFile, text)) {
        text = text.substr(0, text.find_first_of("\r\n"));
        size_t first = text.find_first_not_of(" \t");
        size_t last = text.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    }
    return std::string();
}

QMWideString Win32TimeZoneToOlsonTimeZone(const wchar_t* windowsName) noexcept {
    if (!windowsName || !*windowsName) {
        return QMWideString();
    }
    return ConvertZone(windowsName, WindowsToOlson);
}

QMWideString LocalWindowsTimeZone() noexcept {
    return qm::detail::NoThrow(QMWideString(), [] {
        std::string zone =
            qm::store::LocalIanaZone(std::getenv("TZ"), "/etc/localtime", "/etc/timezone");
        if (zone.empty()) {
            return QMWideString();
        }
        std::wstring wide(zone.begin(), zone.end());  // zone names are ASCII
        return ConvertZone(wide.c_str(), ucal_getWindowsTimeZoneID);
    });
}
