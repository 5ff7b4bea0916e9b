// End-to-end tests of `qmsupport migrate25` and `qmsupport upgrade`, run as separate processes
// on copies of the legacy sample installation.

#include "common/plant_copy.h"
#include "common/run_program.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using ::testing::HasSubstr;
using Result = ProgramResult;
using Strings = std::vector<std::string>;

// The sample leaves out controls of unknown kinds on purpose, so a migration of it ends with
// warnings.
constexpr int kSampleWarned = 3;

// Every step of the 2.5 migration, then `more`.
Strings AllSteps(std::initializer_list<std::string> more) {
    Strings args = {"--legacy-screens", "--alarms", "Cfg/alarms.cfg"};
    args.insert(args.end(), more);
    return args;
}
// The display and time zone of every run.
const std::map<std::string, std::string> kFixedSetting = {
    {"TZ", "UTC"}, {"QMSUPPORT_DISPLAY", "1920x1080@508x285.75mm/96"}};

class Migrate25Test : public PlantCopyTest {
  protected:
    Migrate25Test() : PlantCopyTest(QMSUPPORT_LEGACY_SAMPLE_DIR) {}

    // Runs `qmsupport COMMAND ARGS...`; Migrate25 and Upgrade give the installation first.
    Result Run(const std::string& command, Strings args,
               std::map<std::string, std::string> env = {}) const {
        env.insert(kFixedSetting.begin(), kFixedSetting.end());
        return RunCommand(dir, command, std::move(args), env);
    }
    Result Migrate25(Strings args, const std::map<std::string, std::string>& env = {}) const {
        args.insert(args.begin(), "plant");
        return Run("migrate25", std::move(args), env);
    }
    Result Upgrade(Strings args, const std::map<std::string, std::string>& env = {}) const {
        args.insert(args.begin(), "plant");
        return Run("upgrade", std::move(args), env);
    }

