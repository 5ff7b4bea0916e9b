#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include "setup/setup_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Base64(const std::string& bytes) {
    QMNarrowString out;
    EncodeBase64(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return out.str();
}

std::string SmtpNode(const std::string& password) {
    return "<Smtp Password=\"" + Base64(password) + "\"/>";
}

}  // namespace

TEST(SmtpSetup, NodeWithoutAttributesIsValidAndEmpty) {
    QMTarvioSetup setup;
    auto doc = ParseXml("<Smtp From=\"a@b\" Server=\"s\" User=\"u\" Password=\"YWJj\"/>");
    ASSERT_TRUE(setup.ReadSmtpSetup(&doc->Root()));
    auto empty = ParseXml("<Smtp/>");
    EXPECT_TRUE(setup.ReadSmtpSetup(&empty->Root()));
    EXPECT_TRUE(setup.SmtpValid());
    EXPECT_TRUE(setup.SmtpFrom().IsEmpty());
    EXPECT_TRUE(setup.SmtpServer().IsEmpty());
    EXPECT_TRUE(setup.SmtpUser().IsEmpty());
    EXPECT_TRUE(setup.SmtpPassword().IsEmpty());
    EXPECT_FALSE(setup.SmtpAuthenticated());
}

TEST(SmtpSetup, ReadsEveryFieldAsUtf8) {
    QMTarvioSetup setup;
    auto doc = ParseXml(
        "<Smtp From=\"Jos\xC3\xA9 &lt;jose@plant.example&gt;\" Server=\"smtp.plant.example\""
        " Authenticated=\"T\" User=\"jos\xC3\xA9\" Password=\"YWJj\"/>");
    ASSERT_TRUE(setup.ReadSmtpSetup(&doc->Root()));
    EXPECT_EQ(setup.SmtpFrom(), "Jos\xC3\xA9 <jose@plant.example>");
    EXPECT_EQ(setup.SmtpServer(), "smtp.plant.example");
    EXPECT_TRUE(setup.SmtpAuthenticated());
    EXPECT_EQ(setup.SmtpUser(), "jos\xC3\xA9");
    EXPECT_EQ(setup.SmtpPassword(), "abc");
    EXPECT_TRUE(setup.SmtpValid());

    for (const char* text : {"true", "t", "1", "TRUE"}) {
        auto other = ParseXml(("<Smtp Authenticated=\"" + std::string(text) + "\"/>").c_str());
        setup.ReadSmtpSetup(&other->Root());
        EXPECT_FALSE(setup.SmtpAuthenticated()) << text;
    }
}

TEST(SmtpSetup, NullNodeInvalidatesButKeepsTheFields) {
    QMTarvioSetup setup;
    auto doc = ParseXml("<Smtp Server=\"smtp.plant.example\"/>");
    ASSERT_TRUE(setup.ReadSmtpSetup(&doc->Root()));
    EXPECT_FALSE(setup.ReadSmtpSetup(nullptr));
    EXPECT_FALSE(setup.SmtpValid());
    EXPECT_EQ(setup.SmtpServer(), "smtp.plant.example");
}

TEST(SmtpSetup, PasswordEndsAtZeroAndIsBoundedTo511Bytes) {
    QMTarvioSetup setup;
    auto withZero = ParseXml(SmtpNode(std::string("ab\0cd", 5)).c_str());
    setup.ReadSmtpSetup(&withZero->Root());
    EXPECT_EQ(setup.SmtpPassword(), "ab");

    const std::string exact(511, 'p');
    auto fits = ParseXml(SmtpNode(exact).c_str());
    setup.ReadSmtpSetup(&fits->Root());
    EXPECT_EQ(setup.SmtpPassword().str(), exact);

    std::string longer(512, 'q');
    longer += std::string(4000, 'r');
    auto tooLong = ParseXml(SmtpNode(longer).c_str());
    EXPECT_TRUE(setup.ReadSmtpSetup(&tooLong->Root()));
    EXPECT_EQ(setup.SmtpPassword().str(), std::string(511, 'q'));
    EXPECT_TRUE(setup.SmtpValid());

    // Text that is not Base64 gives whatever the decoder makes of it, within the bound.
    auto garbage = ParseXml(("<Smtp Password=\"" + std::string(3000, '%') + "\"/>").c_str());
    EXPECT_TRUE(setup.ReadSmtpSetup(&garbage->Root()));
    EXPECT_LE(setup.SmtpPassword().Length(), QMTarvioSetup::kMaxSmtpPassword);
}

TEST(RssSetup, ReadsActiveItemsAndUrl) {
    QMTarvioSetup setup;
    auto doc =
        ParseXml("<Rss active=\"T\" items=\"12abc\" url=\"https://feed.example/n?a=1&amp;b=2\"/>");
    ASSERT_TRUE(setup.ReadRssSetup(&doc->Root()));
    EXPECT_TRUE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 12);
    EXPECT_EQ(setup.RssUrl(), L"https://feed.example/n?a=1&b=2");

    auto empty = ParseXml("<Rss active=\"t\"/>");
    ASSERT_TRUE(setup.ReadRssSetup(&empty->Root()));
    EXPECT_FALSE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 0);
    EXPECT_TRUE(setup.RssUrl().IsEmpty());

    const std::pair<const char*, int> items[] = {
        {"abc", 0}, {" 7", 7}, {"-3", -3}, {"+5x", 5}, {"99999999999999999999", INT32_MAX}};
    for (const auto& [text, value] : items) {
        auto other = ParseXml(("<Rss items=\"" + std::string(text) + "\"/>").c_str());
        setup.ReadRssSetup(&other->Root());
        EXPECT_EQ(setup.RssItems(), value) << text;
    }
}

TEST(RssSetup, NullNodeChangesNothing) {
    QMTarvioSetup setup;
    auto doc = ParseXml("<Rss active=\"T\" items=\"4\" url=\"u\"/>");
    ASSERT_TRUE(setup.ReadRssSetup(&doc->Root()));
    EXPECT_FALSE(setup.ReadRssSetup(nullptr));
    EXPECT_TRUE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 4);
    EXPECT_EQ(setup.RssUrl(), L"u");
}
