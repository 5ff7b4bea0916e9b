#include <qmsupport/install/migration_report.h>
#include <qmsupport/version.h>

#include <cstdio>

namespace qm::install {

namespace {

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

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

std::string MigrationReport::Json() const {
    std::string out = "{\n  \"schemaVersion\": " + std::to_string(kSchemaVersion) + ",\n";
    const auto field = [&out](const char* name, const std::string& value) {
        out += std::string("  \"") + name + "\": ";
        AppendJsonString(out, value);
        out += ",\n";
    };
    field("programVersion", qm::Version());
    field("started", started);
    field("finished", finished);
    field("outcome", outcome);
    out += "  \"installation\": ";
    AppendJsonString(out, installation);
    out += ",\n  \"configuration\": ";
    AppendJsonString(out, configuration);
    out += ",\n  \"display\": ";
    AppendJsonString(out, display);
    out += ",\n  \"timeZone\": ";
    AppendJsonString(out, timeZone);
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
    out += ",\n  \"backupForm\": ";
    AppendJsonString(out, backupForm);
    out += ",\n  \"plan\": ";
    if (plan.empty()) {
        out += "null";
    } else {
        AppendJsonString(out, plan);
    }
    out += ",\n  \"counts\": {\"stagedFiles\": " + std::to_string(stagedFiles) +
           ", \"copiedFiles\": " + std::to_string(copiedFiles) +
           ", \"backupCopies\": " + std::to_string(backupCopies) +
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
    const auto rename = [&out](const Rename& item) {
        out += "{\"old\": ";
        AppendJsonString(out, item.from);
        out += ", \"new\": ";
        AppendJsonString(out, item.to);
        out += ", \"places\": " + std::to_string(item.places) + "}";
    };
    AppendJsonList(out, "steps", steps,
                   [&out](const std::string& step) { AppendJsonString(out, step); });
    AppendJsonList(out, "deviceRenames", deviceRenames, rename);
    AppendJsonList(out, "variableRenames", variableRenames, rename);
    std::vector<Rename> unused;
    for (const auto* list : {&deviceRenames, &variableRenames}) {
        for (const Rename& item : *list) {
            if (item.places == 0) {
                unused.push_back(item);
            }
        }
    }
    AppendJsonList(out, "unusedRenames", unused, rename);
    AppendJsonList(out, "rewritten", rewritten,
                   [&out](const std::string& file) { AppendJsonString(out, file); });
    AppendJsonList(out, "renamed", renamed, pair("from", "to"));
    AppendJsonList(out, "historyMoved", historyMoved, pair("from", "to"));
    AppendJsonList(out, "historyNotMoved", historyFailed, pair("from", "to"));
    AppendJsonList(out, "skipped", skipped, [&out](const LeftFile& item) {
        out += "{\"file\": ";
        AppendJsonString(out, item.file);
        out += ", \"reason\": ";
        AppendJsonString(out, item.reason);
        out += "}";
    });
    const auto named = [&out](const char* first) {
        return [&out, first](const LeftFile& item) {
            out += std::string("{\"") + first + "\": ";
            AppendJsonString(out, item.file);
            out += ", \"reason\": ";
            AppendJsonString(out, item.reason);
            out += "}";
        };
    };
    AppendJsonList(out, "droppedDevices", droppedDevices, named("device"));
    AppendJsonList(out, "convertedDevices", convertedDevices,
                   [&out](const std::string& device) { AppendJsonString(out, device); });
    AppendJsonList(out, "left", left, named("file"));
    AppendJsonList(out, "droppedControls", droppedControls, named("control"));
    AppendJsonList(out, "storedImages", storedImages, pair("from", "to"));
    AppendJsonList(out, "imagesNotStored", imagesNotStored, named("image"));
    AppendJsonList(out, "securityChanges", securityChanges, pair("from", "to"));
    AppendJsonList(out, "created", created,
                   [&out](const std::string& file) { AppendJsonString(out, file); });
    AppendJsonList(out, "warnings", warnings,
                   [&out](const std::string& text) { AppendJsonString(out, text); });
    out.resize(out.size() - 2);  // the last list's ",\n"
    out += "\n}\n";
    return out;
}

}  // namespace qm::install
