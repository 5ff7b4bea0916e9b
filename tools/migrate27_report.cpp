#include "migrate27_report.h"

#include "text_output.h"

#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/xml_document.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace migrate27 {

namespace {

std::string Unescaped(const QMNarrowString& escaped) {
    QMNarrowString text;
    Xml2Text(text, escaped.c_str());
    return text.str();
}

// Writes `"name": [ ... ]` with one item per line; `item` appends one element.
template <class T, class F>
void AppendJsonList(std::string& out, const char* name, const std::vector<T>& items, F item) {
    out += "  \"";
    out += name;
    out += "\": [";
    for (size_t i = 0; i < items.size(); ++i) {
        out += i ? ",\n    " : "\n    ";
        item(items[i]);
    }
    out += items.empty() ? "],\n" : "\n  ],\n";
}

// How a file that did not load went wrong; `where` is told the place in the text.
std::string WhyNotLoaded(const fs::path& file, const std::string& name, std::string& where) {
    std::error_code error;
    if (!fs::exists(file, error)) {
        return "no such file";
    }
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "cannot be read: " + ErrnoText();
    }
    close(fd);
    XmlDocument document;
    if (!document.Load(Wide(file.string()).c_str())) {
        where = LoadFailure(name, document);
    }
    return "not a well-formed XML file";
}

// The first pairs of a list, one per line, for the summary.
void PrintFirst(FILE* out, const std::vector<MovedFile>& renames) {
    constexpr size_t kShown = 8;
    for (size_t i = 0; i < renames.size() && i < kShown; ++i) {
        std::fprintf(out, "    %s -> %s\n", renames[i].from.c_str(), renames[i].to.c_str());
    }
    if (renames.size() > kShown) {
        std::fprintf(out, "    ... and %zu more\n", renames.size() - kShown);
    }
}

}  // namespace

