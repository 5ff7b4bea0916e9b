#pragma once

// What a migration did: gathered from the library's observer, shown as progress while it
// runs, and written afterwards as a JSON report and a readable summary.

#include "migrate27_common.h"

#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/migrate27/transform_observer.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace migrate27 {

// One line on stderr, rewritten in place, shown only on a terminal.
class Progress {
  public:
    explicit Progress(bool enabled) : enabled_(enabled) {}
    ~Progress() { Done(); }
    // Shows `text` unless the last update was very recent; `force` shows it regardless.
    void Show(const std::string& text, bool force = false);
    // Clears the line.
    void Done();

  private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

struct MovedFile {
    std::string from;
    std::string to;
};

struct SkippedFile {
    std::string file;
    std::string reason;
    std::string where;  // "file:line:column: message" when the text is not well-formed
};

// The record of one migration. File names are relative to the installation, with "/".
struct Report {
    std::string installation;
    std::string configuration;  // the main configuration file
    bool dryRun = false;
    bool scada = false;
    std::string scadaReason;               // how SCADA was decided
    std::string backup;                    // empty: none kept
    std::vector<MovedFile> deviceRenames;  // old and new names, as plain text
    std::vector<MovedFile> variableRenames;
    std::vector<std::string> rewritten;
    std::vector<MovedFile> renamed;
    std::vector<MovedFile> historyMoved;
    std::vector<MovedFile> historyFailed;
    std::vector<SkippedFile> skipped;
    std::vector<std::string> loaded;
    size_t stagedFiles = 0;
    size_t copiedFiles = 0;

    std::string Json() const;
    // The summary printed after a run.
    void PrintSummary(FILE* out) const;
};

// Fills a Report from the library's notifications. The library's paths are taken relative
// to `workingDirectory` (its current directory) and reported relative to `stage`.
class ReportObserver : public QMTransformCfgTo27Observer {
  public:
    ReportObserver(Report& report, const fs::path& stage, const fs::path& workingDirectory,
                   Progress& progress)
        : report_(report), stage_(stage), cwd_(workingDirectory), progress_(progress) {}

    void OnRenamePair(RenameKind kind, const RenamePair& pair) override;
    void OnSideFile(SideFileEvent event, const QMWideString& path,
                    const QMWideString& newPath) override;
    void OnHistoryFileMoved(const QMWideString& from, const QMWideString& to, bool moved) override;

    // The stage file a library path names, and the same relative to the installation.
    fs::path StagePath(const QMWideString& path) const;
    std::string Relative(const fs::path& stagePath) const;

  private:
    void Tick();

    Report& report_;
    fs::path stage_;
    fs::path cwd_;
    Progress& progress_;
};

}  // namespace migrate27
