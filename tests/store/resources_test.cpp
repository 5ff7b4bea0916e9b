#include <qmsupport/store/resources.h>

#include <qmsupport/store/resource_chain.h>

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

TEST(Resources, LoadStringWalksTheChain) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("qm_res_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "strings.xml")
        << "<strings><s id=\"4711\">Z\xC3\xA4hler %d</s><s id=\"0\">zero</s></strings>";
    int handle = qm::platform::ResourceChain::AddModule(dir.string());
    ASSERT_GE(handle, 0);

    QMWideString text(L"stale");
    EXPECT_TRUE(QMLoadString(4711, text));
    EXPECT_EQ(text, L"Z\u00E4hler %d");
    EXPECT_TRUE(QMLoadString(0, text));
    EXPECT_EQ(text, L"zero");
    EXPECT_FALSE(QMLoadString(4712, text));
    EXPECT_TRUE(text.IsEmpty());

    qm::platform::ResourceChain::RemoveModule(handle);
    EXPECT_FALSE(QMLoadString(4711, text));
    fs::remove_all(dir);
}