void Progress::Show(const std::string& text, bool force) {
    if (!enabled_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && shown_ && now - last_ < std::chrono::milliseconds(100)) {
        return;
    }
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void Progress::Done() {
    if (enabled_ && shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }
}

fs::path ReportObserver::StagePath(const QMWideString& path) const {
    // The library builds its paths from the stage's real folder names and the names its
    // searches found, so only the separators need translating. (Resolving the case of each
    // component would read a whole folder for every file that has just moved out of it.)
    std::string text = Utf8(path);
    std::replace(text.begin(), text.end(), '\\', '/');
    const fs::path native = text;
    return (native.is_absolute() ? native : cwd_ / native).lexically_normal();
}

std::string ReportObserver::Relative(const fs::path& stagePath) const {
    return stagePath.lexically_relative(stage_).generic_string();
}

void ReportObserver::Tick() {
    progress_.Show("migrating: " + std::to_string(report_.rewritten.size()) + " files rewritten, " +
                   std::to_string(report_.historyMoved.size()) + " history files moved");
}

void ReportObserver::OnRenamePair(RenameKind kind, const RenamePair& pair) {
    auto& list = kind == RenameKind::Device ? report_.deviceRenames : report_.variableRenames;
    list.push_back({Unescaped(pair.oldName), Unescaped(pair.newName)});
}

void ReportObserver::OnSideFile(SideFileEvent event, const QMWideString& path,
                                const QMWideString& newPath) {
    const fs::path file = StagePath(path);
    switch (event) {
        case SideFileEvent::Loaded:
            report_.loaded.push_back(Relative(file));
            break;
        case SideFileEvent::Rewritten:
            report_.rewritten.push_back(Relative(file));
            break;
        case SideFileEvent::Renamed:
            report_.renamed.push_back({Relative(file), Relative(StagePath(newPath))});
            break;
        case SideFileEvent::Skipped: {
            SkippedFile skipped{Relative(file), {}, {}};
            skipped.reason = WhyNotLoaded(file, skipped.file, skipped.where);
            report_.skipped.push_back(std::move(skipped));
            break;
        }
    }
    Tick();
}

void ReportObserver::OnHistoryFileMoved(const QMWideString& from, const QMWideString& to,
                                        bool moved) {
    MovedFile entry{Relative(StagePath(from)), Relative(StagePath(to))};
    (moved ? report_.historyMoved : report_.historyFailed).push_back(std::move(entry));
    Tick();
}

std::string Report::Json() const {
    std::string out = "{\n  \"installation\": ";
    AppendJsonString(out, installation);
    out += ",\n  \"configuration\": ";
    AppendJsonString(out, configuration);
    out += std::string(",\n  \"dryRun\": ") + (dryRun ? "true" : "false");
    out += std::string(",\n  \"scada\": ") + (scada ? "true" : "false");
    out += ",\n  \"scadaReason\": ";
    AppendJsonString(out, scadaReason);
    out += ",\n  \"backup\": ";
    if (backup.empty()) {
        out += "null";
    } else {
        AppendJsonString(out, backup);
    }
    out += ",\n  \"counts\": {\"stagedFiles\": " + std::to_string(stagedFiles) +
           ", \"copiedFiles\": " + std::to_string(copiedFiles) +
           ", \"deviceRenames\": " + std::to_string(deviceRenames.size()) +
           ", \"variableRenames\": " + std::to_string(variableRenames.size()) +
           ", \"rewritten\": " + std::to_string(rewritten.size()) +
           ", \"renamed\": " + std::to_string(renamed.size()) +
           ", \"historyMoved\": " + std::to_string(historyMoved.size()) +
           ", \"historyNotMoved\": " + std::to_string(historyFailed.size()) +
           ", \"skipped\": " + std::to_string(skipped.size()) + "},\n";
    const auto pair = [&out](const char* first, const char* second) {
        return [&out, first, second](const MovedFile& item) {
            out += std::string("{\"") + first + "\": ";
            AppendJsonString(out, item.from);
            out += std::string(", \"") + second + "\": ";
            AppendJsonString(out, item.to);
            out += "}";
        };
    };
    AppendJsonList(out, "deviceRenames", deviceRenames, pair("old", "new"));
    AppendJsonList(out, "variableRenames", variableRenames, pair("old", "new"));
    AppendJsonList(out, "rewritten", rewritten,
                   [&out](const std::string& file) { AppendJsonString(out, file); });
    AppendJsonList(out, "renamed", renamed, pair("from", "to"));
    AppendJsonList(out, "historyMoved", historyMoved, pair("from", "to"));
    AppendJsonList(out, "historyNotMoved", historyFailed, pair("from", "to"));
    AppendJsonList(out, "skipped", skipped, [&out](const SkippedFile& item) {
        out += "{\"file\": ";
        AppendJsonString(out, item.file);
        out += ", \"reason\": ";
        AppendJsonString(out, item.reason);
        out += "}";
    });
    out.resize(out.size() - 2);  // the last list's ",\n"
    out += "\n}\n";
    return out;
}

void Report::PrintSummary(FILE* out) const {
    if (dryRun) {
        std::fprintf(out, "Dry run on %s: nothing was changed. A migration to 2.7 would do this:\n",
                     installation.c_str());
    } else {
        std::fprintf(out, "Migrated %s to the 2.7 layout.\n", installation.c_str());
    }
    std::fprintf(out, "  edition:            %s (%s)\n", scada ? "SCADA" : "not SCADA",
                 scadaReason.c_str());
    std::fprintf(out, "  configuration:      %s\n", configuration.c_str());
    std::fprintf(out, "  staged files:       %zu (%zu copied, the rest hard-linked)\n", stagedFiles,
                 copiedFiles);
    std::fprintf(out, "  devices renamed:    %zu\n", deviceRenames.size());
    PrintFirst(out, deviceRenames);
    std::fprintf(out, "  variables renamed:  %zu\n", variableRenames.size());
    PrintFirst(out, variableRenames);
    std::fprintf(out, "  files rewritten:    %zu\n", rewritten.size());
    std::fprintf(out, "  files renamed:      %zu\n", renamed.size());
    std::fprintf(out, "  history files:      %zu moved, %zu could not be moved\n",
                 historyMoved.size(), historyFailed.size());
    for (const MovedFile& failed : historyFailed) {
        std::fprintf(out, "    not moved: %s -> %s\n", failed.from.c_str(), failed.to.c_str());
    }
    std::fprintf(out, "  files skipped:      %zu\n", skipped.size());
    for (const SkippedFile& file : skipped) {
        if (file.where.empty()) {
            std::fprintf(out, "    %s: %s\n", file.file.c_str(), file.reason.c_str());
        } else {
            std::fprintf(out, "    %s (%s)\n", file.where.c_str(), file.reason.c_str());
        }
    }
    if (!dryRun) {
        std::fprintf(out, "  former installation: %s\n",
                     backup.empty() ? "removed (--no-backup)" : backup.c_str());
    }
}

}  // namespace migrate27
