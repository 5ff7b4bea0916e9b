// The installation service driven through the library alone, on copies of the sample plant.

#include "common/plant_copy.h"

#include <qmsupport/install/installation_migration.h>
#include <qmsupport/setup/tarvio_setup.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace qm::install;

class InstallationMigrationTest : public PlantCopyTest {
  protected:
    InstallationMigrationTest() : PlantCopyTest(QMSUPPORT_SAMPLE_DIR) {}

    // The one folder kept beside the plant whose name starts with `prefix`.
    fs::path Kept(const std::string& prefix) const {
        const std::vector<std::string> names = Beside(prefix);
        EXPECT_EQ(names.size(), 1u) << prefix;
        return names.empty() ? fs::path() : fs::path(dir.Path(names[0]));
    }

    Result Migrate(BackupForm backup, bool dryRun = false, MigrationProgress* progress = nullptr) {
        MigrationOptions options;
        options.install = plant.string();
        options.backup = backup;
        options.dryRun = dryRun;
        return MigrateInstallationTo27(options, report, progress);
    }

    void Append(const std::string& file, const std::string& text) {
        std::ofstream(plant / file, std::ios::binary | std::ios::app) << text;
    }

    MigrationReport report;
};

TEST_F(InstallationMigrationTest, MigratesWithAnIndependentBackupAndUndoesIt) {
    // Two names of one file, with their own mode and time: the copies keep all three.
    std::ofstream(plant / "Data/notes.txt") << "notes";
    fs::create_hard_link(plant / "Data/notes.txt", plant / "Data/notes-twin.txt");
    fs::permissions(plant / "Data/notes.txt", fs::perms::owner_read | fs::perms::group_read);
    const auto time = fs::file_time_type::clock::now() - std::chrono::hours(1000);
    fs::last_write_time(plant / "Data/notes.txt", time);
    original = Snapshot(plant);
    const Result result = Migrate(BackupForm::Copy);
    ASSERT_EQ(result.status, Status::Done) << result.message;
    EXPECT_EQ(report.outcome, "migrated");
    EXPECT_EQ(report.backupForm, "copy");
    EXPECT_GT(report.backupCopies, 0u);
    const fs::path backup = Kept("plant.before-2.7.");
    EXPECT_EQ(report.backup, backup.string());
    EXPECT_EQ(Snapshot(backup), original);
    EXPECT_FALSE(SharesFiles(backup, plant));
    struct stat notes, twin;
    ASSERT_EQ(lstat((plant / "Data/notes.txt").c_str(), &notes), 0);
    ASSERT_EQ(lstat((plant / "Data/notes-twin.txt").c_str(), &twin), 0);
    EXPECT_EQ(notes.st_ino, twin.st_ino);
    EXPECT_EQ(notes.st_mode & 07777, 0440u);
    EXPECT_EQ(fs::last_write_time(plant / "Data/notes.txt"), time);
    // default.xcal did not exist before: it is created, not rewritten.
    EXPECT_EQ(report.created, std::vector<std::string>{"Cfg/default.xcal"});

    Append("Data/2008/02/METER_1_02_2008.std", "appended after the migration");
    EXPECT_EQ(Snapshot(backup), original);

    const auto migrated = Snapshot(plant);
    const Result undo = UndoMigrationTo27(plant.string());
    ASSERT_EQ(undo.status, Status::Done) << undo.message;
    EXPECT_TRUE(IsOriginal());
    EXPECT_EQ(Snapshot(Kept("plant.after-2.7.")), migrated);
    EXPECT_TRUE(Beside("plant.before-2.7.").empty());
    // Undone once: there is nothing more to undo.
    EXPECT_EQ(UndoMigrationTo27(plant.string()).status, Status::Refused);
    EXPECT_TRUE(IsOriginal());
}

TEST_F(InstallationMigrationTest, ALinkedBackupIsUndoneOnlyWhileItsSharedFilesAreUnchanged) {
    ASSERT_EQ(Migrate(BackupForm::Link).status, Status::Done);
    EXPECT_TRUE(SharesFiles(Kept("plant.before-2.7."), plant));
    EXPECT_EQ(report.backupCopies, 0u);
    ASSERT_EQ(UndoMigrationTo27(plant.string()).status, Status::Done);
    EXPECT_TRUE(IsOriginal());

    fs::remove_all(Kept("plant.after-2.7."));
    ASSERT_EQ(Migrate(BackupForm::Link).status, Status::Done);
    Append("Data/2008/02/METER_1_02_2008.std", "x");
    const auto changed = Snapshot(plant);
    const Result refused = UndoMigrationTo27(plant.string());
    EXPECT_EQ(refused.status, Status::Refused);
    EXPECT_NE(refused.message.find("METER 1_02_2008.std"), std::string::npos) << refused.message;
    EXPECT_EQ(Snapshot(plant), changed);
    EXPECT_TRUE(Beside("plant.after-2.7.").empty());
}

