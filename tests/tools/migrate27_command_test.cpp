// End-to-end tests of `qmsupport migrate27`, run as a separate process on copies of the
// sample installation.

#include "common/plant_copy.h"
#include "common/run_program.h"

#include <qmsupport/xml/xml_document.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Result = ProgramResult;

// Runs `qmsupport migrate27` with `args`; see RunProgram for `env` and `user`.
Result RunTool(const TempDir& dir, std::vector<std::string> args,
               const std::map<std::string, std::string>& env = {}, uid_t user = 0) {
    args.insert(args.begin(), "migrate27");
    return RunProgram(dir, QMSUPPORT_TOOL, std::move(args), env, user);
}

// The sample drops its device Spare, whose connection is gone: a migration of it ends with a
// warning.
constexpr int kSampleWarned = 3;

const std::regex kGuidPrefixed(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}\..+)");

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

    std::vector<std::string> renamed;
    for (const std::string& name : Names(plant / "Cfg")) {
        if (std::regex_match(name, kGuidPrefixed)) {
            renamed.push_back(name.substr(39));
        }
    }
    std::sort(renamed.begin(), renamed.end());
    EXPECT_EQ(renamed, (std::vector<std::string>{"Blue.xsty", "Feeders.xscn", "Main.xscn",
                                                 "Monthly.xrpt", "Red.xsty"}));
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
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
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
    std::vector<std::string> Backups() const { return Beside("plant.before-2.7."); }
};

TEST_F(Migrate27Test, MigratesTheSampleAndKeepsTheOriginalFilesUntouched) {
    const Result result = RunTool(dir, {"plant", "--report", "report.json", "--quiet"});
    ASSERT_EQ(result.status, kSampleWarned) << result.err;
    ExpectMigratedSample(plant);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    // The stage was made of hard links: the migration must have replaced entries, never
    // written into the shared files, so the backup still reads as the original.
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(Snapshot(dir.Path(Backups()[0])), original);

    const std::string report = dir.ReadText("report.json");
    EXPECT_NE(report.find(R"("dryRun": false)"), std::string::npos);
    EXPECT_NE(report.find(std::string(R"("programVersion": ")") + QMSUPPORT_PROJECT_VERSION + "\""),
              std::string::npos);
    EXPECT_NE(report.find(R"({"old": "Totals & Costs", "new": "Totals___Costs", "places": 3})"),
              std::string::npos);
    EXPECT_NE(report.find(R"("historyMoved": 11)"), std::string::npos);
    EXPECT_NE(report.find(R"({"from": "Data/Meters/METER 1_03_2008.std", "to": )"
                          R"("Data/Meters/2008/03/METER_1_03_2008.std"})"),
              std::string::npos);
    EXPECT_NE(result.out.find("Migrated"), std::string::npos);
}

TEST_F(Migrate27Test, DryRunChangesNothing) {
    const Result result = RunTool(dir, {"plant", "--dry-run", "--report=report.json"});
    ASSERT_EQ(result.status, kSampleWarned) << result.err;
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(Backups(), std::vector<std::string>{});
    EXPECT_NE(dir.ReadText("report.json").find(R"("dryRun": true)"), std::string::npos);
    EXPECT_NE(result.out.find("nothing was changed"), std::string::npos);
}

