// The conventions that every command of the qmsupport program shares: --version, help
// COMMAND, --option=VALUE and one-line usage errors.

#include "common/run_program.h"

#include <qmsupport/version.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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

TEST(CommandLine, UsageErrorIsOneLineAndAHint) {
    struct Case {
        std::vector<std::string> args;
        std::string line;  // the first line on stderr
        std::string hint;  // whose help the second line names
    };
    const Case cases[] = {
        {{}, "qmsupport: no command given", "qmsupport"},
        {{"frobnicate"}, "qmsupport: unknown command 'frobnicate'", "qmsupport"},
        {{"--verbose"}, "qmsupport: unknown option '--verbose'", "qmsupport"},
        {{"help", "frobnicate"}, "qmsupport: unknown command 'frobnicate'", "qmsupport"},
        {{"help", "drivers", "varname"},
         "qmsupport help: give one command, not also 'varname'",
         "qmsupport help"},
        {{"drivers", "--bogus"},
         "qmsupport drivers: unknown option '--bogus'",
         "qmsupport drivers"},
        {{"drivers", "--json=yes"},
         "qmsupport drivers: --json takes no value",
         "qmsupport drivers"},
        {{"drivers", "--version=ten"},
         "qmsupport drivers: --version needs a number from 0 to 0xFFFFFFFF, not 'ten'",
         "qmsupport drivers"},
        {{"drivers", "--drivers-setup="},
         "qmsupport drivers: --drivers-setup needs a file name",
         "qmsupport drivers"},
        {{"drivers", "--features-dir", "."},
         "qmsupport drivers: --features-dir is only read together with --drivers-setup",
         "qmsupport drivers"},
        {{"drivers", "extra"},
         "qmsupport drivers: unexpected argument 'extra'",
         "qmsupport drivers"},
        {{"varname"}, "qmsupport varname: missing FUNCTION", "qmsupport varname"},
        {{"varname", "JoinVarName", "1", "2"},
         "qmsupport varname: JoinVarName takes CODE KIND PHASE TARIFF",
         "qmsupport varname"},
        {{"varname", "JoinVarName", "1", "2", "3", "maybe"},
         "qmsupport varname: 'maybe' is not true or false",
         "qmsupport varname"},
        {{"varname", "--name"}, "qmsupport varname: --name needs a text", "qmsupport varname"},
        {{"render-text"}, "qmsupport render-text: missing TEXT", "qmsupport render-text"},
        {{"migrate27"}, "qmsupport migrate27: no installation folder given", "qmsupport migrate27"},
        {{"migrate27", "plant", "--backup=hard"},
         "qmsupport migrate27: --backup takes copy or link, not 'hard'",
         "qmsupport migrate27"},
        {{"migrate27", "plant", "--report="},
         "qmsupport migrate27: --report needs a file name",
         "qmsupport migrate27"},
        {{"render-text", "-x"},
         "qmsupport render-text: unknown option '-x'",
         "qmsupport render-text"},
        {{"render-text", "a", "b"},
         "qmsupport render-text: give exactly one TEXT",
         "qmsupport render-text"},
    };
    for (const Case& c : cases) {
        const ProgramResult result = Qmsupport(c.args);
        EXPECT_EQ(result.status, 2) << c.line;
        EXPECT_EQ(result.err, c.line + "\nTry '" + c.hint + " --help'.\n");
        EXPECT_EQ(result.out, "") << c.line;
    }
}

TEST(CommandLine, ValueAfterEqualsSignOrAsNextArgument) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> pairs = {
        {{"drivers", "--version=0x01000000", "--json"},
         {"drivers", "--json", "--version", "0x01000000"}},
        {{"varname", "--name=KEEP", "JoinAlarmVarName", "7", "-1"},
         {"varname", "JoinAlarmVarName", "--name", "KEEP", "7", "-1"}},
        {{"render-text", "--locale=de_DE", "<textValue value=\"1234.5\" decimals=\"2\"/>"},
         {"render-text", "--locale", "de_DE", "--",
          "<textValue value=\"1234.5\" decimals=\"2\"/>"}},
    };
    for (const auto& [joined, separate] : pairs) {
        const ProgramResult a = Qmsupport(joined);
        const ProgramResult b = Qmsupport(separate);
        EXPECT_EQ(a.status, 0) << a.err;
        EXPECT_NE(a.out, "");
        EXPECT_EQ(a.out, b.out);
    }
    // The values were read, not skipped.
    EXPECT_NE(Qmsupport(pairs[0].first).out.find("\"scada\": true"), std::string::npos);
    EXPECT_EQ(Qmsupport(pairs[1].first).out, "KEEP\n");
    // The decimal comma shows that the locale was read.
    EXPECT_EQ(
        Qmsupport({"render-text", "--locale=de_DE", "<textValue value=\"1234.5\" decimals=\"2\"/>"})
            .out,
        "1234,5\n");
}

TEST(CommandLine, DoubleDashMakesTheRestOperands) {
    EXPECT_EQ(Qmsupport({"render-text", "--", "--locale"}).status, 0);
    EXPECT_EQ(Qmsupport({"render-text", "--locale"}).err,
              "qmsupport render-text: --locale needs a locale name\n"
              "Try 'qmsupport render-text --help'.\n");
    // After "--" even --help is an operand: a second TEXT here.
    EXPECT_EQ(Qmsupport({"render-text", "--", "a", "--help"}).status, 2);
}

}  // namespace
