#include <qmsupport/store/resource_chain.h>
#include <qmsupport/store/resources.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

using qm::platform::ResourceChain;

TEST(ResourceChain, TheLibrarysOwnModuleIsInTheChainFromLoad) {
    EXPECT_EQ(ResourceChain::ModuleCount(), 1u);
    EXPECT_FALSE(ResourceChain::FindString(1).has_value());
    EXPECT_FALSE(ResourceChain::FindBitmap(1).has_value());
}

TEST(ResourceChain, LaterModulesComeFirstAndRemovalUncoversEarlierOnes) {
    TempDir dir;
    dir.MakeDirectory("base/bitmaps");
    dir.MakeDirectory("base/icons");
    dir.WriteText("base/strings.xml",
                  "<?xml version=\"1.0\"?>\n<strings><s id=\"120\">Base &amp; more</s>"
                  "<s id=\"121\">Only base</s><s id=\"x\">skipped</s><s>no id</s></strings>");
    dir.WriteText("base/bitmaps/7.png", "png");
    dir.WriteText("base/bitmaps/8.bmp", "bmp");
    dir.WriteText("base/icons/7.png", "icon");
    dir.MakeDirectory("host/Bitmaps");
    dir.WriteText("host/strings.xml",
                  "<strings><s id=\"120\">H\xC3\xB6st</s><s id=\"4294967295\">max</s></strings>");
    dir.WriteText("host/Bitmaps/7.BMP", "bmp");

    const size_t before = ResourceChain::ModuleCount();
    int base = ResourceChain::AddModule(dir.Path("base"));
    int host = ResourceChain::AddModule(dir.Path("host/"));
    ASSERT_GE(base, 0);
    ASSERT_GE(host, 0);
    EXPECT_NE(base, host);
    EXPECT_EQ(ResourceChain::ModuleCount(), before + 2);

    EXPECT_EQ(ResourceChain::FindString(120), L"H\u00f6st");
    EXPECT_EQ(ResourceChain::FindString(121), L"Only base");
    EXPECT_EQ(ResourceChain::FindString(4294967295u), L"max");
    EXPECT_FALSE(ResourceChain::FindString(0).has_value());
    EXPECT_EQ(ResourceChain::FindBitmap(7), dir.Path("host/Bitmaps/7.BMP"));
    EXPECT_EQ(ResourceChain::FindBitmap(8), dir.Path("base/bitmaps/8.bmp"));
    EXPECT_EQ(ResourceChain::FindIcon(7), dir.Path("base/icons/7.png"));
    EXPECT_FALSE(ResourceChain::FindIcon(8).has_value());

    ResourceChain::RemoveModule(host);
    EXPECT_EQ(ResourceChain::FindString(120), L"Base & more");
    EXPECT_EQ(ResourceChain::FindBitmap(7), dir.Path("base/bitmaps/7.png"));
    ResourceChain::RemoveModule(host);  // a second removal changes nothing
    ResourceChain::RemoveModule(base);
    EXPECT_EQ(ResourceChain::ModuleCount(), before);
    EXPECT_FALSE(ResourceChain::FindString(121).has_value());
}

TEST(ResourceChain, RefusesUnreadableModules) {
    TempDir dir;
    dir.WriteText("file", "x");
    dir.MakeDirectory("broken");
    dir.WriteText("broken/strings.xml", "<strings><s id=\"1\">unclosed</strings>");
    const size_t before = ResourceChain::ModuleCount();
    EXPECT_EQ(ResourceChain::AddModule(dir.Path("missing")), -1);
    EXPECT_EQ(ResourceChain::AddModule(dir.Path("file")), -1);
    EXPECT_EQ(ResourceChain::AddModule(dir.Path("broken")), -1);
    EXPECT_EQ(ResourceChain::AddModule(""), -1);
    EXPECT_EQ(ResourceChain::ModuleCount(), before);
}

TEST(Resources, LoadStringWalksTheChain) {
    TempDir dir;
    dir.WriteText("strings.xml",
                  "<strings><s id=\"4711\">Z\xC3\xA4hler %d</s><s id=\"0\">zero</s></strings>");
    int handle = ResourceChain::AddModule(dir.Path());
    ASSERT_GE(handle, 0);

    QMWideString text(L"stale");
    EXPECT_TRUE(QMLoadString(4711, text));
    EXPECT_EQ(text, L"Z\u00E4hler %d");
    EXPECT_TRUE(QMLoadString(0, text));
    EXPECT_EQ(text, L"zero");
    EXPECT_FALSE(QMLoadString(4712, text));
    EXPECT_TRUE(text.IsEmpty());

    ResourceChain::RemoveModule(handle);
    EXPECT_FALSE(QMLoadString(4711, text));
}
