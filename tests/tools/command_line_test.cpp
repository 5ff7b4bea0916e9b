// The conventions that every command of the qmsupport program shares: --version, help
// COMMAND, --option=VALUE and one-line usage errors.

#include "common/run_program.h"

#include <qmsupport/version.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::Eq;
using ::testing::HasSubstr;

// Runs the program in a fresh temporary folder.
ProgramResult Qmsupport(std::vector<std::string> args) {
    TempDir dir;
    return RunProgram(dir, QMSUPPORT_TOOL, std::move(args));
}

TEST(CommandLine, VersionIsTheProjectsRelease) {
    EXPECT_STREQ(qm::Version(), QMSUPPORT_PROJECT_VERSION);
    const ProgramResult result = Qmsupport({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string("qmsupport ") + QMSUPPORT_PROJECT_VERSION + "\n");
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, HelpCommandPrintsThatCommandsHelp) {
    for (const std::string command : {"drivers", "varname", "render-text", "migrate27"}) {
        const ProgramResult viaHelp = Qmsupport({"help", command});
        const ProgramResult viaOption = Qmsupport({command, "--help"});
        EXPECT_EQ(viaHelp.status, 0) << command;
        EXPECT_EQ(viaHelp.out.rfind("usage: qmsupport " + command + " ", 0), 0u) << viaHelp.out;
        EXPECT_EQ(viaHelp.out, viaOption.out) << command;
        EXPECT_EQ(viaHelp.err, "") << command;
    }
    const ProgramResult list = Qmsupport({"help"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, Qmsupport({"--help"}).out);
    for (const std::string command : {"drivers", "help", "migrate27", "render-text", "varname"}) {
        EXPECT_NE(list.out.find("\n  " + command + " "), std::string::npos) << command;
    }
}

// The first line on stderr names the command, and the second line points to its help.
TEST(CommandLine, UsageErrorIsOneLineAndAHint) {
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{}, "qmsupport: no command given"},
        {{"frobnicate"}, "qmsupport: unknown command 'frobnicate'"},
        {{"--verbose"}, "qmsupport: unknown option '--verbose'"},
        {{"help", "frobnicate"}, "qmsupport: unknown command 'frobnicate'"},
        {{"help", "drivers", "varname"}, "qmsupport help: give one command, not also 'varname'"},
        {{"drivers", "--bogus"}, "qmsupport drivers: unknown option '--bogus'"},
        {{"drivers", "--json=yes"}, "qmsupport drivers: --json takes no value"},
        {{"drivers", "--version=ten"},
         "qmsupport drivers: --version needs a number from 0 to 0xFFFFFFFF, not 'ten'"},
        {{"drivers", "--drivers-setup="}, "qmsupport drivers: --drivers-setup needs a file name"},
        {{"drivers", "--features-dir", "."},
         "qmsupport drivers: --features-dir is only read together with --drivers-setup"},
        {{"drivers", "extra"}, "qmsupport drivers: unexpected argument 'extra'"},
        {{"varname"}, "qmsupport varname: missing FUNCTION"},
        {{"varname", "JoinVarName", "1", "2"},
         "qmsupport varname: JoinVarName takes CODE KIND PHASE TARIFF"},
        {{"varname", "JoinVarName", "1", "2", "3", "maybe"},
         "qmsupport varname: 'maybe' is not true or false"},
        {{"varname", "--name"}, "qmsupport varname: --name needs a text"},
        {{"render-text"}, "qmsupport render-text: missing TEXT"},
        {{"render-text", "-x"}, "qmsupport render-text: unknown option '-x'"},
        {{"render-text", "a", "b"}, "qmsupport render-text: give exactly one TEXT"},
        {{"render-text", "--locale"}, "qmsupport render-text: --locale needs a locale name"},
        {{"migrate27"}, "qmsupport migrate27: no installation folder given"},
        {{"migrate27", "plant", "--backup=hard"},
         "qmsupport migrate27: --backup takes copy or link, not 'hard'"},
        {{"migrate27", "plant", "--report="}, "qmsupport migrate27: --report needs a file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const ProgramResult result = Qmsupport(c.args);
        EXPECT_EQ(result.status, 2);
        const std::string command = c.line.substr(0, c.line.find(':'));
        EXPECT_EQ(result.err, c.line + "\nTry '" + command + " --help'.\n");
        EXPECT_EQ(result.out, "");
    }
}

// Each pair gives the same values, once after "=" and once as the next argument; the
// output shows that they were read, not skipped.
TEST(CommandLine, ValueAfterEqualsSignOrAsNextArgument) {
    const struct {
        std::vector<std::string> joined, separate;
        ::testing::Matcher<std::string> out;
    } cases[] = {
        {{"drivers", "--version=0x01000000", "--json"},
         {"drivers", "--json", "--version", "0x01000000"},
         HasSubstr("\"scada\": true")},
        {{"varname", "--name=KEEP", "JoinAlarmVarName", "7", "-1"},
         {"varname", "JoinAlarmVarName", "--name", "KEEP", "7", "-1"},
         Eq("KEEP\n")},
        // The decimal comma shows that the locale was read.
        {{"render-text", "--locale=de_DE", "<textValue value=\"1234.5\" decimals=\"2\"/>"},
         {"render-text", "--locale", "de_DE", "--", "<textValue value=\"1234.5\" decimals=\"2\"/>"},
         Eq("1234,5\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.joined[0]);
        const ProgramResult joined = Qmsupport(c.joined);
        EXPECT_EQ(joined.status, 0) << joined.err;
        EXPECT_THAT(joined.out, c.out);
        EXPECT_EQ(joined.out, Qmsupport(c.separate).out);
    }
}

TEST(CommandLine, DoubleDashMakesTheRestOperands) {
    EXPECT_EQ(Qmsupport({"render-text", "--", "--locale"}).status, 0);
    // After "--" even --help is an operand: a second TEXT here.
    EXPECT_EQ(Qmsupport({"render-text", "--", "a", "--help"}).status, 2);
}

}  // namespace