// Without a backup there is no undo, and a second run leaves the migrated tree alone. The
// host's setup and current directory are given back.
TEST_F(InstallationMigrationTest, WithoutABackupThereIsNoUndoAndASecondRunChangesNothing) {
    QMTarvioSetup host;
    host.SetCfgPath(L"..\\HostCfg\\");
    host.SetVersion(0);
    const fs::path cwd = fs::current_path();
    ASSERT_EQ(Migrate(BackupForm::None).status, Status::Done);
    ASSERT_TRUE(QMTarvioSetup::HasInstance());
    EXPECT_EQ(&QMTarvioSetup::Get(), &host);
    EXPECT_EQ(host.CfgPath(), L"..\\HostCfg\\");
    EXPECT_EQ(host.Version(), 0u);
    EXPECT_EQ(fs::current_path(), cwd);
    // The sample's screens made the run a SCADA one all the same.
    EXPECT_TRUE(report.scada);
    EXPECT_FALSE(report.renamed.empty());
    EXPECT_TRUE(report.backup.empty());

    const auto migrated = Snapshot(plant);
    EXPECT_EQ(UndoMigrationTo27(plant.string()).status, Status::Refused);
    const Result again = Migrate(BackupForm::Copy);
    EXPECT_EQ(again.status, Status::NothingToDo) << again.message;
    EXPECT_TRUE(static_cast<bool>(again));
    EXPECT_EQ(report.outcome, "already migrated");
    EXPECT_EQ(Snapshot(plant), migrated);
    EXPECT_TRUE(Beside("plant.before-2.7.").empty());
}

TEST_F(InstallationMigrationTest, ADryRunOrARefusalChangesNothingAndReportsIt) {
    const Result dry = Migrate(BackupForm::Copy, true);
    ASSERT_EQ(dry.status, Status::Done) << dry.message;
    EXPECT_EQ(report.outcome, "dry run");
    EXPECT_FALSE(report.deviceRenames.empty());
    EXPECT_TRUE(IsOriginal());
    EXPECT_TRUE(Beside("plant.before-2.7.").empty());
    EXPECT_TRUE(Beside("plant.migrate27-").empty());

    // Failures are results, not exceptions.
    fs::remove_all(plant / "Data");
    const Result missing = Migrate(BackupForm::Copy);
    EXPECT_EQ(missing.status, Status::Refused);
    EXPECT_FALSE(static_cast<bool>(missing));
    EXPECT_NE(missing.message.find("no data folder"), std::string::npos);
    EXPECT_EQ(report.outcome, "refused");
    EXPECT_EQ(RecoverInstallationTo27(plant.string()).status, Status::NothingToDo);
}

// A copy that fails while the stage is built, on whichever thread made it, fails the run and
// leaves the installation as it was, with no stage beside it.
TEST_F(InstallationMigrationTest, ACopyThatFailsFailsTheRunAndLeavesNothing) {
    std::ofstream(plant / "Data/big.bin", std::ios::binary) << std::string(1 << 20, 'x');
    original = Snapshot(plant);
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 1 << 19;  // the copy of big.bin stops half way
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Result result = Migrate(BackupForm::Copy);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_NE(result.message.find("Data/big.bin"), std::string::npos) << result.message;
    EXPECT_TRUE(IsOriginal());
    EXPECT_TRUE(Beside("plant.migrate27-").empty());
}

// Records the phases with their totals and the last step of each; asks to stop at once when
// `stop` is set.
class PhaseRecorder : public MigrationProgress {
  public:
    void OnPhase(Phase phase, size_t total) override {
        if (phases.empty() || phases.back().phase != phase) {
            phases.push_back({phase, total, 0});
        }
    }
    void OnStep(size_t done) override { phases.back().done = done; }
    bool StopRequested() override { return stop; }
    struct Seen {
        Phase phase;
        size_t total;
        size_t done;
    };
    std::vector<Seen> phases;
    bool stop = false;
};

TEST_F(InstallationMigrationTest, ProgressGoesThroughThePhasesWithTheirTotals) {
    PhaseRecorder recorder;
    ASSERT_EQ(Migrate(BackupForm::Copy, false, &recorder).status, Status::Done);
    const auto& phases = recorder.phases;
    ASSERT_GE(phases.size(), 5u);
    EXPECT_EQ(phases.front().phase, Phase::Staging);
    EXPECT_EQ(phases.front().total, report.stagedFiles);
    EXPECT_EQ(phases.front().done, report.stagedFiles);
    const auto& backup = phases[phases.size() - 2];
    EXPECT_EQ(backup.phase, Phase::Backup);
    // Most copies for the backup are made while staging; this phase copies what is left.
    EXPECT_LE(backup.total, report.backupCopies);
    EXPECT_EQ(backup.done, backup.total);
    EXPECT_EQ(phases.back().phase, Phase::Swap);
    // Side files and history files alternate in between, each kind counting on.
    size_t history = 0;
    for (size_t i = 1; i + 2 < phases.size(); ++i) {
        ASSERT_TRUE(phases[i].phase == Phase::SideFiles || phases[i].phase == Phase::HistoryFiles);
        EXPECT_LE(phases[i].done, phases[i].total);
        if (phases[i].phase == Phase::HistoryFiles) {
            history = phases[i].done;
        }
    }
    EXPECT_EQ(history, report.historyMoved.size());
}

// A stop asked for while the stage is built undoes the stage.
TEST_F(InstallationMigrationTest, AStopRequestUndoesTheStage) {
    PhaseRecorder stop;
    stop.stop = true;
    EXPECT_EQ(Migrate(BackupForm::Copy, false, &stop).status, Status::Interrupted);
    EXPECT_EQ(report.outcome, "interrupted");
    EXPECT_TRUE(IsOriginal());
    EXPECT_TRUE(Beside("plant.migrate27-").empty());
    EXPECT_TRUE(Beside("plant.before-2.7.").empty());
}

}  // namespace
