#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include "setup/setup_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Reads a mail node whose password is the Base64 form of `plain`; returns the password kept.
std::string PasswordOf(QMTarvioSetup& setup, const std::string& plain) {
    QMNarrowString encoded;
    EncodeBase64(encoded, reinterpret_cast<const unsigned char*>(plain.data()), plain.size());
    auto doc = ParseXml(("<Smtp Password=\"" + encoded.str() + "\"/>").c_str());
    EXPECT_TRUE(setup.ReadSmtpSetup(&doc->Root()));
    return setup.SmtpPassword().str();
}

}  // namespace

TEST(SmtpSetup, ReadsEveryFieldAndResetsAbsentOnes) {
    QMTarvioSetup setup;
    auto doc = ParseXml(
        "<Smtp From=\"Jos\xC3\xA9 &lt;jose@plant.example&gt;\" Server=\"smtp.plant.example\""
        " Authenticated=\"T\" User=\"u\" Password=\"YWJj\"/>");
    ASSERT_TRUE(setup.ReadSmtpSetup(&doc->Root()));
    EXPECT_EQ(setup.SmtpFrom(), "Jos\xC3\xA9 <jose@plant.example>");
    EXPECT_EQ(setup.SmtpServer(), "smtp.plant.example");
    EXPECT_TRUE(setup.SmtpAuthenticated());
    EXPECT_EQ(setup.SmtpUser(), "u");
    EXPECT_EQ(setup.SmtpPassword(), "abc");
    EXPECT_TRUE(setup.SmtpValid());

    // A null node invalidates the settings but keeps them.
    EXPECT_FALSE(setup.ReadSmtpSetup(nullptr));
    EXPECT_FALSE(setup.SmtpValid());
    EXPECT_EQ(setup.SmtpServer(), "smtp.plant.example");

    auto empty = ParseXml("<Smtp Authenticated=\"true\"/>");
    EXPECT_TRUE(setup.ReadSmtpSetup(&empty->Root()));
    EXPECT_TRUE(setup.SmtpValid());
    EXPECT_FALSE(setup.SmtpAuthenticated());  // only "T" is true
    EXPECT_TRUE(setup.SmtpFrom().IsEmpty());
    EXPECT_TRUE(setup.SmtpServer().IsEmpty());
    EXPECT_TRUE(setup.SmtpUser().IsEmpty());
    EXPECT_TRUE(setup.SmtpPassword().IsEmpty());
}

TEST(SmtpSetup, PasswordEndsAtZeroAndIsCutTo511Bytes) {
    QMTarvioSetup setup;
    EXPECT_EQ(PasswordOf(setup, std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(PasswordOf(setup, std::string(511, 'p')), std::string(511, 'p'));
    EXPECT_EQ(PasswordOf(setup, std::string(512, 'q') + std::string(4000, 'r')),
              std::string(511, 'q'));

    // Text that is not Base64 gives whatever the decoder makes of it, within the bound.
    auto garbage = ParseXml(("<Smtp Password=\"" + std::string(3000, '%') + "\"/>").c_str());
    EXPECT_TRUE(setup.ReadSmtpSetup(&garbage->Root()));
    EXPECT_LE(setup.SmtpPassword().Length(), QMTarvioSetup::kMaxSmtpPassword);
}

TEST(RssSetup, ReadsActiveItemsAndUrl) {
    QMTarvioSetup setup;
    auto doc =
        ParseXml("<Rss active=\"T\" items=\"12abc\" url=\"https://feed.example/?a&amp;b\"/>");
    ASSERT_TRUE(setup.ReadRssSetup(&doc->Root()));
    EXPECT_TRUE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 12);
    EXPECT_EQ(setup.RssUrl(), L"https://feed.example/?a&b");

    EXPECT_FALSE(setup.ReadRssSetup(nullptr));  // changes nothing
    EXPECT_TRUE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 12);

    auto empty = ParseXml("<Rss active=\"t\"/>");
    ASSERT_TRUE(setup.ReadRssSetup(&empty->Root()));
    EXPECT_FALSE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 0);
    EXPECT_TRUE(setup.RssUrl().IsEmpty());

    const std::pair<const char*, int> items[] = {
        {"abc", 0}, {" 7", 7}, {"-3", -3}, {"99999999999999999999", INT32_MAX}};
    for (const auto& [text, value] : items) {
        auto other = ParseXml(("<Rss items=\"" + std::string(text) + "\"/>").c_str());
        setup.ReadRssSetup(&other->Root());
        EXPECT_EQ(setup.RssItems(), value) << text;
    }
}
