#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/transform_alarm_cfg_to_event_xml.h>
#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/platform/paths.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/identifiers.h>

#include "legacy/alarm_history_conversion.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct AlarmGroupEntry {
    QMWideString id;
    QMWideString guid;
    QMWideString name;
};

struct AlarmEntry {
    int32_t number = 0;
    QMGUID event = {};
    QMWideString name;
    QMWideString description;
    QMWideString record;
    QMWideString delay;
    QMWideString group;
    QMWideString condition;
};

// The element children of `node` with the given tag, in document order.
template <typename Visit>
void ForEachChild(const XmlDocument::XmlNode& node, const wchar_t* tag, Visit visit) {
    for (auto it = node.ChildsBegin(); it != node.ChildsEnd(); ++it) {
        if (!(*it)->IsKey() && (*it)->Tag() == tag) {
            visit(**it);
        }
    }
}

const XmlDocument::XmlNode* ElementChild(const XmlDocument::XmlNode& node, const wchar_t* tag) {
    for (auto it = node.ChildsBegin(); it != node.ChildsEnd(); ++it) {
        if (!(*it)->IsKey() && (*it)->Tag() == tag) {
            return *it;
        }
    }
    return nullptr;
}

XmlDocument::XmlNode* ChildOrNew(XmlDocument::XmlNode& node, const wchar_t* tag) {
    XmlDocument::XmlNode* child = node.Node(tag);
    return child != nullptr ? child : node.NewChild(tag);
}

std::vector<AlarmGroupEntry> ReadGroups(const XmlDocument::XmlNode& node) {
    std::vector<AlarmGroupEntry> groups;
    if (const XmlDocument::XmlNode* list = ElementChild(node, L"AlarmGroups")) {
        ForEachChild(*list, L"AlarmGroup", [&](const XmlDocument::XmlNode& group) {
            AlarmGroupEntry entry;
            entry.name = group.Value(L"Name", L"");
            if (entry.name.IsEmpty()) {
                return;
            }
            entry.guid = NewGUIDText();
            entry.id = group.Value(L"Id", L"");
            if (!entry.id.IsEmpty()) {
                groups.push_back(std::move(entry));
            }
        });
    }
    return groups;
}

std::vector<AlarmEntry> ReadAlarms(const XmlDocument::XmlNode& node,
                                   const std::vector<AlarmGroupEntry>& groups) {
    std::vector<AlarmEntry> alarms;
    const XmlDocument::XmlNode* list = ElementChild(node, L"Alarms");
    if (list == nullptr) {
        return alarms;
    }
    ForEachChild(*list, L"Alarm", [&](const XmlDocument::XmlNode& alarm) {
        AlarmEntry entry;
        entry.name = alarm.Value(L"ShortText", L"");
        if (entry.name.IsEmpty()) {
            return;
        }
        const QMWideString id = alarm.Value(L"Id", L"");
        if (id.IsEmpty()) {
            return;
        }
        entry.number = static_cast<int32_t>(HtoL(id.c_str(), id.Length()));
        NewGUID(entry.event);
        entry.description = alarm.Value(L"LongText", L"");
        entry.delay = alarm.Value(L"Delay", L"");
        entry.record = alarm.Value(L"SaveEvent", L"");
        const QMWideString groupId = alarm.Value(L"AlarmGroupId", L"");
        if (!groupId.IsEmpty()) {
            for (const AlarmGroupEntry& group : groups) {
                if (group.id == groupId) {
                    entry.group = group.guid;
                    break;
                }
            }
        }
        if (const XmlDocument::XmlNode* expression = ElementChild(alarm, L"Expression")) {
            QMWideString condition;
            if (Expression2Condition(condition, *expression) && !condition.IsEmpty()) {
                entry.condition = condition;
            }
        }
        alarms.push_back(std::move(entry));
    });
    return alarms;
}

void WriteEvents(const std::vector<AlarmGroupEntry>& groups,
                 const std::vector<AlarmEntry>& alarms) {
    const QMWideString path = QMTarvioSetup::Get().CfgPath() + L"default.xeve";
    XmlDocument document;
    if (!document.Load(path.c_str())) {
        // A literal root tag: this fails only when memory runs out, and nothing is added then.
        (void)document.Create(L"main");
        document.SetFileName(path.c_str());
    }
    XmlDocument::XmlNode& root = document.Root();
    if (XmlDocument::XmlNode* list = ChildOrNew(root, L"eventsGroups")) {
        for (const AlarmGroupEntry& group : groups) {
            if (XmlDocument::XmlNode* child = list->NewChild(L"eventsGroup")) {
                child->SetValue(L"id", group.guid.c_str());
                child->SetValue(L"name", group.name.c_str());
            }
        }
    }
    if (XmlDocument::XmlNode* list = ChildOrNew(root, L"events")) {
        for (const AlarmEntry& alarm : alarms) {
            XmlDocument::XmlNode* event = list->NewChild(L"event");
            if (event == nullptr) {
                continue;
            }
            wchar_t id[qm::kGuidTextSize];
            event->SetValue(L"id", guidtow(alarm.event, id));
            event->SetValue(L"name", alarm.name.c_str());
            event->SetValue(L"description", alarm.description.c_str());
            event->SetValue(L"condition", alarm.condition.c_str());
            event->SetValue(L"notify", L"T");
            event->SetValue(L"record", alarm.record.c_str());
            event->SetValue(L"delayToActivate", alarm.delay.c_str());
            event->SetValue(L"delayToDeactivate", L"0");
            event->SetValue(L"annotation", L"");
            XmlDocument::XmlNode* groupsNode = event->NewChild(L"eventsGroups");
            if (groupsNode != nullptr && !alarm.group.IsEmpty()) {
                groupsNode->SetValue(L"eventsGroup", alarm.group.c_str());
            }
            if (XmlDocument::XmlNode* actions = event->NewChild(L"actions")) {
                for (const wchar_t* tag : {L"activate", L"while", L"deactivate", L"acknowledge"}) {
                    actions->NewChild(tag);
                }
            }
        }
    }
    // The conversion reports no failed save; the save is atomic, so the old file stays whole.
    (void)document.Save();
    document.Reset();
}

