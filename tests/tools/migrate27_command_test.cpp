// End-to-end tests of `qmsupport migrate27`, run as a separate process on copies of the
// sample installation.

#include "common/plant_copy.h"
#include "common/run_program.h"

#include <qmsupport/xml/xml_document.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Result = ProgramResult;
using Strings = std::vector<std::string>;

// Runs `qmsupport migrate27` with `args`; see RunProgram for `env` and `user`.
Result RunTool(const TempDir& dir, Strings args, const std::map<std::string, std::string>& env = {},
               uid_t user = 0) {
    return RunCommand(dir, "migrate27", std::move(args), env, user);
}

// The sample drops its device Spare, whose connection is gone: a migration of it ends with a
// warning.
constexpr int kSampleWarned = 3;

// The GUID-prefixed names in a migrated Cfg folder.
Strings GuidNames(const fs::path& plant) {
    static const std::regex guidPrefixed(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}\..+)");
    Strings names;
    for (const std::string& name : Names(plant / "Cfg")) {
        if (std::regex_match(name, guidPrefixed)) {
            names.push_back(name);
        }
    }
    return names;
}

// Checks the 2.7 structure of a migrated copy of the sample (not its GUID values).
void ExpectMigratedSample(const fs::path& plant) {
    XmlDocument cfg;
    ASSERT_TRUE(cfg.Load((plant / "Cfg/default.xcfg").wstring().c_str()));
    const XmlDocument::XmlNode* comm = cfg.Node(L"CommSystem");
    ASSERT_NE(comm, nullptr);
    EXPECT_EQ(comm->Node(L"Connections"), nullptr);
    EXPECT_EQ(comm->Node(L"Devices"), nullptr);
    std::vector<std::wstring> channels;
    for (auto it = comm->ChildsBegin(); it != comm->ChildsEnd(); ++it) {
        channels.push_back((*it)->Value(L"Name", L"").str());
    }
    EXPECT_EQ(channels, (std::vector<std::wstring>{L"Line_1", L"Substation", L"Roof", L"Pulses",
                                                   L"PQ_North"}));
    const XmlDocument::XmlNode* meter =
        cfg.Node(L"CommSystem/Device?Name=Line_1?/ChildDevices/ChildDevice?Name=METER_1?");
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->Value(L"Id", L"").str().front(), L'{');
    EXPECT_NE(
        cfg.Node(L"CommSystem/Device?Name=Roof?/ChildDevices/ChildDevice?Name=JT1?/Flows/Flow"),
        nullptr);

    Strings renamed;
    for (const std::string& name : GuidNames(plant)) {
        renamed.push_back(name.substr(39));
    }
    std::sort(renamed.begin(), renamed.end());
    EXPECT_EQ(renamed,
              (Strings{"Blue.xsty", "Feeders.xscn", "Main.xscn", "Monthly.xrpt", "Red.xsty"}));
    EXPECT_TRUE(fs::exists(plant / "Cfg/default.xcal"));
    for (const char* file : {"Data/2008/02/METER_1_02_2008.std", "Data/2008/02/METER_1_02_2008.dat",
                             "Data/2008/01/METER2_01_2008.std", "Data/2008/02/Alarms_02_2008.eve",
                             "Data/Meters/2008/04/METER_1_04_2008.std", "Data/Events_02_2008.eve",
                             "Data/METER2_02_2008.dat"}) {
        EXPECT_TRUE(fs::exists(plant / file)) << file;
    }
}

class Migrate27Test : public PlantCopyTest {
  protected:
    Migrate27Test() : PlantCopyTest(QMSUPPORT_SAMPLE_DIR) {}
    // Nothing but the installation, its backups and the test's own files beside it.
    Strings Leftovers() const {
        Strings names;
        for (const std::string& name : Names(dir.Path())) {
            if (name != "plant" && name.find(".before-2.7.") == std::string::npos &&
                name.find(".after-2.7.") == std::string::npos && name != "outside" &&
                name != "out.txt" && name != "err.txt" && name != "report.json" &&
                name != "plant.migrate27-undo") {
                names.push_back(name);
            }
        }
        return names;
    }
    Strings Backups() const { return Beside("plant.before-2.7."); }
};

