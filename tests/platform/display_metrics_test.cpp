#include <qmsupport/platform/display_metrics.h>

#include <gtest/gtest.h>

#include <cstdlib>

using qm::platform::DisplayMetrics;

TEST(DisplayMetrics, ParsesTheEnvironmentForm) {
    DisplayMetrics m;
    ASSERT_TRUE(DisplayMetrics::Parse("1280x1024@338.7x270.95mm/120", m));
    EXPECT_EQ(m.widthPixels, 1280);
    EXPECT_EQ(m.heightPixels, 1024);
    EXPECT_DOUBLE_EQ(m.widthMillimetres, 338.7);
    EXPECT_DOUBLE_EQ(m.heightMillimetres, 270.95);
    EXPECT_EQ(m.logicalPixelsPerInch, 120);
}

TEST(DisplayMetrics, RejectsAnythingElseAndKeepsTheOutput) {
    DisplayMetrics m;
    m.widthPixels = 7;
    for (const char* bad :
         {"", "1920x1080", "1920x1080@381x214mm", "1920x1080@381x214mm/96 ",
          " 1920x1080@381x214mm/96", "1920X1080@381x214mm/96", "0x1080@381x214mm/96",
          "-1920x1080@381x214mm/96", "1920x1080@nanx214mm/96", "1920x1080@infx214mm/96",
          "1920x1080@381x214cm/96", "1920x1080@381x214mm/96.5", "99999999999x1080@381x214mm/96",
          "1920x1080@381x214mm/0"}) {
        EXPECT_FALSE(DisplayMetrics::Parse(bad, m)) << bad;
    }
    EXPECT_FALSE(DisplayMetrics::Parse(nullptr, m));
    EXPECT_EQ(m.widthPixels, 7);
}

TEST(DisplayMetrics, SetAndEnvironment) {
    const DisplayMetrics saved = DisplayMetrics::Current();
    DisplayMetrics set;
    set.logicalPixelsPerInch = 144;
    DisplayMetrics::Set(set);
    EXPECT_EQ(DisplayMetrics::Current().logicalPixelsPerInch, 144);
    DisplayMetrics::Set(saved);

    // The environment is read once, by the first use in a process: a fresh one shows it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("QMSUPPORT_DISPLAY", "1024x768@270x203mm/72", 1);
    EXPECT_EXIT(std::exit(DisplayMetrics::Current().widthPixels == 1024 &&
                                  DisplayMetrics::Current().logicalPixelsPerInch == 72
                              ? 0
                              : 1),
                ::testing::ExitedWithCode(0), "");
    setenv("QMSUPPORT_DISPLAY", "garbage", 1);
    EXPECT_EXIT(std::exit(DisplayMetrics::Current().widthPixels == 1920 ? 0 : 1),
                ::testing::ExitedWithCode(0), "");
    unsetenv("QMSUPPORT_DISPLAY");
}
