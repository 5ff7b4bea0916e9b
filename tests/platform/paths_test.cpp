#include <qmsupport/platform/app_path.h>
#include <qmsupport/platform/paths.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::wstring Full(const wchar_t* base, const wchar_t* relative) {
    QMWideString out;
    RelativePathToFullPath(base, relative, out);
    return out.str();
}

std::wstring Relative(const wchar_t* directory, const wchar_t* full) {
    QMWideString out;
    PathRelative2PathTo(directory, full, out);
    return out.str();
}

}  // namespace

TEST(Paths, AppPathIsTheProgramDirectory) {
    QMWideString path;
    GetAppPath(path);
    ASSERT_FALSE(path.IsEmpty());
    EXPECT_EQ(path.str().back(), L'/');
    EXPECT_EQ(path.str().find(L'/'), 0u);
    qm::platform::SetAppPath(L"/opt/inst/bin/");
    GetAppPath(path);
    EXPECT_EQ(path, L"/opt/inst/bin/");
    qm::platform::SetAppPath(L"");
    GetAppPath(path);
    EXPECT_EQ(path.str().find(L'/'), 0u);
    EXPECT_NE(path, L"/opt/inst/bin/");
}

TEST(Paths, RelativeAgainstBase) {
    EXPECT_EQ(Full(L"C:\\Inst\\cfg\\", L"..\\images\\a.bmp"), L"C:\\Inst\\images\\a.bmp");
    EXPECT_EQ(Full(L"/opt/inst/cfg/scada/", L"..\\..\\data\\"), L"/opt/inst/data/");
    EXPECT_EQ(Full(L"/opt/inst/cfg", L"./x/./y.xsty"), L"/opt/inst/cfg/x/y.xsty");
    EXPECT_EQ(Full(L"..\\cfg\\", L"scada\\back.bmp"), L"..\\cfg\\scada\\back.bmp");
    EXPECT_EQ(Full(L"..\\cfg\\", L"..\\..\\x"), L"..\\..\\x");  // above a relative start
    EXPECT_EQ(Full(L"/a/", L"../../../x"), L"/x");              // nothing above the root
    EXPECT_EQ(Full(L"C:\\a\\b\\", L".."), L"C:\\a\\");
    EXPECT_EQ(Full(L"a\\", L".."), L"");
    EXPECT_EQ(Full(L"C:\\a\\\\b\\", L""), L"C:\\a\\b\\");
    EXPECT_EQ(Full(L"", L"x/y"), L"x/y");
    EXPECT_EQ(Full(nullptr, nullptr), L"");
    // An absolute path stays as it is.
    EXPECT_EQ(Full(L"/opt/inst/", L"\\\\server\\share\\..\\f"), L"\\\\server\\share\\..\\f");
    EXPECT_EQ(Full(L"/opt/inst/", L"D:\\f"), L"D:\\f");
    EXPECT_EQ(Full(L"/opt/inst/", L"/etc/x"), L"/etc/x");
}

TEST(Paths, RelativeFromDirectory) {
    EXPECT_EQ(Relative(L"C:\\Inst\\cfg\\", L"C:\\Inst\\cfg\\scada\\back.bmp"), L"scada\\back.bmp");
    EXPECT_EQ(Relative(L"C:\\Inst\\cfg\\", L"c:\\inst\\CFG\\back.bmp"), L"back.bmp");  // case
    EXPECT_EQ(Relative(L"Cfg\\", L"cfg\\scada\\back.bmp"), L"scada\\back.bmp");
    EXPECT_EQ(Relative(L"/opt/inst/cfg/", L"/opt/inst/images/a.bmp"), L"../images/a.bmp");
    EXPECT_EQ(Relative(L"/opt/inst/cfg", L"/opt/x/"), L"../../x/");
    EXPECT_EQ(Relative(L"/opt/inst/cfg/", L"/opt/inst/cfg/"), L".");
    EXPECT_EQ(Relative(L"C:\\Inst\\cfg\\", L"D:\\Inst\\back.bmp"), L"D:\\Inst\\back.bmp");
    EXPECT_EQ(Relative(L"..\\cfg\\", L"..\\cfg\\scada\\s.bmp"), L"scada\\s.bmp");
    EXPECT_EQ(Relative(L"..\\cfg\\", L"..\\data\\s.bmp"), L"..\\data\\s.bmp");
    // The way up from ".." would need the current directory: the path stays.
    EXPECT_EQ(Relative(L"..\\..\\cfg\\", L"..\\x.bmp"), L"..\\x.bmp");
    EXPECT_EQ(Relative(L"/opt/a/../b/", L"/opt/b/c"), L"c");

    // Both directions agree.
    QMWideString full;
    RelativePathToFullPath(L"/opt/inst/cfg/",
                           Relative(L"/opt/inst/cfg/", L"/opt/img/a.png").c_str(), full);
    EXPECT_EQ(full, L"/opt/img/a.png");
}

TEST(Paths, CreateDirectoryMakesEveryMissingLevel) {
    TempDir dir;
    const std::wstring target = dir.WidePath("a/b") + L"\\file.dat";
    ASSERT_TRUE(CreateDirectoryW(target.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("a/b")));
    EXPECT_FALSE(dir.Exists("a/b/file.dat"));
    EXPECT_TRUE(CreateDirectoryW(target.c_str()));  // already there
}