TEST_F(Migrate27Test, MigratesTheSampleAndReportsWhatWasDroppedAndLeft) {
    const Result result = RunTool(dir, {"plant", "--report", "report.json", "--quiet"});
    ASSERT_EQ(result.status, kSampleWarned) << result.err;
    ExpectMigratedSample(plant);
    EXPECT_EQ(Leftovers(), Strings{});
    // The stage was made of hard links: the migration must have replaced entries, never
    // written into the shared files, so the backup still reads as the original.
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(Snapshot(dir.Path(Backups()[0])), original);

    const std::string report = dir.ReadText("report.json");
    for (const char* expected :
         {R"("schemaVersion": 3)", R"("outcome": "migrated")", R"("backupForm": "copy")",
          R"("dryRun": false)", R"("programVersion": ")" QMSUPPORT_PROJECT_VERSION "\"",
          R"({"old": "Totals & Costs", "new": "Totals___Costs", "places": 3})",
          R"("historyMoved": 11)",
          R"({"from": "Data/Meters/METER 1_03_2008.std", "to": )"
          R"("Data/Meters/2008/03/METER_1_03_2008.std"})",
          R"({"device": "Spare", "reason": "its connection 'Old line' does not exist)",
          R"({"file": "Data/METER2_02_2008.dat", "reason": "a device data file (.dat))",
          R"("unusedRenames": [
    {"old": "Line 1", "new": "Line_1", "places": 0},
    {"old": "Relay-3", "new": "Relay_3", "places": 0},)",
          // Places in the text only: its 5 data files that took the new name do not count.
          R"({"old": "METER 1", "new": "METER_1", "places": 7})",
          R"({"file": "Data/Events_02_2008.eve", "reason": "an event history file)",
          R"("created": [
    "Cfg/default.xcal"
  ])"}) {
        EXPECT_THAT(report, HasSubstr(expected));
    }
    // default.xcal is new: it is not counted among the rewritten files.
    EXPECT_THAT(report, Not(HasSubstr(R"("rewritten": [
    "Cfg/default.xcal")")));
    // The summary ends with the warnings, and tells how to undo.
    EXPECT_THAT(result.out, HasSubstr("Migrated"));
    EXPECT_THAT(result.out,
                HasSubstr("undo:               qmsupport migrate27 --undo " + plant.string()));
    const size_t warning = result.out.find("warning: device 'Spare' was dropped");
    ASSERT_NE(warning, std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\n', warning), result.out.size() - 1);
}

// The last two: a plan needs a dry run, and applying one takes its choices from it.
TEST_F(Migrate27Test, UsageErrorsChangeNothing) {
    const Strings cases[] = {{},
                             {"plant", "--bogus"},
                             {"plant", "--report"},
                             {"plant", "--force"},
                             {"plant", "--legacy-screens"},
                             {"--recover", "plant", "--dry-run"},
                             {"plant", "--backup=hard"},
                             {"plant", "--backup=link", "--no-backup"},
                             {"plant", "--plan", "p.json"},
                             {"plant", "--apply", "plan.json", "--scada"}};
    for (const Strings& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(RunTool(dir, args).status, 2);
    }
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Leftovers(), Strings{});
}

TEST_F(Migrate27Test, ALockedInstallationIsRefused) {
    const int fd = open(dir.Path("plant.migrate27-lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Result result = RunTool(dir, {"plant"});
    close(fd);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("another migration"));
    EXPECT_TRUE(IsOriginal());
}

// Clear errors, and whatever would lead the migration's reads for writing, renames or moves
// out of the installation or make it migrate a file twice or under a name it cannot tell, are
// refused before anything changes, inside the installation or outside, by a dry run too.
TEST_F(Migrate27Test, RefusalsChangeNothingInsideOrOutside) {
    const std::string config = "plant/Cfg/default.xcfg";
    const auto edit = [&](const std::string& from, const std::string& to) {
        std::string text = dir.ReadText(config);
        text.replace(text.find(from), from.size(), to);
        dir.WriteText(config, text);
    };
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::string expected;
    } cases[] = {
        {"missing installation", [&] { fs::remove_all(plant); }, "there is no installation folder"},
        {"missing Cfg", [&] { fs::rename(plant / "Cfg", plant / "Conf"); },
         "no configuration folder 'Cfg'"},
        {"missing Data", [&] { fs::remove_all(plant / "Data"); }, "no data folder 'Data'"},
        {"missing configuration", [&] { fs::remove(dir.Path(config)); },
         "there is no main configuration file"},
        {"malformed configuration",
         [&] { dir.WriteText(config, "<Configuration>\n<CommSystem>\n</Configuration>"); },
         "Cfg/default.xcfg:3:17: opening and ending tag mismatch: CommSystem line 2 and "
         "Configuration (the main configuration is not a well-formed XML file)"},
        {"history outside", [&] { edit("..\\Data\\Meters\\", "..\\..\\Meters\\"); },
         "outside the installation"},
        {"screen linked from outside",
         [&] {
             dir.WriteText("outside/Extra.xscn", "<screen version=\"2.5\"/>");
             fs::create_symlink(dir.Path("outside/Extra.xscn"), plant / "Cfg/Extra.xscn");
         },
         "'Cfg/Extra.xscn' leads out of the installation"},
        // Migrated under each of its names, a linked screen would be migrated twice.
        {"screen linked inside", [&] { fs::create_symlink("Main.xscn", plant / "Cfg/Alias.xscn"); },
         "'Cfg/Alias.xscn' is a symbolic link"},
        {"name not UTF-8",
         [&] { dir.WriteText("plant/Cfg/Caf\xE9.xscn", "<screen version=\"2.5\"/>"); },
         "'Cfg/Caf\\xE9.xscn' is not valid UTF-8"},
        {"program folder linked outside",
         [&] {
             fs::rename(plant / "Bin", dir.Path("outside/Bin"));
             fs::create_symlink("../outside/Bin", plant / "Bin");
         },
         "the folder 'Bin' leads out of the installation"},
        {"history folder through a link below the program folder",
         [&] {
             dir.MakeDirectory("outside/a/b");
             fs::create_symlink("../../outside/a/b", plant / "Bin/sub");
             edit("..\\Data\\Meters\\", "sub\\..\\..\\Data\\Meters\\");
         },
         "leads out of the installation"},
    };
    const auto tree = [](const fs::path& root) {
        return fs::exists(root) ? Snapshot(root) : std::map<std::string, std::string>{};
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recopy();
        fs::remove_all(dir.Path("outside"));
        // History where a path that leads out of the installation would find it.
        dir.MakeDirectory("outside/Data/Meters");
        dir.WriteText("outside/Data/Meters/METER 1_05_2008.std", "outside");
        c.arrange();
        const auto before = tree(plant);
        const auto outside = Snapshot(dir.Path("outside"));
        for (const char* mode : {"--dry-run", "--quiet"}) {
            const Result result = RunTool(dir, {"plant", mode});
            EXPECT_EQ(result.status, 1) << mode;
            EXPECT_THAT(result.err, HasSubstr(c.expected));
            EXPECT_EQ(tree(plant), before);
            EXPECT_EQ(Snapshot(dir.Path("outside")), outside);
            EXPECT_EQ(Leftovers(), Strings{});
            EXPECT_EQ(Backups(), Strings{});
        }
    }
}

// Side files the migration cannot handle are left as they were or keep their name, and say
// so in the report, in the summary's warnings and in the exit status.
TEST_F(Migrate27Test, SideFilesLeftAsTheyWereAreReportedWithTheirCause) {
    const std::string broken = "<screen>\n  <page Id=\"1\" Id=\"2\"/>\n</screen>";
    dir.WriteText("plant/Cfg/Broken.xscn", broken);
    // A screen left as it was loses the grants that named it.
    dir.WriteText("plant/Cfg/Main.xscn", "<screen>");
    // With its identifier in front, this name would be too long: migrated, but not renamed.
    const std::string longName = std::string(240, 'L') + ".xscn";
    dir.WriteText("plant/Cfg/" + longName, "<screen version=\"2.5\"/>");
    const Result result =
        RunTool(dir, {"plant", "--report", "report.json", "--no-backup", "--quiet"});
    ASSERT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(dir.ReadText("plant/Cfg/Broken.xscn"), broken);
    EXPECT_TRUE(fs::exists(plant / "Cfg" / longName));
    const std::string report = dir.ReadText("report.json");
    EXPECT_THAT(report, HasSubstr(R"({"file": "Cfg/Broken.xscn", "reason": "not a well-formed )"
                                  R"(XML file: Cfg/Broken.xscn:2:22: attribute 'Id' redefined)"));
    EXPECT_THAT(report, HasSubstr("{\"file\": \"Cfg/" + longName +
                                  "\", \"reason\": \"migrated, but not renamed to its identifier "
                                  "form"));
    for (const std::string& warning :
         Strings{"warning: Cfg/Broken.xscn was left as it was",
                 "Cfg/Broken.xscn:2:22: attribute 'Id' redefined",
                 "warning: Cfg/" + longName + " was left as it was",
                 "warning: Security.xcfg: profile 'Operator' loses its grant of Screen 'Main'",
                 "warning: Security.xcfg: profile 'Guest' loses its grant of Screen 'Main'"}) {
        EXPECT_THAT(result.out, HasSubstr(warning));
    }
}