// An open stdio stream over a regular file, closed with the object.
class InputFile {
  public:
    explicit InputFile(const std::string& nativePath) {
        qm::platform::UniqueFd fd = qm::platform::OpenRegularFile(nativePath);
        if (fd && (stream_ = fdopen(fd.Get(), "rb")) != nullptr) {
            (void)fd.Release();  // the stream owns it now
        }
    }
    ~InputFile() {
        if (stream_ != nullptr) {
            std::fclose(stream_);
        }
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    FILE* Stream() const { return stream_; }

  private:
    FILE* stream_ = nullptr;
};

// Copies the whole of `from` to `to`; false when a read or a write fails.
bool CopyStream(FILE* from, FILE* to) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
        if (std::fwrite(buffer, 1, n, to) != n) {
            return false;
        }
    }
    return !std::ferror(from);
}

// Converts one alarm history file into its event history file. The event file is never
// written in place: its old bytes are copied to a new file, the records appended, and the
// new file renamed over it, so a crash leaves the old file whole and a hard link to it keeps
// the old bytes.
void ConvertHistoryFile(const qm::platform::FileFind::Match& match,
                        qm::legacy::AlarmHistoryConversion& conversion,
                        QMLegacyConversionObserver* observer) {
    InputFile input(qm::platform::NativePath(match.path.c_str()));
    if (input.Stream() == nullptr) {
        return;
    }
    CxIOFile inputFile(input.Stream());
    AlarmHistoryReader reader(inputFile);
    switch (reader.ReadHeader()) {
        case HistoryFileReader::HeaderState::Valid:
            break;
        case HistoryFileReader::HeaderState::Short:
            if (observer != nullptr) {
                observer->OnHistoryTruncated(match.path, 0, reader.TailBytes());
            }
            return;
        case HistoryFileReader::HeaderState::Foreign:
            return;
    }
    const QMWideString& dataPath = QMTarvioSetup::Get().DataPath();
    QMWideString outputPath = dataPath + L"Events";
    if (match.title.Length() > 6) {
        outputPath += QMWideString(match.title.c_str() + 6);
    }
    outputPath += L".eve";
    const bool exists = qm::platform::FileExists(outputPath.c_str());
    if (!exists) {
        CreateDirectoryW(dataPath.c_str());
    }
    const std::string nativeOutput = qm::platform::NativePath(outputPath.c_str());
    qm::platform::AtomicFile output;
    if (!output.Open(nativeOutput)) {
        return;
    }
    CxIOFile outputFile(output.Stream());
    EventHistoryWriter writer(outputFile);
    if (exists) {
        InputFile old(nativeOutput);
        if (old.Stream() == nullptr || !CopyStream(old.Stream(), output.Stream())) {
            return;
        }
    } else if (!writer.WriteHeader()) {
        return;
    }
    if (conversion.Convert(reader, writer, match.path)) {
        // A failed commit leaves the old history file as it was, and the next file is converted.
        (void)output.Commit();
    }
}

}  // namespace

QMTransformAlarmCfgToEventXml::~QMTransformAlarmCfgToEventXml() = default;

bool QMTransformAlarmCfgToEventXml::AlarmQMCfgFile2EventsXml(const XmlDocument::XmlNode* node) {
    try {
        std::vector<AlarmGroupEntry> groups;
        std::vector<AlarmEntry> alarms;
        if (node != nullptr) {
            groups = ReadGroups(*node);
            alarms = ReadAlarms(*node, groups);
        }
        WriteEvents(groups, alarms);

        qm::legacy::AlarmHistoryConversion conversion(observer_, kMaxOpenOccurrences);
        for (const AlarmEntry& alarm : alarms) {
            conversion.AddAlarm(alarm.number, alarm.event);
        }
        qm::platform::FileFind find;
        if (find.FindFile(L"..\\DATA\\Alarms*.alm")) {
            for (const qm::platform::FileFind::Match& match : find.Matches()) {
                if (!match.isDirectory) {
                    ConvertHistoryFile(match, conversion, observer_);
                }
            }
        }
    } catch (const std::exception&) {
        // Out of memory: what was converted stays, the rest is skipped.
    }
    return true;
}
