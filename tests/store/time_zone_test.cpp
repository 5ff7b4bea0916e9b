#include <qmsupport/store/time_zone.h>

#include "common/scoped_env.h"
#include "store/local_time_zone.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

TEST(TimeZone, WindowsNamesMapToOlson) {
    EXPECT_EQ(Win32TimeZoneToOlsonTimeZone(L"W. Europe Standard Time"), L"Europe/Berlin");
    EXPECT_EQ(Win32TimeZoneToOlsonTimeZone(L"Eastern Standard Time"), L"America/New_York");
    EXPECT_EQ(Win32TimeZoneToOlsonTimeZone(L"UTC"), L"Etc/UTC");
    EXPECT_TRUE(Win32TimeZoneToOlsonTimeZone(L"Nowhere Standard Time").IsEmpty());
    EXPECT_TRUE(Win32TimeZoneToOlsonTimeZone(L"").IsEmpty());
    EXPECT_TRUE(Win32TimeZoneToOlsonTimeZone(nullptr).IsEmpty());
    std::wstring huge(100000, L'x');
    EXPECT_TRUE(Win32TimeZoneToOlsonTimeZone(huge.c_str()).IsEmpty());
}

TEST(TimeZone, LocalZoneFromTz) {
    ScopedEnv tz("TZ", ":Europe/Berlin");
    EXPECT_EQ(LocalWindowsTimeZone(), L"W. Europe Standard Time");
    setenv("TZ", "/usr/share/zoneinfo/Asia/Calcutta", 1);  // an alias, by path
    EXPECT_EQ(LocalWindowsTimeZone(), L"India Standard Time");
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // a POSIX rule names no zone
    EXPECT_TRUE(LocalWindowsTimeZone().IsEmpty());
    setenv("TZ", "", 1);
    EXPECT_EQ(LocalWindowsTimeZone(), L"UTC");
}

TEST(TimeZone, LocalZoneFromSystemFiles) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("qm_tz_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path link = dir / "localtime";
    fs::path file = dir / "timezone";
    std::string linkPath = link.string(), filePath = file.string();

    EXPECT_EQ(qm::store::LocalIanaZone(nullptr, linkPath.c_str(), filePath.c_str()), "");
    std::ofstream(file) << "  America/Sao_Paulo \n# comment\n";
    EXPECT_EQ(qm::store::LocalIanaZone(nullptr, linkPath.c_str(), filePath.c_str()),
              "America/Sao_Paulo");
    fs::create_symlink("../usr/share/zoneinfo/posix/Europe/Madrid", link);
    EXPECT_EQ(qm::store::LocalIanaZone(nullptr, linkPath.c_str(), filePath.c_str()),
              "Europe/Madrid");
    EXPECT_EQ(qm::store::LocalIanaZone("Asia/Tokyo", linkPath.c_str(), filePath.c_str()),
              "Asia/Tokyo");
    fs::remove_all(dir);
}