TEST_F(Migrate27Test, WithoutScreensReportsOrStylesTheEventsAreLeftAlone) {
    for (const std::string& name : Names(plant / "Cfg")) {
        const std::string extension = fs::path(name).extension().string();
        if (extension == ".xscn" || extension == ".xrpt" || extension == ".xsty") {
            fs::remove(plant / "Cfg" / name);
        }
    }
    const Result result = RunTool(dir, {"plant", "--no-backup"});
    ASSERT_EQ(result.status, kSampleWarned) << result.err;
    EXPECT_THAT(result.out, HasSubstr("not SCADA (no screens, reports or styles in Cfg)"));
    EXPECT_EQ(dir.ReadText("plant/Cfg/default.xeve"), original.at("Cfg/default.xeve"));
    EXPECT_TRUE(fs::exists(plant / "Data/2008/02/METER_1_02_2008.std"));
}

// A migrated installation is left alone by a second run and given back by --undo, with their
// exit statuses; what each backup form keeps is checked through the library (tests/install).
TEST_F(Migrate27Test, ASecondRunChangesNothingAndTheUndoGivesTheOriginalBack) {
    ASSERT_EQ(RunTool(dir, {"plant", "--quiet"}).status, kSampleWarned);
    // The main configuration says it is migrated, besides its layout.
    EXPECT_THAT(dir.ReadText("plant/Cfg/default.xcfg"),
                HasSubstr("<Configuration version=\"2.7\">"));
    const auto migrated = Snapshot(plant);
    const Result again = RunTool(dir, {"plant"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.out, HasSubstr("already in the 2.7 layout"));
    EXPECT_EQ(Snapshot(plant), migrated);
    EXPECT_EQ(Backups().size(), 1u);
    EXPECT_EQ(Leftovers(), Strings{});

    const Result undo = RunTool(dir, {"--undo", "plant"});
    ASSERT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Backups(), Strings{});
    EXPECT_EQ(Leftovers(), Strings{});
    const Result twice = RunTool(dir, {"--undo", "plant"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_THAT(twice.err, HasSubstr("no backup"));

    // A configuration whose layout looks old but whose version says 2.7 is left alone too.
    std::string text = original.at("Cfg/default.xcfg");
    text.replace(text.find("version=\"2.6\""), 13, "version=\"2.7\"");
    dir.WriteText("plant/Cfg/default.xcfg", text);
    const auto stamped = Snapshot(plant);
    const Result stampedRun = RunTool(dir, {"plant"});
    EXPECT_EQ(stampedRun.status, 0);
    EXPECT_THAT(stampedRun.out, HasSubstr("its version is 2.7"));
    EXPECT_EQ(Snapshot(plant), stamped);

    // A linked backup is not given back once a file it shares has changed.
    dir.WriteText("plant/Cfg/default.xcfg", original.at("Cfg/default.xcfg"));
    ASSERT_EQ(RunTool(dir, {"plant", "--quiet", "--backup=link"}).status, kSampleWarned);
    std::ofstream(plant / "Data/2008/02/METER_1_02_2008.std", std::ios::app) << "more data";
    const Result refused = RunTool(dir, {"--undo", "plant"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("has changed since the migration"));
}

// A dry run changes nothing; the identifiers of its plan are the ones applied: two copies
// migrated by one plan come out byte for byte alike, named as the dry run's report said.
TEST_F(Migrate27Test, ADryRunChangesNothingAndItsPlanIsAppliedWithItsIdentifiers) {
    // What a run killed while it wrote its journal left is removed, by a dry run too.
    dir.WriteText(".plant.migrate27-journal.4242.0.tmp", "qmsupport migrate27 jou");
    const fs::path copy = dir.Path("copy");
    fs::copy(plant, copy, fs::copy_options::recursive);
    const Result dry = RunTool(
        dir, {"plant", "--dry-run", "--plan=plan.json", "--report", "report.json", "--quiet"});
    ASSERT_EQ(dry.status, kSampleWarned) << dry.err;
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Leftovers(), (Strings{"copy", "plan.json"}));
    EXPECT_EQ(Backups(), Strings{});
    EXPECT_THAT(dir.ReadText("report.json"), HasSubstr(R"("dryRun": true)"));
    EXPECT_THAT(dry.out, HasSubstr("nothing was changed"));
    EXPECT_THAT(dry.out, HasSubstr("--apply " + dir.Path("plan.json")));
    const std::string plan = dir.ReadText("plan.json");
    EXPECT_THAT(plan, HasSubstr(R"({"file": "Cfg/Main.xscn", "size": )"));
    std::smatch fingerprint;
    ASSERT_TRUE(std::regex_search(plan, fingerprint, std::regex(R"x("plan": "[0-9a-f]{64}")x")));

    const Result applied =
        RunTool(dir, {"plant", "--apply", "plan.json", "--report=report.json", "--quiet"});
    ASSERT_EQ(applied.status, kSampleWarned) << applied.err;
    ExpectMigratedSample(plant);
    EXPECT_THAT(dir.ReadText("report.json"), HasSubstr(fingerprint[0].str()));
    const Strings names = GuidNames(plant);
    ASSERT_EQ(names.size(), 5u);
    for (const std::string& name : names) {
        EXPECT_THAT(plan, HasSubstr("\"Cfg/" + name + "\""));
    }
    ASSERT_EQ(RunTool(dir, {"copy", "--apply=plan.json", "--quiet"}).status, kSampleWarned);
    EXPECT_EQ(Snapshot(copy), Snapshot(plant));
}

TEST_F(Migrate27Test, APlanIsRefusedOnceTheInstallationChanged) {
    ASSERT_EQ(RunTool(dir, {"plant", "--dry-run", "--plan", "plan.json", "--quiet"}).status,
              kSampleWarned);
    const struct {
        std::function<void()> change;
        std::string expected;
    } cases[] = {
        {[&] { std::ofstream(plant / "Cfg/Main.xscn", std::ios::app) << " "; },
         "'Cfg/Main.xscn' has changed since the plan"},
        {[&] { std::ofstream(plant / "Data/new.std") << "x"; },
         "'Data/new.std' has appeared since the plan"},
        {[&] { fs::remove(plant / "Cfg/Red.xsty"); }, "'Cfg/Red.xsty' has disappeared since"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        Recopy();
        c.change();
        const auto before = Snapshot(plant);
        const Result result = RunTool(dir, {"plant", "--apply", "plan.json"});
        EXPECT_EQ(result.status, 1);
        EXPECT_THAT(result.err, HasSubstr(c.expected));
        EXPECT_EQ(Snapshot(plant), before);
        EXPECT_EQ(Backups(), Strings{});
    }
    std::ofstream(dir.Path("bad.json")) << "{}";
    const Result bad = RunTool(dir, {"plant", "--apply", "bad.json"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, HasSubstr("is not a plan"));
}

// An --apply that finds an interrupted run completes it, then refuses: its plan was not
// applied, and the exit status must not say it was.
TEST_F(Migrate27Test, AnApplyThatCompletesAnInterruptedRunSaysThePlanWasNotApplied) {
    ASSERT_EQ(RunTool(dir, {"plant", "--dry-run", "--plan=plan.json", "--quiet"}).status,
              kSampleWarned);
    const Result killed =
        RunTool(dir, {"plant", "--quiet"}, {{"QMSUPPORT_MIGRATE27_KILL_AT", "swapped"}});
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    const Result applied = RunTool(dir, {"plant", "--apply=plan.json"});
    EXPECT_EQ(applied.status, 1);
    EXPECT_THAT(applied.err, HasSubstr("an interrupted migration was completed"));
    EXPECT_THAT(applied.err, HasSubstr("plan.json' was not applied"));
    ExpectMigratedSample(plant);
    EXPECT_EQ(Leftovers(), Strings{"plan.json"});
}

TEST_F(Migrate27Test, CtrlCBeforeTheSwapUndoesTheStageAndSaysSo) {
    for (const char* point : {"staged", "migrated"}) {
        SCOPED_TRACE(point);
        const Result result =
            RunTool(dir, {"plant", "--quiet"}, {{"QMSUPPORT_MIGRATE27_INTERRUPT_AT", point}});
        EXPECT_EQ(result.status, 1);
        EXPECT_THAT(result.err, HasSubstr("stopped on request; the staged copy was removed and "
                                          "the installation is unchanged"));
        EXPECT_TRUE(IsOriginal());
        EXPECT_EQ(Leftovers(), Strings{});
        EXPECT_EQ(Backups(), Strings{});
    }
}

// Read-only folders, for a user who is not root: the stage is still removed and the
// installation migrated or left whole.
TEST_F(Migrate27Test, ReadOnlyFoldersAsAnOrdinaryUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(lchown(dir.Path().c_str(), kNobody, kNobody), 0);
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
        ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
    }
    fs::permissions(plant / "Cfg", fs::perms(0555));
    // A folder the user cannot empty: the former installation cannot be removed whole.
    dir.MakeDirectory("plant/Data/Archive");
    dir.WriteText("plant/Data/Archive/kept.txt", "root's");
    const auto before = Snapshot(plant);

    Result result = RunTool(dir, {"plant", "--dry-run"}, {}, kNobody);
    EXPECT_EQ(result.status, kSampleWarned) << result.err;
    EXPECT_EQ(Snapshot(plant), before);
    EXPECT_EQ(Leftovers(), Strings{});

    // The folder beside the installation is read-only: nothing can be staged.
    fs::permissions(dir.Path(), fs::perms(0555));
    result = RunTool(dir, {"plant"}, {}, kNobody);
    fs::permissions(dir.Path(), fs::perms(0755));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(Snapshot(plant), before);
    EXPECT_EQ(Leftovers(), Strings{});

    result = RunTool(dir, {"plant", "--no-backup", "--quiet"}, {}, kNobody);
    EXPECT_EQ(result.status, kSampleWarned) << result.err;
    ExpectMigratedSample(plant);
    EXPECT_EQ(fs::status(plant / "Cfg").permissions() & fs::perms::all, fs::perms(0555));
    EXPECT_EQ(Leftovers(), Strings{});
    EXPECT_THAT(result.out, HasSubstr("warning: the former installation was not removed"));
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(dir.ReadText(Backups()[0] + "/Data/Archive/kept.txt"), "root's");
}

// A run or an undo killed at one point of its course, on a file system with or without an
// exchange of two names, and with or without a backup.
struct KillPoint {
    const char* point;
    bool noExchange;
    bool noBackup;
};

void PrintTo(const KillPoint& kill, std::ostream* out) {
    *out << kill.point;
}

std::map<std::string, std::string> KillEnvironment(const KillPoint& kill) {
    std::map<std::string, std::string> env = {{"QMSUPPORT_MIGRATE27_KILL_AT", kill.point}};
    if (kill.noExchange) {
        env["QMSUPPORT_MIGRATE27_NO_EXCHANGE"] = "1";
    }
    return env;
}

std::string KillName(const ::testing::TestParamInfo<KillPoint>& info) {
    std::string name = info.param.point;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    return name + (info.param.noExchange ? "_TwoRenames" : "") +
           (info.param.noBackup ? "_NoBackup" : "");
}

// A run killed at each point of its course leaves the former installation or the migrated
// one; the next run or --recover then completes or undoes it, leaving nothing behind.
class Migrate27KillTest : public Migrate27Test, public ::testing::WithParamInterface<KillPoint> {};

TEST_P(Migrate27KillTest, RecoversToTheFormerOrTheMigratedInstallation) {
    const KillPoint& kill = GetParam();
    Strings args = {"plant", "--quiet"};
    if (kill.noBackup) {
        args.push_back("--no-backup");
    }
    const Result killed = RunTool(dir, args, KillEnvironment(kill));
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    // Only the two renames of a file system without exchange leave a moment with no
    // installation under its name.
    if (fs::exists(plant) && !IsOriginal()) {
        ExpectMigratedSample(plant);
    } else {
        EXPECT_TRUE(IsOriginal() || std::string(kill.point) == "moved-aside");
    }

    // A dry run changes nothing, so it does not recover either.
    const Result dry = RunTool(dir, {"plant", "--dry-run"});
    EXPECT_EQ(dry.status, 1);
    EXPECT_THAT(dry.err, HasSubstr("--recover"));

    const Result recovered = RunTool(dir, {"--recover", "plant"});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(Leftovers(), Strings{});
    if (IsOriginal()) {
        EXPECT_EQ(Backups(), Strings{});
        ASSERT_EQ(RunTool(dir, {"plant", "--quiet"}).status, kSampleWarned);
    }
    ExpectMigratedSample(plant);
    ASSERT_EQ(Backups().size(), kill.noBackup ? 0u : 1u);
    if (!kill.noBackup) {
        EXPECT_EQ(Snapshot(dir.Path(Backups()[0])), original);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, Migrate27KillTest,
    ::testing::Values(KillPoint{"staged", false, false}, KillPoint{"migrated", false, false},
                      KillPoint{"journal", false, false}, KillPoint{"swapped", false, false},
                      KillPoint{"finishing", false, false}, KillPoint{"finishing", false, true},
                      KillPoint{"moved-aside", true, false}, KillPoint{"swapped", true, true}),
    KillName);

// An undo killed at each point of its swap leaves the migrated installation or the original;
// --recover then completes or rolls it back, and the migrated tree is never lost.
class Migrate27UndoKillTest : public Migrate27Test,
                              public ::testing::WithParamInterface<KillPoint> {};

TEST_P(Migrate27UndoKillTest, LeavesTheMigratedOrTheOriginalInstallation) {
    const KillPoint& kill = GetParam();
    ASSERT_EQ(RunTool(dir, {"plant", "--quiet"}).status, kSampleWarned);
    const auto migrated = Snapshot(plant);
    const Result killed = RunTool(dir, {"--undo", "plant"}, KillEnvironment(kill));
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    if (fs::exists(plant)) {
        EXPECT_TRUE(IsOriginal() || Snapshot(plant) == migrated);
    } else {
        EXPECT_EQ(std::string(kill.point), "moved-aside");
    }

    const Result recovered = RunTool(dir, {"--recover", "plant"});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(Leftovers(), Strings{});
    if (!IsOriginal()) {
        EXPECT_EQ(Snapshot(plant), migrated);
        ASSERT_EQ(RunTool(dir, {"--undo", "plant"}).status, 0);
    }
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Backups(), Strings{});
    const Strings after = Beside("plant.after-2.7.");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(Snapshot(dir.Path(after[0])), migrated);
}

INSTANTIATE_TEST_SUITE_P(Points, Migrate27UndoKillTest,
                         ::testing::Values(KillPoint{"journal", false, false},
                                           KillPoint{"swapped", false, false},
                                           KillPoint{"finishing", false, false},
                                           KillPoint{"moved-aside", true, false}),
                         KillName);

}  // namespace
