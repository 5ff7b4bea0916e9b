// qmsupport history-dump: prints a binary history file, a legacy alarm history (.alm) or an
// event history (.eve), record by record.

#include "command.h"
#include "options.h"
#include "text_output.h"

#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: qmsupport history-dump FILE [--json]\n"
    "\n"
    "Prints a binary history file: a legacy alarm history (header \"ALARM\", 13-byte\n"
    "records) or an event history (header \"EVENTv2.00\", 41-byte records), whatever its\n"
    "name. Each record shows its numbers (alarm history) or GUIDs (event history), its\n"
    "stamp in hexadecimal and its state. A partial record at the end of the file is named\n"
    "with its offset and size.\n"
    "\n"
    "  --json  write JSON instead of text\n"
    "\n"
    "Exit status: 0 printed, 1 the file cannot be read or is no history file.\n";

int Failure(const std::string& message) {
    std::fprintf(stderr, "qmsupport history-dump: %s\n", message.c_str());
    return kExitFailure;
}

std::string Hex(const uint8_t* bytes, size_t count) {
    std::string out;
    char digits[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        out += digits;
    }
    return out;
}

std::string Hex32(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string GuidText(const QMGUID& guid) {
    wchar_t text[qm::kGuidTextSize];
    return Utf8(guidtow(guid, text));
}

// Collects the dump as text or JSON, so that both share one walk over the records.
class Dump {
  public:
    Dump(bool json, const char* format, const uint8_t* header, size_t headerSize) : json_(json) {
        if (json_) {
            out_ = "{\"format\":\"" + std::string(format) + "\",\"header\":\"" +
                   Hex(header, headerSize) + "\",\"records\":[";
        } else {
            out_ = std::string("format: ") + format +
                   " history\nheader: " + Hex(header, headerSize) + "\n";
        }
    }
    // One record: its fields as name and text (JSON strings), then its state.
    void Record(const std::vector<std::pair<const char*, std::string>>& fields,
                unsigned stateValue) {
        if (json_) {
            out_ += count_ == 0 ? "{" : ",{";
            for (const auto& [name, value] : fields) {
                out_ += "\"" + std::string(name) + "\":" + JsonString(value) + ",";
            }
            out_ += "\"state\":" + std::to_string(stateValue) + "}";
        } else {
            out_ += "record " + std::to_string(count_) + ":";
            for (const auto& [name, value] : fields) {
                out_ += " " + std::string(name) + " " + value;
            }
            out_ += " state " + std::to_string(stateValue) + "\n";
        }
        ++count_;
    }
    int Finish(const HistoryFileReader& reader) {
        const uint64_t tail = reader.TailBytes();
        const uint64_t offset = reader.Offset() - tail;
        if (json_) {
            out_ += "],\"truncated\":";
            out_ += tail == 0 ? "null"
                              : "{\"offset\":" + std::to_string(offset) +
                                    ",\"bytes\":" + std::to_string(tail) + "}";
            out_ += "}\n";
        } else {
            out_ += "records: " + std::to_string(count_) + "\n";
            if (tail != 0) {
                out_ += "truncated: " + std::to_string(tail) + " bytes at offset " +
                        std::to_string(offset) + " make no complete record\n";
            }
        }
        std::fputs(out_.c_str(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
    }

  private:
    bool json_;
    std::string out_;
    uint64_t count_ = 0;
};

int DumpAlarms(AlarmHistoryReader& reader, bool json) {
    Dump dump(json, "alarm", reader.Header(), AlarmHistoryReader::kHeaderSize);
    AlarmHistoryRecord r;
    while (reader.Next(r)) {
        dump.Record({{"occurrence", std::to_string(r.occurrence)},
                     {"stamp", Hex32(r.stamp)},
                     {"alarm", Hex32(static_cast<uint32_t>(r.alarm))}},
                    r.state);
    }
    return dump.Finish(reader);
}

int DumpEvents(EventHistoryReader& reader, bool json) {
    Dump dump(json, "event", reader.Header(), EventHistoryFormat::kHeaderSize);
    EventHistoryRecord r;
    while (reader.Next(r)) {
        dump.Record({{"occurrence", GuidText(r.occurrence)},
                     {"stamp", Hex32(r.stamp)},
                     {"event", GuidText(r.event)}},
                    r.state);
    }
    return dump.Finish(reader);
}

int HistoryDump(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> operands;
    OptionParser parser("history-dump", kUsage);
    parser.Flag("--json", json);
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return *done;
    }
    if (operands.size() != 1) {
        return parser.Error(operands.empty() ? "no file given"
                                             : "unexpected argument '" + operands[1] + "'");
    }
    const std::string& name = operands[0];
    qm::platform::UniqueFd fd =
        qm::platform::OpenRegularFile(qm::platform::NativePath(Wide(name).c_str()));
    FILE* stream = fd ? fdopen(fd.Get(), "rb") : nullptr;
    if (stream == nullptr) {
        return Failure("cannot read '" + name + "': no such regular file");
    }
    (void)fd.Release();  // the stream owns it now
    CxIOFile file(stream);
    int status = kExitFailure;
    AlarmHistoryReader alarms(file);
    switch (alarms.ReadHeader()) {
        case HistoryFileReader::HeaderState::Valid:
            status = DumpAlarms(alarms, json);
            break;
        case HistoryFileReader::HeaderState::Short:
            status = Failure("'" + name + "' is shorter than a history file's header");
            break;
        case HistoryFileReader::HeaderState::Foreign: {
            file.Seek(0, SEEK_SET);
            EventHistoryReader events(file);
            if (events.ReadHeader() == HistoryFileReader::HeaderState::Valid) {
                status = DumpEvents(events, json);
            } else {
                status = Failure("'" + name +
                                 "' is no alarm history (\"ALARM\") or event history "
                                 "(\"EVENTv2.00\") file");
            }
            break;
        }
    }
    std::fclose(stream);
    return status;
}

const CommandRegistration kRegistration{
    Command{"history-dump", "print an alarm (.alm) or event (.eve) history file", HistoryDump}};

}  // namespace
