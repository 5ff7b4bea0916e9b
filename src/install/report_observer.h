#pragma once

// Fills a MigrationReport from the 2.5 and 2.7 migrations' notifications, and tells the progress of
// each step.

#include "install/install_common.h"

#include <qmsupport/install/installation_migration.h>
#include <qmsupport/install/migration_report.h>
#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/migrate27/transform_observer.h>

#include <set>

namespace qm::install {

// The library's paths are taken relative to `workingDirectory` (its current directory) and
// reported relative to `stage`.
class ReportObserver : public QMTransformCfgTo27Observer {
  public:
    ReportObserver(MigrationReport& report, const fs::path& stage, const fs::path& workingDirectory,
                   MigrationProgress& progress)
        : report_(report), stage_(stage), cwd_(workingDirectory), progress_(progress) {}

    void OnRenamePair(RenameKind kind, const RenamePair& pair) override;
    void OnRenamePairUsed(RenameKind kind, const RenamePair& pair, size_t places) override;
    void OnSideFile(SideFileEvent event, const QMWideString& path,
                    const QMWideString& newPath) override;
    void OnDeviceDropped(const QMWideString& device, const QMWideString& connection) override;
    void OnVirtualDeviceConverted(const QMWideString& device) override;
    void OnHistoryFileMoved(const QMWideString& from, const QMWideString& to, bool moved) override;
    void OnControlDropped(const QMWideString& file, int page, const QMWideString& tag,
                          ControlDropReason reason) override;
    void OnImageStored(const QMWideString& file, const QMWideString& image,
                       const QMWideString& source, bool stored) override;
    void OnSecurityResourceChanged(const QMWideString& file, const QMWideString& profile,
                                   const QMWideString& oldName,
                                   const QMWideString& newName) override;

    // The stage file a library path names, and the same relative to the installation.
    fs::path StagePath(const QMWideString& path) const;
    std::string Relative(const fs::path& stagePath) const;

    // The totals of the side-file and the history-file phases.
    void SetTotals(size_t sideFiles, size_t historyFiles) {
        sideTotal_ = sideFiles;
        historyTotal_ = historyFiles;
    }

    // Side files that were migrated but could not be saved: the run must not be swapped in.
    const std::vector<std::string>& SaveFailed() const { return saveFailed_; }

  private:
    void Tick(bool history);

    MigrationReport& report_;
    fs::path stage_;
    fs::path cwd_;
    MigrationProgress& progress_;
    std::vector<std::string> saveFailed_;
    size_t steps_[2] = {0, 0};  // side files, history files
    size_t sideTotal_ = 0;
    size_t historyTotal_ = 0;
    bool started_ = false;
    std::set<std::string> counted_;   // side files that have taken their step
    size_t usedRenames_[2] = {0, 0};  // device, variable pairs told of their places so far
    bool inHistory_ = false;
};

}  // namespace qm::install