    // What a run may leave beside the installation besides its backups: nothing but the lock
    // and undo files.
    Strings Leftovers() const {
        Strings names;
        for (const std::string& name : Beside("plant.")) {
            if (name.find(".before-") == std::string::npos &&
                name.find(".after-") == std::string::npos &&
                name.find("-lock") == std::string::npos &&
                name.find("-undo") == std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    }
};

// Every GUID of `text` replaced by a token numbered in order of first appearance, the same
// GUID by the same token across all texts given to one object.
class GuidTokens {
  public:
    std::string Replace(const std::string& text) {
        static const std::regex guid(
            R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
        std::string out;
        auto last = text.cbegin();
        for (std::sregex_iterator it(text.begin(), text.end(), guid), end; it != end; ++it) {
            out.append(last, text.cbegin() + it->position());
            const auto [token, added] = tokens_.emplace(it->str(), tokens_.size() + 1);
            out += "{GUID-" + std::to_string(token->second) + "}";
            last = text.cbegin() + it->position() + it->length();
        }
        return out.append(last, text.cend());
    }

  private:
    std::map<std::string, size_t> tokens_;
};

// What a migration changed in the installation, comparable from run to run: "files.txt" lists
// every file created or changed, and each changed XML file is given with its GUIDs as tokens.
std::map<std::string, std::string> Changes(const std::map<std::string, std::string>& before,
                                           const std::map<std::string, std::string>& after) {
    std::map<std::string, std::string> changes;
    GuidTokens tokens;
    for (const auto& [file, content] : after) {
        const auto old = before.find(file);
        if (content == "<dir>" || (old != before.end() && old->second == content)) {
            continue;
        }
        changes["files.txt"] += file + "\n";
        const std::string extension = fs::path(file).extension().string();
        if (extension == ".xscn" || extension == ".xrpt" || extension == ".xsty" ||
            extension == ".xeve" || extension == ".xcfg") {
            changes[file] = tokens.Replace(content);
        }
    }
    return changes;
}

// The migrated sample against the checked-in result, then the legacy steps again, which
// refuse to convert twice. QMSUPPORT_UPDATE_GOLDEN=1 rewrites the checked-in files from this
// run instead, for a change of the migration made on purpose.
TEST_F(Migrate25Test, TheMigratedSampleMatchesItsGoldenFilesAndIsNotConvertedTwice) {
    const Result result = Migrate25(AllSteps({"--report", "report.json", "--quiet"}));
    ASSERT_EQ(result.status, kSampleWarned) << result.err;
    const std::string report = dir.ReadText("report.json");
    EXPECT_THAT(report, HasSubstr(R"("steps": [
    "legacy screens",
    "legacy alarms",
    "2.5",
    "security"
  ])"));
    // The legacy files were found in the installation, through Bin/.. as the programs did.
    for (const std::string file :
         {"Cfg/Plant.xscn", "Cfg/Boiler.xscn", "Cfg/Title.xsty", "Cfg/default.xeve",
          "Data/Events_03_2004.eve", "Cfg/Security.xcfg"}) {
        EXPECT_TRUE(fs::exists(plant / file)) << file;
        EXPECT_THAT(report, HasSubstr("\"" + file + "\""));
    }
    EXPECT_THAT(dir.ReadText("plant/Cfg/default.xcfg"), HasSubstr("StartScreen=\"Plant\""));
    EXPECT_THAT(dir.ReadText("plant/Cfg/Security.xcfg"), HasSubstr("Notified"));
    EXPECT_THAT(report, HasSubstr(R"("display": "1920x1080@508x285.75mm/96")"));
    EXPECT_THAT(report, ::testing::AnyOf(HasSubstr(R"("timeZone": "UTC")"),
                                         HasSubstr(R"("timeZone": "Etc/UTC")")));
    // An unknown control kind is named among the warnings.
    EXPECT_THAT(result.out, HasSubstr("warning: the control Cfg/Overview.xscn, page 1: gauge"));
    // The former installation is kept whole, and shares no file with the migrated one.
    const auto backups = Beside("plant.before-2.5.");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(Snapshot(dir.Path(backups[0])), original);
    EXPECT_FALSE(SharesFiles(plant, dir.Path(backups[0])));
    EXPECT_EQ(Leftovers(), Strings{});

    const auto migrated = Snapshot(plant);
    const auto changes = Changes(original, migrated);
    const fs::path golden = QMSUPPORT_GOLDEN_DIR;
    if (std::getenv("QMSUPPORT_UPDATE_GOLDEN") != nullptr) {
        fs::remove_all(golden);
        for (const auto& [file, content] : changes) {
            fs::create_directories((golden / file).parent_path());
            std::ofstream(golden / file, std::ios::binary) << content;
        }
    }
    ASSERT_TRUE(fs::is_directory(golden));
    std::map<std::string, std::string> expected = Snapshot(golden);
    std::erase_if(expected, [](const auto& entry) { return entry.second == "<dir>"; });
    EXPECT_EQ(changes.at("files.txt"), expected["files.txt"]);
    for (const auto& [file, content] : expected) {
        EXPECT_EQ(changes.count(file) ? changes.at(file) : "(missing)", content) << file;
    }

    const Result screens = Migrate25({"--legacy-screens"});
    EXPECT_EQ(screens.status, 1);
    EXPECT_THAT(screens.err, HasSubstr("'Plant.xscn' exists"));
    const Result alarms = Migrate25({"--alarms", "Cfg/alarms.cfg"});
    EXPECT_EQ(alarms.status, 1);
    EXPECT_THAT(alarms.err, HasSubstr("legacy alarm 'HighTemp' was converted before"));
    EXPECT_EQ(Snapshot(plant), migrated);
    EXPECT_EQ(Leftovers(), Strings{});

    // Every file is at 2.5 now: nothing to do, unless forced.
    const Result nothing = Migrate25({});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_THAT(nothing.out, HasSubstr("every screen, report and style is at 2.5 or later"));
    EXPECT_EQ(Snapshot(plant), migrated);

    const Result forced = Migrate25({"--alarms", "Cfg/alarms.cfg", "--force", "--no-backup"});
    EXPECT_EQ(forced.status, kSampleWarned) << forced.err << forced.out;
    EXPECT_NE(Snapshot(plant), migrated);
}

TEST_F(Migrate25Test, UpgradeRunsBothMigrationsWithOneBackup) {
    // A dry run shows the whole path, and changes nothing.
    const Result dry = Upgrade(AllSteps({"--dry-run", "--report", "report.json"}));
    ASSERT_EQ(dry.status, kSampleWarned) << dry.err;
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Leftovers(), Strings{});
    EXPECT_EQ(Beside("plant.before-"), Strings{});
    EXPECT_THAT(dry.out, HasSubstr("steps:              legacy screens, legacy alarms, 2.5, "
                                   "security, 2.7"));
    EXPECT_THAT(dir.ReadText("report.json"), HasSubstr(R"("dryRun": true)"));

    ASSERT_EQ(Upgrade(AllSteps({"--quiet"})).status, kSampleWarned);
    EXPECT_THAT(dir.ReadText("plant/Cfg/default.xcfg"),
                HasSubstr("<Configuration version=\"2.7\""));
    // The screens converted from the legacy set went on to the 2.7 names.
    bool renamed = false;
    for (const std::string& name : Names(plant / "Cfg")) {
        renamed = renamed || (name.front() == '{' && name.ends_with(".Plant.xscn"));
    }
    EXPECT_TRUE(renamed);
    ASSERT_EQ(Beside("plant.before-").size(), 1u);
    EXPECT_EQ(Snapshot(dir.Path(Beside("plant.before-2.7.")[0])), original);

    // Nothing is left to do, for the upgrade or for either migration alone.
    const auto upgraded = Snapshot(plant);
    const Result again = Upgrade({});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.out, HasSubstr("nothing was changed"));
    EXPECT_EQ(Snapshot(plant), upgraded);

    // The undo gives back the installation from before both migrations.
    ASSERT_EQ(Run("upgrade", {"--undo", "plant"}).status, 0);
    EXPECT_TRUE(IsOriginal());
}

TEST_F(Migrate25Test, RefusalsNameTheirCauseAndChangeNothing) {
    const struct {
        const char* name;
        Strings args;
        std::string expected;
        std::function<void()> prepare;
    } cases[] = {
        {"alarm file outside", {"--alarms", "/etc/hostname"}, "lies outside the installation", {}},
        {"alarm file missing", {"--alarms", "Cfg/none.cfg"}, "there is no legacy alarm file", {}},
        {"no legacy screens",
         {"--legacy-screens"},
         "there is no legacy SCADA application file",
         [&] { fs::remove(plant / "Cfg/scada/default.apl"); }},
        {"every file at 2.5",
         {"--no-security"},
         "every screen, report and style is at 2.5 or later",
         [&] {
             for (const std::string& name : Names(plant / "Cfg")) {
                 if (name.ends_with(".xscn") || name.ends_with(".xrpt") ||
                     (name.ends_with(".xsty") && name != "Modern.xsty")) {
                     fs::remove(plant / "Cfg" / name);
                 }
             }
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recopy();
        if (c.prepare) {
            c.prepare();
        }
        const auto before = Snapshot(plant);
        const Result result = Migrate25(c.args);
        EXPECT_THAT(result.err + result.out, HasSubstr(c.expected));
        EXPECT_EQ(Snapshot(plant), before);
        EXPECT_EQ(Leftovers(), Strings{});
        EXPECT_EQ(Beside("plant.before-"), Strings{});
    }
}

TEST_F(Migrate25Test, UsageErrorsChangeNothing) {
    for (const Strings& args : {Strings{"plant", "--display", "big"},
                                Strings{"plant", "--apply", "x.plan", "--legacy-screens"},
                                Strings{"--recover", "plant", "--force"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(Run("migrate25", args).status, 2);
    }
    EXPECT_TRUE(IsOriginal());
}

TEST_F(Migrate25Test, APlanIsAppliedWithItsStepsAndOnlyByItsOwnCommand) {
    ASSERT_EQ(
        Migrate25(AllSteps({"--dry-run", "--plan", "run.plan", "--report", "planned.json"})).status,
        kSampleWarned);
    EXPECT_TRUE(IsOriginal());

    const Result other = Upgrade({"--apply", "run.plan"});
    EXPECT_EQ(other.status, 1);
    EXPECT_THAT(other.err, HasSubstr("made by qmsupport migrate25"));

    ASSERT_EQ(Migrate25({"--apply", "run.plan", "--report", "applied.json"}).status, kSampleWarned);
    // The plan's steps ran, and its identifiers came back: the same start screen file.
    EXPECT_TRUE(fs::exists(plant / "Data/Events_03_2004.eve"));
    const auto created = [](const std::string& report) {
        return report.substr(report.find("\"created\""));
    };
    EXPECT_EQ(created(dir.ReadText("applied.json")), created(dir.ReadText("planned.json")));
}

TEST_F(Migrate25Test, AnotherKindOfMigrationIsLockedOut) {
    const int fd = open(dir.Path("plant.migrate27-lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Result result = Migrate25({});
    close(fd);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("another migration"));
    EXPECT_TRUE(IsOriginal());
}

// Runs killed at points of their course never change a byte of the live installation before
// the swap: files the steps write in place of (the events file, the event history appended
// to) are replaced in the stage, never written through the hard links it shares with the
// installation. A file linked from outside shows a write in place.
class Migrate25KillTest : public Migrate25Test,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(Migrate25KillTest, TheLiveInstallationIsUnchangedAndRecoverable) {
    const std::string point = GetParam();
    // An event history to append to, and an events file to add to.
    dir.WriteText("plant/Data/Events_03_2004.eve", std::string("EVENTv2.00\0", 11));
    dir.WriteText("plant/Cfg/default.xeve", "<main><events/></main>");
    original = Snapshot(plant);
    fs::create_hard_link(plant / "Data/Events_03_2004.eve", dir.Path("events-link"));
    fs::create_hard_link(plant / "Cfg/default.xeve", dir.Path("xeve-link"));
    fs::create_hard_link(plant / "Cfg/Overview.xscn", dir.Path("screen-link"));
    const auto links = [&] {
        return dir.ReadText("events-link") + dir.ReadText("xeve-link") +
               dir.ReadText("screen-link");
    };
    const std::string linked = links();

    const Result killed =
        Upgrade(AllSteps({"--quiet", "--backup=link"}), {{"QMSUPPORT_MIGRATE27_KILL_AT", point}});
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    EXPECT_EQ(links(), linked);
    if (point == "staged" || point == "migrated" || point == "journal") {
        EXPECT_TRUE(IsOriginal());
    }

    // Another kind of migration waits for this one's recovery.
    const Result other = Migrate25({});
    EXPECT_EQ(other.status, 1);
    EXPECT_THAT(other.err, HasSubstr("qmsupport upgrade --recover"));

    const Result recovered = Run("upgrade", {"--recover", "plant"});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(links(), linked);
    if (!IsOriginal()) {
        EXPECT_THAT(dir.ReadText("plant/Cfg/default.xcfg"), HasSubstr("version=\"2.7\""));
    }
}

INSTANTIATE_TEST_SUITE_P(Points, Migrate25KillTest,
                         ::testing::Values("staged", "migrated", "journal", "swapped"));

}  // namespace