TEST_F(Migrate27Test, ASecondRunChangesNothing) {
    ASSERT_EQ(RunTool(dir, {"plant", "--no-backup", "--quiet"}).status, kSampleWarned);
    const auto migrated = Snapshot(plant);
    // The main configuration says it is migrated, besides its layout.
    EXPECT_NE(dir.ReadText("plant/Cfg/default.xcfg").find("<Configuration version=\"2.7\">"),
              std::string::npos);
    const Result again = RunTool(dir, {"plant"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("already in the 2.7 layout"), std::string::npos) << again.out;
    EXPECT_EQ(Snapshot(plant), migrated);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(RunTool(dir, {"plant", "--force"}).status, 2);
    EXPECT_EQ(Snapshot(plant), migrated);

    // A configuration whose layout looks old but whose version says 2.7 is left alone too.
    std::string text = original.at("Cfg/default.xcfg");
    text.replace(text.find("version=\"2.6\""), 13, "version=\"2.7\"");
    dir.WriteText("plant/Cfg/default.xcfg", text);
    const auto stamped = Snapshot(plant);
    const Result stampedRun = RunTool(dir, {"plant"});
    EXPECT_EQ(stampedRun.status, 0);
    EXPECT_NE(stampedRun.out.find("its version is 2.7"), std::string::npos) << stampedRun.out;
    EXPECT_EQ(Snapshot(plant), stamped);
}

TEST_F(Migrate27Test, ALockedInstallationIsRefused) {
    const int fd = open(dir.Path("plant.migrate27-lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Result result = RunTool(dir, {"plant"});
    close(fd);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("another migration"), std::string::npos) << result.err;
    EXPECT_TRUE(IsOriginal());
}

TEST_F(Migrate27Test, ClearErrorsLeaveTheInstallationAsItWas) {
    const std::string nested = "plant/Cfg/default.xcfg";
    const struct {
        const char* name;
        std::function<void()> damage;
        std::string expected;
    } cases[] = {
        {"missing installation", [&] { fs::remove_all(plant); }, "there is no installation folder"},
        {"missing Cfg", [&] { fs::rename(dir.Path("plant/Cfg"), dir.Path("plant/Conf")); },
         "no configuration folder 'Cfg'"},
        {"missing Data", [&] { fs::remove_all(dir.Path("plant/Data")); }, "no data folder 'Data'"},
        {"missing configuration", [&] { fs::remove(dir.Path(nested)); },
         "there is no main configuration file"},
        {"malformed configuration", [&] { dir.WriteText(nested, "<Configuration><CommSystem>"); },
         "is not a well-formed XML file"},
        {"history outside",
         [&] {
             std::string text = dir.ReadText(nested);
             text.replace(text.find("..\\Data\\Meters\\"), 15, "..\\..\\Meters\\");
             dir.WriteText(nested, text);
         },
         "outside the installation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(plant);
        fs::copy(QMSUPPORT_SAMPLE_DIR, plant, fs::copy_options::recursive);
        c.damage();
        const auto before = fs::exists(plant) ? Snapshot(plant) : decltype(original){};
        const Result result = RunTool(dir, {"plant"});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
        EXPECT_EQ(fs::exists(plant) ? Snapshot(plant) : decltype(original){}, before);
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
}

TEST_F(Migrate27Test, UsageErrors) {
    EXPECT_EQ(RunTool(dir, {}).status, 2);
    EXPECT_EQ(RunTool(dir, {"plant", "--bogus"}).status, 2);
    EXPECT_EQ(RunTool(dir, {"plant", "--report"}).status, 2);
    EXPECT_EQ(RunTool(dir, {"--recover", "plant", "--dry-run"}).status, 2);
    EXPECT_TRUE(IsOriginal());
}

TEST_F(Migrate27Test, AnUnreadableScreenIsReportedAndLeftAsItWas) {
    dir.WriteText("plant/Cfg/Broken.xscn", "<screen><page>");
    const Result result = RunTool(dir, {"plant", "--report", "report.json"});
    ASSERT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(dir.ReadText("plant/Cfg/Broken.xscn"), "<screen><page>");
    EXPECT_NE(
        dir.ReadText("report.json")
            .find(
                R"({"file": "Cfg/Broken.xscn", "reason": "not a well-formed XML file: Cfg/Broken.xscn:1:)"),
        std::string::npos);
    EXPECT_NE(result.out.find("warning: Cfg/Broken.xscn was left as it was"), std::string::npos)
        << result.out;
}

TEST_F(Migrate27Test, RefusesALinkThatWouldLeadWritesOutOfTheStage) {
    TempDir outside;
    outside.WriteText("Extra.xscn", "<screen version=\"2.5\"/>");
    fs::create_symlink(outside.Path("Extra.xscn"), plant / "Cfg/Extra.xscn");
    const auto before = Snapshot(plant);
    const Result result = RunTool(dir, {"plant"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("'Cfg/Extra.xscn' leads out of the installation"), std::string::npos)
        << result.err;
    EXPECT_EQ(outside.ReadText("Extra.xscn"), "<screen version=\"2.5\"/>");
    EXPECT_EQ(Snapshot(plant), before);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
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
    EXPECT_NE(result.out.find("not SCADA (no screens, reports or styles in Cfg)"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(dir.ReadText("plant/Cfg/default.xeve"), original.at("Cfg/default.xeve"));
    EXPECT_TRUE(fs::exists(plant / "Data/2008/02/METER_1_02_2008.std"));
}

TEST_F(Migrate27Test, TheReportNamesWhatWasDroppedAndLeft) {
    const Result result = RunTool(dir, {"plant", "--report", "report.json", "--quiet"});
    ASSERT_EQ(result.status, kSampleWarned) << result.err;
    const std::string report = dir.ReadText("report.json");
    for (const char* expected :
         {R"("schemaVersion": 3)", R"("outcome": "migrated")", R"("backupForm": "copy")",
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
        EXPECT_NE(report.find(expected), std::string::npos) << expected;
    }
    // default.xcal is new: it is not counted among the rewritten files.
    EXPECT_EQ(report.find(R"("rewritten": [
    "Cfg/default.xcal")"),
              std::string::npos);
    // The summary ends with the warnings, and tells how to undo.
    const size_t warning = result.out.find("warning: device 'Spare' was dropped");
    ASSERT_NE(warning, std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\n', warning), result.out.size() - 1);
    EXPECT_NE(result.out.find("undo:               qmsupport migrate27 --undo " + plant.string()),
              std::string::npos);
}

// The backup forms and the undo as the command line offers them, with their exit statuses;
// what each form keeps is checked through the library (tests/install).
TEST_F(Migrate27Test, BackupFormsAndUndoGiveTheirExitStatuses) {
    EXPECT_EQ(RunTool(dir, {"plant", "--backup=hard"}).status, 2);
    EXPECT_EQ(RunTool(dir, {"plant", "--backup=link", "--no-backup"}).status, 2);
    ASSERT_EQ(RunTool(dir, {"plant", "--quiet"}).status, kSampleWarned);
    const Result undo = RunTool(dir, {"--undo", "plant"});
    ASSERT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Backups(), std::vector<std::string>{});
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    const Result again = RunTool(dir, {"--undo", "plant"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("no backup"), std::string::npos) << again.err;

    ASSERT_EQ(RunTool(dir, {"plant", "--quiet", "--backup=link"}).status, kSampleWarned);
    EXPECT_TRUE(SharesFiles(dir.Path(Backups().at(0)), plant));
    std::ofstream(plant / "Data/2008/02/METER_1_02_2008.std", std::ios::app) << "more data";
    const Result refused = RunTool(dir, {"--undo", "plant"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("has changed since the migration"), std::string::npos)
        << refused.err;
}

// The GUID-prefixed names in a migrated Cfg folder.
std::vector<std::string> GuidNames(const fs::path& plant) {
    std::vector<std::string> names;
    for (const std::string& name : Names(plant / "Cfg")) {
        if (std::regex_match(name, kGuidPrefixed)) {
            names.push_back(name);
        }
    }
    return names;
}

// A plan's identifiers are the ones applied: two copies migrated by one plan come out byte
// for byte alike, named as the dry run's report said.
TEST_F(Migrate27Test, APlanIsAppliedWithItsIdentifiers) {
    const fs::path copy = dir.Path("copy");
    fs::copy(plant, copy, fs::copy_options::recursive);
    const Result dry = RunTool(dir, {"plant", "--dry-run", "--plan=plan.json", "--quiet"});
    ASSERT_EQ(dry.status, kSampleWarned) << dry.err;
    EXPECT_TRUE(IsOriginal());
    EXPECT_NE(dry.out.find("--apply " + dir.Path("plan.json")), std::string::npos) << dry.out;
    const std::string plan = dir.ReadText("plan.json");
    EXPECT_NE(plan.find(R"({"file": "Cfg/Main.xscn", "size": )"), std::string::npos);
    std::smatch fingerprint;
    ASSERT_TRUE(std::regex_search(plan, fingerprint, std::regex(R"x("plan": "[0-9a-f]{64}")x")));

    const Result applied =
        RunTool(dir, {"plant", "--apply", "plan.json", "--report=report.json", "--quiet"});
    ASSERT_EQ(applied.status, kSampleWarned) << applied.err;
    ExpectMigratedSample(plant);
    EXPECT_NE(dir.ReadText("report.json").find(fingerprint[0].str()), std::string::npos);
    const std::vector<std::string> names = GuidNames(plant);
    ASSERT_EQ(names.size(), 5u);
    for (const std::string& name : names) {
        EXPECT_NE(plan.find("\"Cfg/" + name + "\""), std::string::npos) << name;
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
        fs::remove_all(plant);
        fs::copy(QMSUPPORT_SAMPLE_DIR, plant, fs::copy_options::recursive);
        c.change();
        const auto before = Snapshot(plant);
        const Result result = RunTool(dir, {"plant", "--apply", "plan.json"});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
        EXPECT_EQ(Snapshot(plant), before);
        EXPECT_EQ(Backups(), std::vector<std::string>{});
    }
    // A plan needs a dry run; applying one takes its choices from it.
    EXPECT_EQ(RunTool(dir, {"plant", "--plan", "p.json"}).status, 2);
    EXPECT_EQ(RunTool(dir, {"plant", "--apply", "plan.json", "--scada"}).status, 2);
    std::ofstream(dir.Path("bad.json")) << "{}";
    const Result bad = RunTool(dir, {"plant", "--apply", "bad.json"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("is not a plan"), std::string::npos) << bad.err;
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
    EXPECT_NE(applied.err.find("an interrupted migration was completed"), std::string::npos);
    EXPECT_NE(applied.err.find("plan.json' was not applied"), std::string::npos) << applied.err;
    ExpectMigratedSample(plant);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"plan.json"});
}

// Nothing outside the installation is read for writing, renamed or moved, by a dry run
// either: a program folder or a history folder that leads out through a link is refused.
TEST_F(Migrate27Test, FoldersThatLeadOutOfTheInstallationAreRefused) {
    const std::string config = "plant/Cfg/default.xcfg";
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::string expected;
    } cases[] = {
        {"program folder linked outside",
         [&] {
             dir.MakeDirectory("outside/Data/Meters");
             fs::rename(plant / "Bin", dir.Path("outside/Bin"));
             fs::create_symlink("../outside/Bin", plant / "Bin");
         },
         "the folder 'Bin' leads out of the installation"},
        {"history folder through a link below the program folder",
         [&] {
             dir.MakeDirectory("outside/a/b");
             dir.MakeDirectory("outside/Data/Meters");
             fs::create_symlink("../../outside/a/b", plant / "Bin/sub");
             std::string text = dir.ReadText(config);
             text.replace(text.find("..\\Data\\Meters\\"), 15, "sub\\..\\..\\Data\\Meters\\");
             dir.WriteText(config, text);
         },
         "leads out of the installation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(plant);
        fs::remove_all(dir.Path("outside"));
        fs::copy(QMSUPPORT_SAMPLE_DIR, plant, fs::copy_options::recursive);
        c.arrange();
        dir.WriteText("outside/Data/Meters/METER 1_05_2008.std", "outside");
        const auto before = Snapshot(plant);
        const auto outside = Snapshot(dir.Path("outside"));
        for (const char* dry : {"--dry-run", "--quiet"}) {
            const Result result = RunTool(dir, {"plant", dry});
            EXPECT_EQ(result.status, 1);
            EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
            EXPECT_EQ(Snapshot(dir.Path("outside")), outside);
            EXPECT_EQ(Snapshot(plant), before);
            EXPECT_EQ(Leftovers(), std::vector<std::string>{});
        }
    }
}

TEST_F(Migrate27Test, SideFilesThatCannotBeMigratedSafelyAreRefusedOrReported) {
    // A linked screen would be migrated twice, under each of its names.
    fs::create_symlink("Main.xscn", plant / "Cfg/Alias.xscn");
    auto before = Snapshot(plant);
    Result result = RunTool(dir, {"plant"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("'Cfg/Alias.xscn' is a symbolic link"), std::string::npos)
        << result.err;
    EXPECT_EQ(Snapshot(plant), before);
    fs::remove(plant / "Cfg/Alias.xscn");

    // A name that is not UTF-8 cannot be named by the migration: refused, naming the file.
    dir.WriteText("plant/Cfg/Caf\xE9.xscn", "<screen version=\"2.5\"/>");
    before = Snapshot(plant);
    result = RunTool(dir, {"plant"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("'Cfg/Caf\\xE9.xscn' is not valid UTF-8"), std::string::npos)
        << result.err;
    EXPECT_EQ(Snapshot(plant), before);
    fs::remove(dir.Path("plant/Cfg/Caf\xE9.xscn"));

    // A name too long for its identifier prefix is migrated but keeps its name: reported.
    const std::string longName = std::string(240, 'L') + ".xscn";
    dir.WriteText("plant/Cfg/" + longName, "<screen version=\"2.5\"/>");
    result = RunTool(dir, {"plant", "--report", "report.json", "--no-backup"});
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(fs::exists(plant / "Cfg" / longName));
    EXPECT_NE(dir.ReadText("report.json")
                  .find("{\"file\": \"Cfg/" + longName +
                        "\", \"reason\": \"migrated, but not renamed to its identifier form"),
              std::string::npos);
    EXPECT_NE(result.out.find("warning: Cfg/" + longName + " was left as it was"),
              std::string::npos);
}

TEST_F(Migrate27Test, ASkippedScreenWarnsThatItsGrantsAreLost) {
    dir.WriteText("plant/Cfg/Main.xscn", "<screen>");
    const Result result = RunTool(dir, {"plant", "--no-backup", "--quiet"});
    EXPECT_EQ(result.status, 3);
    for (const char* profile : {"Operator", "Guest"}) {
        EXPECT_NE(result.out.find("warning: Security.xcfg: profile '" + std::string(profile) +
                                  "' loses its grant of Screen 'Main'"),
                  std::string::npos)
            << result.out;
    }
}

TEST_F(Migrate27Test, CtrlCBeforeTheSwapUndoesTheStageAndSaysSo) {
    for (const char* point : {"staged", "migrated"}) {
        const Result result =
            RunTool(dir, {"plant", "--quiet"}, {{"QMSUPPORT_MIGRATE27_INTERRUPT_AT", point}});
        EXPECT_EQ(result.status, 1) << point;
        EXPECT_NE(result.err.find("stopped on request; the staged copy was removed and the "
                                  "installation is unchanged"),
                  std::string::npos)
            << result.err;
        EXPECT_TRUE(IsOriginal());
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
        EXPECT_EQ(Backups(), std::vector<std::string>{});
    }
}

TEST_F(Migrate27Test, StaleJournalTemporariesAreRemoved) {
    dir.WriteText(".plant.migrate27-journal.4242.0.tmp", "qmsupport migrate27 jou");
    ASSERT_EQ(RunTool(dir, {"plant", "--dry-run", "--quiet"}).status, kSampleWarned);
    EXPECT_FALSE(dir.Exists(".plant.migrate27-journal.4242.0.tmp"));
}

// Read-only folders, for a user who is not root: the stage is still removed and the
// installation migrated or left whole.
TEST_F(Migrate27Test, ReadOnlyFoldersAsAnOrdinaryUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    constexpr uid_t kNobody = 65534;
    const auto own = [&](const fs::path& root) {
        ASSERT_EQ(lchown(root.c_str(), kNobody, kNobody), 0);
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
        }
    };
    own(dir.Path());
    fs::permissions(plant / "Cfg", fs::perms(0555));
    // A folder the user cannot empty: the former installation cannot be removed whole.
    dir.MakeDirectory("plant/Data/Archive");
    dir.WriteText("plant/Data/Archive/kept.txt", "root's");
    const auto before = Snapshot(plant);

    Result result = RunTool(dir, {"plant", "--dry-run"}, {}, kNobody);
    EXPECT_EQ(result.status, kSampleWarned) << result.err;
    EXPECT_EQ(Snapshot(plant), before);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});

    // The folder beside the installation is read-only: nothing can be staged.
    fs::permissions(dir.Path(), fs::perms(0555));
    result = RunTool(dir, {"plant"}, {}, kNobody);
    fs::permissions(dir.Path(), fs::perms(0755));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(Snapshot(plant), before);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});

    result = RunTool(dir, {"plant", "--no-backup", "--quiet"}, {}, kNobody);
    EXPECT_EQ(result.status, kSampleWarned) << result.err;
    ExpectMigratedSample(plant);
    EXPECT_EQ(fs::status(plant / "Cfg").permissions() & fs::perms::all, fs::perms(0555));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_NE(result.out.find("warning: the former installation was not removed"),
              std::string::npos)
        << result.out;
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(dir.ReadText(Backups()[0] + "/Data/Archive/kept.txt"), "root's");
}

// A run killed at each point of its course leaves the former installation or the migrated
// one; the next run or --recover then completes or undoes it, leaving nothing behind.
struct KillPoint {
    const char* point;
    bool noExchange;
    bool noBackup;
};

void PrintTo(const KillPoint& kill, std::ostream* out) {
    *out << kill.point;
}

class Migrate27KillTest : public Migrate27Test, public ::testing::WithParamInterface<KillPoint> {};

TEST_P(Migrate27KillTest, RecoversToTheFormerOrTheMigratedInstallation) {
    const KillPoint& kill = GetParam();
    std::map<std::string, std::string> env = {{"QMSUPPORT_MIGRATE27_KILL_AT", kill.point}};
    if (kill.noExchange) {
        env["QMSUPPORT_MIGRATE27_NO_EXCHANGE"] = "1";
    }
    std::vector<std::string> args = {"plant", "--quiet"};
    if (kill.noBackup) {
        args.push_back("--no-backup");
    }
    const Result killed = RunTool(dir, args, env);
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
    EXPECT_NE(dry.err.find("--recover"), std::string::npos) << dry.err;

    const Result recovered = RunTool(dir, {"--recover", "plant"});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    if (IsOriginal()) {
        EXPECT_EQ(Backups(), std::vector<std::string>{});
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
    [](const auto& info) {
        std::string name = info.param.point;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name + (info.param.noExchange ? "_TwoRenames" : "") +
               (info.param.noBackup ? "_NoBackup" : "");
    });

}  // namespace

namespace {

// An undo killed at each point of its swap leaves the migrated installation or the original;
// --recover then completes or rolls it back, and the migrated tree is never lost.
class Migrate27UndoKillTest : public Migrate27Test,
                              public ::testing::WithParamInterface<KillPoint> {};

TEST_P(Migrate27UndoKillTest, LeavesTheMigratedOrTheOriginalInstallation) {
    const KillPoint& kill = GetParam();
    ASSERT_EQ(RunTool(dir, {"plant", "--quiet"}).status, kSampleWarned);
    const auto migrated = Snapshot(plant);
    std::map<std::string, std::string> env = {{"QMSUPPORT_MIGRATE27_KILL_AT", kill.point}};
    if (kill.noExchange) {
        env["QMSUPPORT_MIGRATE27_NO_EXCHANGE"] = "1";
    }
    const Result killed = RunTool(dir, {"--undo", "plant"}, env);
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    if (fs::exists(plant)) {
        EXPECT_TRUE(IsOriginal() || Snapshot(plant) == migrated);
    } else {
        EXPECT_EQ(std::string(kill.point), "moved-aside");
    }

    const Result recovered = RunTool(dir, {"--recover", "plant"});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    if (!IsOriginal()) {
        EXPECT_EQ(Snapshot(plant), migrated);
        ASSERT_EQ(RunTool(dir, {"--undo", "plant"}).status, 0);
    }
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Backups(), std::vector<std::string>{});
    std::vector<std::string> after;
    for (const std::string& name : Names(dir.Path())) {
        if (name.find("plant.after-2.7.") == 0) {
            after.push_back(name);
        }
    }
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(Snapshot(dir.Path(after[0])), migrated);
}

INSTANTIATE_TEST_SUITE_P(Points, Migrate27UndoKillTest,
                         ::testing::Values(KillPoint{"journal", false, false},
                                           KillPoint{"swapped", false, false},
                                           KillPoint{"finishing", false, false},
                                           KillPoint{"moved-aside", true, false}),
                         [](const auto& info) {
                             std::string name = info.param.point;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name + (info.param.noExchange ? "_TwoRenames" : "");
                         });

}  // namespace

TEST_F(Migrate27Test, MalformedFilesAreReportedWithLineColumnAndReason) {
    dir.WriteText("plant/Cfg/Broken.xscn", "<screen>\n  <page Id=\"1\" Id=\"2\"/>\n</screen>");
    Result result = RunTool(dir, {"plant", "--dry-run"});
    ASSERT_EQ(result.status, 3) << result.err;
    EXPECT_NE(result.out.find("Cfg/Broken.xscn:2:22: attribute 'Id' redefined"), std::string::npos)
        << result.out;

    dir.WriteText("plant/Cfg/default.xcfg", "<Configuration>\n<CommSystem>\n</Configuration>");
    result = RunTool(dir, {"plant"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Cfg/default.xcfg:3:17: opening and ending tag mismatch"),
              std::string::npos)
        << result.err;
}
