#include <qmsupport/migrate27/transform_cfg_to27.h>

#include "migrate27/layout27.h"
#include "migrate27/migrated_drivers.h"
#include "migrate27/rename_engine.h"
#include "platform/in_order.h"
#include "platform/inside.h"
#include "text/history_layout.h"

#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/platform/paths.h>
#include <qmsupport/setup/drivers_catalogue.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/text/config_identifiers.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <filesystem>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

using XmlNode = XmlDocument::XmlNode;
using Observer = QMTransformCfgTo27Observer;
using qm::migrate27::VersionOf;

namespace {

QMWideString Text(const XmlNode& node, const wchar_t* key) {
    return node.Value(key, L"");
}

// The child elements of a node, in document order. Keys (attributes) share the children's
// collection; lists of connections, devices, variables or groups are made of elements only.
std::vector<XmlNode*> Elements(const XmlNode* parent) {
    std::vector<XmlNode*> elements;
    if (parent != nullptr) {
        for (auto it = parent->ChildsBegin(); it != parent->ChildsEnd(); ++it) {
            if (!(*it)->IsKey()) {
                elements.push_back(*it);
            }
        }
    }
    return elements;
}

// Every child, keys included, in document order: the settings of a node.
std::vector<XmlNode*> Children(const XmlNode& parent) {
    return std::vector<XmlNode*>(parent.ChildsBegin(), parent.ChildsEnd());
}

// The first child element tagged `tag` whose `key` reads `value`, as the path step
// "tag?key=value?" picks it. Names may hold "/", "?" or "=", so the look-up compares values
// directly instead of building a path from them.
XmlNode* FindChild(const XmlNode& parent, const wchar_t* tag, const wchar_t* key,
                   const QMWideString& value) {
    for (XmlNode* child : Elements(&parent)) {
        if (child->Tag() == tag && Text(*child, key) == value) {
            return child;
        }
    }
    return nullptr;
}

// Guards what the threads that rewrite side files share: the counts of the renames' uses and
// the style look-ups. One lock serves every object; each thread takes it once or twice per
// file.
std::mutex& SharedStateMutex() {
    static std::mutex mutex;
    return mutex;
}

std::atomic<unsigned> sideFileThreads{0};
constexpr size_t kSideFileBytesAtOnce = 24u << 20;

XmlNode* ChildOrNew(XmlNode& parent, const wchar_t* tag) {
    XmlNode* child = parent.Node(tag);
    return child != nullptr ? child : parent.NewChild(tag);
}

QMNarrowString EscapedUtf8(const QMWideString& text) {
    QMNarrowString utf8;
    Utf16ToUtf8(utf8, text.c_str(), text.Length());
    QMNarrowString escaped;
    Text2Xml(escaped, utf8.c_str());
    return escaped;
}

QMWideString UnescapedWide(const QMNarrowString& escaped) {
    QMNarrowString utf8;
    Xml2Text(utf8, escaped.c_str());
    QMWideString wide;
    Utf8ToUtf16(wide, utf8.c_str(), utf8.Length());
    return wide;
}

bool HasSeparator(std::wstring_view text) {
    return text.find_first_of(L"\\/") != std::wstring_view::npos;
}

// The channel driver of a former connection, by its "Type".
const wchar_t* ChannelDriver(const QMWideString& type) {
    if (type == L"RS") {
        return L"COM_RS";
    }
    if (type == L"UDP") {
        return L"COM_UDP";
    }
    if (type == L"ModbusTCP") {
        return L"COM_MBTCP";
    }
    if (type == L"TCP") {
        return L"COM_TCP";
    }
    return L"COM_RS";
}

int DriverIndexOf(const XmlNode& device) {
    return QMTarvioSetup::Get().DriverIndex(Text(device, L"Driver").c_str());
}

// Whether the folders that searches of the two system paths list (each path up to its last
// separator, resolved through the path rules and links) are one, or one holds the other.
bool ListSameFolders(const QMWideString& a, const QMWideString& b) {
    auto listed = [](const QMWideString& path) {
        const size_t end = path.str().find_last_of(L"\\/");
        const std::string native =
            end == std::wstring::npos
                ? "."
                : qm::platform::NativePath(path.str().substr(0, end + 1).c_str());
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(native, error);
        return error ? std::filesystem::path() : std::filesystem::weakly_canonical(absolute, error);
    };
    const std::filesystem::path first = listed(a);
    const std::filesystem::path second = listed(b);
    // A folder that cannot be resolved counts as shared.
    return first.empty() || second.empty() || qm::platform::IsInside(first, second) ||
           qm::platform::IsInside(second, first);
}

bool IsStyledControl(const XmlNode& node) {
    const QMWideString tag = node.Tag();
    return tag == L"date" || tag == L"label" || tag == L"formule";
}

}  // namespace

struct QMTransformCfgTo27::HistoryMove {
    QMWideString from;
    QMWideString to;
    bool moved;
};

unsigned qm::migrate27::SideFileThreads() {
    const unsigned set = sideFileThreads;
    return set != 0 ? set : qm::platform::ProcessorCount();
}

void qm::migrate27::SetSideFileThreads(unsigned count) {
    sideFileThreads = count;
}

// How the style, screen and report steps differ.
struct QMTransformCfgTo27::SideFileKind {
    const wchar_t* pattern;
    bool renamesApplied;   // device and variable renames applied to the text
    bool nameFromTitle;    // root "name" from the file title, else from the former root "id"
    bool stylesRewritten;  // style names in controls become style ids
};

QMTransformCfgTo27::QMTransformCfgTo27() = default;
QMTransformCfgTo27::QMTransformCfgTo27(const QMTransformCfgTo27& other) = default;
QMTransformCfgTo27& QMTransformCfgTo27::operator=(const QMTransformCfgTo27& other) = default;
QMTransformCfgTo27::~QMTransformCfgTo27() = default;

void QMTransformCfgTo27::SetObserver(QMTransformCfgTo27Observer* observer) {
    observer_ = observer;
}

bool QMTransformCfgTo27::transform(XmlDocument& cfg) {
    transformDefaultCommSystemNode(cfg);
    transformDefaultDeviceGroupsNode(cfg);
    transformDefaultViewSetupsNode(cfg);
    transformDefaultUnitSetupsNode(cfg);
    const QMTarvioSetup& setup = QMTarvioSetup::Get();
    const QMWideString dataPath = setup.DataPath();
    // The data folder's history files move on a thread of their own while the side files are
    // rewritten, when the two passes list folders apart. The moves are told after the side
    // files, so the files and the observer come out as one thread leaves them.
    std::vector<HistoryMove> moves;
    struct Release {  // after the pass has ended, however the run ends
        std::vector<HistoryMove>*& held;
        ~Release() { held = nullptr; }
    } release{heldMoves_};
    std::future<void> dataFiles;  // waits for the pass, also when a step throws
    if (setup.HasScada()) {
        if (qm::migrate27::SideFileThreads() > 1 && !dataPath.IsEmpty() &&
            !ListSameFolders(setup.CfgPath(), dataPath)) {
            heldMoves_ = &moves;
            try {
                dataFiles = std::async(std::launch::async,
                                       [this, &dataPath] { transformDataFiles(dataPath.c_str()); });
            } catch (const std::system_error&) {
                heldMoves_ = nullptr;  // no thread to be had: the pass runs in its turn
            }
        }
        transformStyleFiles();
        transformScadaFiles();
        transformReportFiles();
        transformEventFile();
    }
    if (!dataFiles.valid()) {
        transformDataFiles(dataPath.c_str());
    } else {
        dataFiles.get();
        for (const HistoryMove& move : moves) {
            if (observer_ != nullptr) {
                observer_->OnHistoryFileMoved(move.from, move.to, move.moved);
            }
        }
    }
    transformSecurityFile(cfg);
    if (observer_ != nullptr) {
        deviceRenameUses_.resize(deviceRenames.size());
        variableRenameUses_.resize(variableRenames.size());
        for (size_t i = 0; i < deviceRenames.size(); ++i) {
            observer_->OnRenamePairUsed(Observer::RenameKind::Device, deviceRenames[i],
                                        deviceRenameUses_[i]);
        }
        for (size_t i = 0; i < variableRenames.size(); ++i) {
            observer_->OnRenamePairUsed(Observer::RenameKind::Variable, variableRenames[i],
                                        variableRenameUses_[i]);
        }
    }
    return true;
}

void QMTransformCfgTo27::addRename(std::vector<RenamePair>& list, Observer::RenameKind kind,
                                   const QMWideString& oldName, const QMWideString& newName) {
    list.push_back({EscapedUtf8(oldName), EscapedUtf8(newName)});
    if (observer_ != nullptr) {
        observer_->OnRenamePair(kind, list.back());
    }
}

void QMTransformCfgTo27::notifySideFile(Observer::SideFileEvent event, const QMWideString& path,
                                        const QMWideString& newPath) {
    if (observer_ != nullptr) {
        observer_->OnSideFile(event, path, newPath);
    }
}

// --- Communication system ---------------------------------------------------------------

bool QMTransformCfgTo27::transformDefaultCommSystemNode(XmlDocument& cfg) {
    XmlNode* commSystem = cfg.Node(L"CommSystem");
    if (commSystem == nullptr) {
        return true;
    }
    XmlNode* devices = commSystem->Node(L"Devices");
    XmlNode* connections = commSystem->Node(L"Connections");

    std::list<XmlNode*> pendingDevices;
    std::vector<XmlNode*> virtualDevices;
    std::vector<QMWideString> historyPaths;
    for (XmlNode* device : Elements(devices)) {
        if (Text(*device, L"Driver") == L"VIRTUAL") {
            virtualDevices.push_back(device);
            continue;
        }
        pendingDevices.push_back(device);
        QMWideString historyPath = Text(*device, L"STDPath");
        if (!historyPath.IsEmpty()) {
            historyPaths.push_back(historyPath);
        }
    }

    for (XmlNode* connection : Elements(connections)) {
        XmlNode* channel = commSystem->NewChild(L"Device");
        for (XmlNode* setting : Children(*connection)) {
            channel->AddChild(*setting);
        }
        channel->SetValue(L"Id", NewGUIDText().c_str());
        channel->SetValue(L"Driver", ChannelDriver(Text(*channel, L"Type")));
        const QMWideString channelName = Text(*channel, L"Name");

        for (auto it = pendingDevices.begin(); it != pendingDevices.end();) {
            XmlNode* device = *it;
            if (Text(*device, L"Connection") != channelName) {
                ++it;
                continue;
            }
            const int driver = DriverIndexOf(*device);
            if (IsFoldDriver(driver)) {
                for (XmlNode* setting : Children(*device)) {
                    const QMWideString tag = setting->Tag();
                    if (tag == L"Connection") {
                        continue;
                    }
                    if (tag == L"Id") {
                        channel->SetValue(L"NameTmp", setting->Value().c_str());
                    } else if (tag == L"Driver" || tag == L"Description") {
                        channel->SetValue(tag.c_str(), setting->Value().c_str());
                    } else {
                        channel->AddChild(*setting);
                    }
                    // Inside the loop on purpose: the channel is converted after every copied
                    // setting, as soon as it carries the converter's driver and an Inputs
                    // block; a call that finds no Inputs block changes nothing.
                    if (driver == kJtInputConverter) {
                        transformJTInputsCfg(channel);
                    }
                }
            } else {
                XmlNode* child = ChildOrNew(*channel, L"ChildDevices")->NewChild(L"ChildDevice");
                for (XmlNode* setting : Children(*device)) {
                    if (setting->Tag() != L"Connection") {
                        child->AddChild(*setting);
                    }
                }
                QMWideString name = Text(*child, L"Id");
                if (!IsValidId(name.c_str(), true)) {
                    const QMWideString oldName = name;
                    NormalizeId(name);
                    addRename(deviceRenames, Observer::RenameKind::Device, oldName, name);
                }
                child->SetValue(L"Name", name.c_str());
                child->SetValue(L"Id", NewGUIDText().c_str());
                if (driver == kJtInputModule) {
                    transformJTInputsCfg(child);
                }
            }
            it = pendingDevices.erase(it);
        }

        const QMWideString folded = Text(*channel, L"NameTmp");
        if (!folded.IsEmpty()) {
            channel->SetValue(L"Name", folded.c_str());
            channel->Erase(L"NameTmp");
        }
        QMWideString name = Text(*channel, L"Name");
        if (!IsValidId(name.c_str(), true)) {
            const QMWideString oldName = name;
            NormalizeId(name);
            addRename(deviceRenames, Observer::RenameKind::Device, oldName, name);
            channel->SetValue(L"Name", name.c_str());
        }
    }

    if (observer_ != nullptr) {
        for (const XmlNode* device : pendingDevices) {
            observer_->OnDeviceDropped(Text(*device, L"Id"), Text(*device, L"Connection"));
        }
    }

    if (!virtualDevices.empty()) {
        const QMWideString path =
            QMTarvioSetup::Get().CfgPath() + qm::migrate27::kCalculatedVariablesFile;
        XmlDocument calculated;
        const bool existed = calculated.Load(path.c_str());
        if (existed) {
            notifySideFile(Observer::SideFileEvent::Loaded, path);
        } else {
            // A literal root tag: creating the tree fails only when memory runs out, and then
            // the groups are simply not added.
            (void)calculated.Create(L"variablesGroups");
            calculated.SetFileName(path.c_str());
        }
        for (XmlNode* device : virtualDevices) {
            virtualDeviceIds.push_back(Text(*device, L"Id"));
            transformVirtualDevice2CalculatedVariables(*device, calculated, cfg);
            if (observer_ != nullptr) {
                observer_->OnVirtualDeviceConverted(virtualDeviceIds.back());
            }
        }
        transformDevicesNames(calculated);
        transformVariablesNames(calculated);
        if (calculated.Save()) {
            notifySideFile(
                existed ? Observer::SideFileEvent::Rewritten : Observer::SideFileEvent::Created,
                path);
        } else {
            notifySideFile(Observer::SideFileEvent::SaveFailed, path);
        }
    }

    if (devices != nullptr) {
        commSystem->RemoveChild(devices);
    }
    if (connections != nullptr) {
        commSystem->RemoveChild(connections);
    }
    for (const QMWideString& historyPath : historyPaths) {
        transformDataFiles(historyPath.c_str());
    }
    return true;
}

// --- Device groups, view setups, unit setups --------------------------------------------

bool QMTransformCfgTo27::transformDefaultDeviceGroupsNode(XmlDocument& cfg) {
    XmlNode* deviceGroups = cfg.Node(L"DeviceGroups");
    if (deviceGroups == nullptr) {
        return true;
    }
    // Breadth first, at any depth: the root is the first group visited.
    std::vector<XmlNode*> work{deviceGroups};
    for (size_t next = 0; next < work.size(); ++next) {
        XmlNode* group = work[next];
        for (XmlNode* child : Elements(group->Node(L"Groups"))) {
            work.push_back(child);
        }
        for (XmlNode* reference : Elements(group->Node(L"Devices"))) {
            if (const XmlNode* device = deviceNodeByName(cfg, Text(*reference, L"Id"))) {
                reference->SetValue(L"Id", Text(*device, L"Id").c_str());
            }
        }
    }
    return true;
}

bool QMTransformCfgTo27::transformDefaultViewSetupsNode(XmlDocument& cfg) {
    XmlNode* viewSetups = cfg.Node(L"ViewSetups");
    if (viewSetups == nullptr) {
        return true;
    }
    for (XmlNode* setup : Elements(viewSetups)) {
        if (setup->Tag() != L"ViewSetup") {
            continue;
        }
        const XmlNode* device = deviceNodeByName(cfg, Text(*setup, L"DriverId"));
        if (device == nullptr) {
            continue;
        }
        setup->SetValue(L"DriverId", Text(*device, L"Id").c_str());
        if (!IsJtInputModule(DriverIndexOf(*device))) {
            continue;
        }
        // The checks of a JT input module name its flow variables from now on.
        for (XmlNode* check : Elements(setup)) {
            if (check->Tag() == L"Check") {
                const QMWideString var = Text(*check, L"Var");
                const std::wstring rest = var.Length() > 1 ? var.str().substr(1) : std::wstring();
                check->SetValue(L"Var", (L"F" + rest).c_str());
            }
        }
    }
    return true;
}

bool QMTransformCfgTo27::transformDefaultUnitSetupsNode(XmlDocument& cfg) {
    XmlNode* unitSetups = cfg.Node(L"UnitSetups");
    if (unitSetups == nullptr) {
        return true;
    }
    for (XmlNode* setup : Elements(unitSetups)) {
        if (setup->Tag() != L"UnitSetup") {
            continue;
        }
        if (const XmlNode* device = deviceNodeByName(cfg, Text(*setup, L"DriverId"))) {
            setup->SetValue(L"DriverId", Text(*device, L"Id").c_str());
        }
    }
    return true;
}

// --- Renames ------------------------------------------------------------------------------

// The devices by name, for deviceNodeByName. It is made when the first look-up comes, after the
// communication system took its 2.7 form, and that part of the configuration does not change
// afterwards; a search of one name at a time made the look-ups quadratic in the devices.
struct QMTransformCfgTo27::DeviceIndex {
    const XmlNode* commSystem = nullptr;
    size_t renameCount = 0;
    // The first device or child device of each name, in the order a search meets them: each
    // device, then its child devices.
    std::unordered_map<std::wstring, const XmlNode*> byName;
    // The new name of the first rename of each old name.
    std::unordered_map<std::string, QMWideString> renamed;
};

const XmlNode* QMTransformCfgTo27::deviceNodeByName(const XmlDocument& cfg,
                                                    const QMWideString& name) const {
    const XmlNode* commSystem = cfg.Node(L"CommSystem");
    if (commSystem == nullptr) {
        return nullptr;
    }
    if (deviceIndex_ == nullptr || deviceIndex_->commSystem != commSystem ||
        deviceIndex_->renameCount != deviceRenames.size()) {
        auto index = std::make_shared<DeviceIndex>();
        index->commSystem = commSystem;
        index->renameCount = deviceRenames.size();
        for (const RenamePair& pair : deviceRenames) {
            index->renamed.try_emplace(pair.oldName.str(), UnescapedWide(pair.newName));
        }
        for (const XmlNode* device : Elements(commSystem)) {
            index->byName.try_emplace(Text(*device, L"Name").str(), device);
            for (const XmlNode* child : Elements(device->Node(L"ChildDevices"))) {
                if (child->Tag() == L"ChildDevice") {
                    index->byName.try_emplace(Text(*child, L"Name").str(), child);
                }
            }
        }
        deviceIndex_ = std::move(index);
    }
    const auto renamed = deviceIndex_->renamed.find(EscapedUtf8(name).str());
    const QMWideString& key = renamed != deviceIndex_->renamed.end() ? renamed->second : name;
    const auto found = deviceIndex_->byName.find(key.str());
    return found != deviceIndex_->byName.end() ? found->second : nullptr;
}

bool QMTransformCfgTo27::applyRenames(XmlDocument& doc, const std::vector<RenamePair>& renames,
                                      char firstDelimiter) {
    if (renames.empty()) {
        return true;
    }
    std::vector<size_t> uses(renames.size());
    // Whether the text was read back, or the values changed in place, the result is the same.
    (void)qm::migrate27::RenameInDocument(doc, renames, firstDelimiter, uses);
    std::vector<size_t>& total =
        &renames == &deviceRenames ? deviceRenameUses_ : variableRenameUses_;
    const std::lock_guard<std::mutex> lock(SharedStateMutex());
    total.resize(renames.size());
    for (size_t i = 0; i < uses.size(); ++i) {
        total[i] += uses[i];
    }
    return true;
}

bool QMTransformCfgTo27::transformVariablesNames(XmlDocument& doc) {
    return applyRenames(doc, variableRenames, ']');
}

bool QMTransformCfgTo27::transformDevicesNames(XmlDocument& doc) {
    return applyRenames(doc, deviceRenames, '.');
}

// --- Screens, reports, styles -------------------------------------------------------------

bool QMTransformCfgTo27::transformStyleFiles() {
    static constexpr SideFileKind kStyles{qm::migrate27::kStylePattern, false, false, false};
    return transformSideFiles(kStyles);
}

bool QMTransformCfgTo27::transformScadaFiles() {
    static constexpr SideFileKind kScreens{qm::migrate27::kScreenPattern, true, true, true};
    return transformSideFiles(kScreens);
}

bool QMTransformCfgTo27::transformReportFiles() {
    static constexpr SideFileKind kReports{qm::migrate27::kReportPattern, true, true, true};
    return transformSideFiles(kReports);
}

bool QMTransformCfgTo27::transformSideFiles(const SideFileKind& kind) {
    // Every match is collected before the first rename, so that renamed files are not met
    // again by the search.
    styleIds_.clear();
    qm::platform::FileFind find;
    if (!find.FindFile((QMTarvioSetup::Get().CfgPath() + kind.pattern).c_str())) {
        return true;
    }
    const std::vector<qm::platform::FileFind::Match> files = find.Matches();
    // The files are rewritten on several threads. What must follow the order of the files
    // does: the identifiers are drawn in that order, and the observer hears of each file in
    // turn, from this thread.
    struct Note {
        Observer::SideFileEvent event;
        QMWideString path;
        QMWideString newPath;
    };
    std::vector<std::vector<Note>> notes(files.size());
    qm::platform::InTurn identifiers;
    // The files being rewritten at once hold at most this many bytes between them (a tree
    // takes a few times its file in memory), or one file alone.
    qm::platform::OrderedBudget memory(kSideFileBytesAtOnce);
    const bool flushDeferred = qm::platform::DeferredFlush::Active();
    auto rewrite = [&](size_t index) {
        const qm::platform::FileFind::Match& file = files[index];
        std::vector<Note>& said = notes[index];
        std::error_code unknown;  // a file that cannot be measured fails to load below
        const uintmax_t bytes =
            std::filesystem::file_size(qm::platform::NativePath(file.path.c_str()), unknown);
        const qm::platform::OrderedBudget::Share share(memory, index, unknown ? 0 : bytes);
        qm::platform::InTurn::Ticket ticket(identifiers, index);
        std::optional<qm::platform::DeferredFlush> deferred;
        if (flushDeferred) {
            deferred.emplace();
        }
        XmlDocument doc;
        if (!doc.Load(file.path.c_str())) {
            said.push_back({Observer::SideFileEvent::Skipped, file.path, {}});
            return;
        }
        said.push_back({Observer::SideFileEvent::Loaded, file.path, {}});
        if (VersionOf(doc.Root()) < qm::migrate27::kVersion) {
            doc.Root().SetValue(L"version", qm::migrate27::kVersionText);
        }
        if (kind.renamesApplied) {
            transformDevicesNames(doc);
            transformVariablesNames(doc);
        }
        XmlNode& root = doc.Root();  // the renames may have rebuilt the tree
        if (!kind.nameFromTitle) {
            root.SetValue(L"name", Text(root, L"id").c_str());
        }
        QMWideString id;
        ticket.Take([&id] { id = NewGUIDText(); });
        root.SetValue(L"id", id.c_str());
        if (kind.nameFromTitle) {
            root.SetValue(L"name", file.title.c_str());
        }
        if (kind.stylesRewritten) {
            transformStylesInControls(doc);
        }
        said.push_back(
            {doc.Save() ? Observer::SideFileEvent::Rewritten : Observer::SideFileEvent::SaveFailed,
             file.path,
             {}});
        const QMWideString newPath = file.directory + id + L"." + file.name;
        said.push_back({qm::platform::RenameFile(file.path.c_str(), newPath.c_str()) == 0
                            ? Observer::SideFileEvent::Renamed
                            : Observer::SideFileEvent::RenameFailed,
                        file.path, newPath});
    };
    qm::platform::RunInOrder(files.size(), qm::migrate27::SideFileThreads(), rewrite,
                             [&](size_t index) {
                                 for (const Note& note : notes[index]) {
                                     notifySideFile(note.event, note.path, note.newPath);
                                 }
                                 notes[index].clear();
                             });
    return true;
}

bool QMTransformCfgTo27::transformStylesInControls(XmlDocument& doc) {
    std::vector<XmlNode*> controls;
    for (XmlNode* page : Elements(&doc.Root())) {
        if (page->Tag() != L"page") {
            continue;
        }
        for (XmlNode* child : Elements(page)) {
            if (IsStyledControl(*child)) {
                controls.push_back(child);
            } else if (child->Tag() == L"conditioned") {
                for (XmlNode* control : Elements(child)) {
                    if (control->Tag() != L"control") {
                        continue;
                    }
                    for (XmlNode* inner : Elements(control)) {
                        if (IsStyledControl(*inner)) {
                            controls.push_back(inner);
                        }
                    }
                }
            }
        }
    }
    for (XmlNode* control : controls) {
        const QMWideString style = Text(*control, L"style");
        if (style.IsEmpty()) {
            continue;
        }
        const std::lock_guard<std::mutex> lock(SharedStateMutex());
        auto known = styleIds_.find(style);
        if (known == styleIds_.end()) {
            QMWideString id;
            known =
                styleIds_.emplace(style, StyleName2Id(style, id) ? std::optional(id) : std::nullopt)
                    .first;
        }
        if (known->second) {
            control->SetValue(L"style", known->second->c_str());
        }
    }
    return true;
}

// --- Events and history data --------------------------------------------------------------

bool QMTransformCfgTo27::transformEventFile() {
    const QMWideString path = QMTarvioSetup::Get().CfgPath() + qm::migrate27::kEventFile;
    XmlDocument doc;
    if (!doc.Load(path.c_str()) || !doc.IsOK()) {
        notifySideFile(Observer::SideFileEvent::Skipped, path);
        return false;
    }
    notifySideFile(Observer::SideFileEvent::Loaded, path);
    transformDevicesNames(doc);
    transformVariablesNames(doc);
    if (doc.Save()) {
        notifySideFile(Observer::SideFileEvent::Rewritten, path);
    } else {
        notifySideFile(Observer::SideFileEvent::SaveFailed, path);
    }
    return true;
}

bool QMTransformCfgTo27::moveHistoryFile(const QMWideString& from, const QMWideString& directory,
                                         int year, int month, const QMWideString& fileName) {
    // The directory ends with a separator.
    const QMWideString to = directory + qm::text::MonthFolder(year, month) + fileName;
    bool moved = qm::platform::RenameFile(from.c_str(), to.c_str()) == 0;
    if (!moved) {
        CreateDirectoryW(to.c_str());
        moved = qm::platform::RenameFile(from.c_str(), to.c_str()) == 0;
    }
    if (heldMoves_ != nullptr) {
        heldMoves_->push_back({from, to, moved});
    } else if (observer_ != nullptr) {
        observer_->OnHistoryFileMoved(from, to, moved);
    }
    return moved;
}

bool QMTransformCfgTo27::transformDataFiles(const wchar_t* dataPath) {
    if (dataPath == nullptr || *dataPath == L'\0') {
        return true;
    }
    const QMWideString base(dataPath);

    // Device pass: the files of a renamed device take the new name, and move by the date at
    // its end.
    //
    // Each pair takes what a search for dataPath + old name + "*.*" finds at its turn. Rather
    // than searching once per pair, the folder is listed once and kept in step with the moves
    // made here: a moved entry leaves the listing, and the folder is listed again before the
    // next pair when a move may have added an entry to it (a new year folder, or a name with a
    // separator that leads the move elsewhere).
    {
        const size_t nameStart = base.str().find_last_of(L"\\/") + 1;  // 0 when there is none
        const QMWideString folder(base.view().substr(0, nameStart));
        qm::platform::FileFind listing;
        std::vector<bool> gone;  // by entry of the listing: moved away since it was made
        // The listing's names case-folded, sorted, with their index: a pattern that is a
        // prefix finds its matches by a look-up instead of a match against every name.
        std::vector<std::pair<std::u32string, size_t>> folded;
        bool stale = true;
        // Year folders seen to exist; none goes away during the pass, so each is looked up
        // once rather than once per file.
        std::unordered_set<std::wstring> yearFolders;
        auto yearFolderExists = [&yearFolders](const QMWideString& folder) {
            if (yearFolders.count(folder.str()) != 0) {
                return true;
            }
            if (!qm::platform::FileExists(folder.c_str())) {
                return false;
            }
            yearFolders.insert(folder.str());
            return true;
        };
        for (size_t index = 0; index < deviceRenames.size(); ++index) {
            const RenamePair& pair = deviceRenames[index];
            const QMWideString oldName = UnescapedWide(pair.oldName);
            const QMWideString newName = UnescapedWide(pair.newName);
            if (oldName.IsEmpty()) {
                continue;
            }
            const QMWideString pattern = base + oldName + L"*.*";
            const bool inListing = !HasSeparator(oldName.view());
            qm::platform::FileFind elsewhere;
            std::vector<size_t> found;  // indexes into `matches`, in the order of the search
            if (inListing) {
                if (stale) {
                    listing.FindFile((folder + L"*").c_str());
                    gone.assign(listing.Matches().size(), false);
                    folded.clear();
                    for (size_t i = 0; i < listing.Matches().size(); ++i) {
                        folded.emplace_back(
                            qm::platform::FoldCase(listing.Matches()[i].name.view()), i);
                    }
                    std::sort(folded.begin(), folded.end());
                    stale = false;
                }
                const qm::platform::Wildcard wildcard(pattern.view().substr(nameStart));
                if (const std::u32string* prefix = wildcard.Prefix()) {
                    for (auto it = std::lower_bound(folded.begin(), folded.end(),
                                                    std::make_pair(*prefix, size_t{0}));
                         it != folded.end() && it->first.starts_with(*prefix); ++it) {
                        if (!gone[it->second]) {
                            found.push_back(it->second);
                        }
                    }
                    std::sort(found.begin(), found.end());  // back in the order of the search
                } else {
                    for (size_t i = 0; i < listing.Matches().size(); ++i) {
                        if (!gone[i] && wildcard.Matches(listing.Matches()[i].name.view())) {
                            found.push_back(i);
                        }
                    }
                }
            } else {
                // The old name leads the search into another folder.
                elsewhere.FindFile(pattern.c_str());
                for (size_t i = 0; i < elsewhere.Matches().size(); ++i) {
                    found.push_back(i);
                }
                stale = true;
            }
            const auto& matches = inListing ? listing.Matches() : elsewhere.Matches();
            for (size_t i : found) {
                const auto& file = matches[i];
                const std::wstring& foundName = file.name.str();
                const QMWideString fileName =
                    newName + QMWideString(foundName.size() > oldName.Length()
                                               ? foundName.substr(oldName.Length())
                                               : std::wstring());
                const std::wstring_view name = fileName.view();
                int year = 0, month = 0;
                if (!qm::text::DateOfFileName(name, year, month)) {
                    continue;
                }
                const bool plain = !HasSeparator(foundName) && !HasSeparator(name);
                if (!plain || !yearFolderExists(file.directory + qm::text::YearFolder(year))) {
                    stale = true;
                }
                if (moveHistoryFile(file.path, file.directory, year, month, fileName) &&
                    inListing) {
                    gone[i] = true;
                }
            }
        }
    }

    // Dated-file pass: a title ending with month, one separator and four-digit year.
    qm::platform::FileFind find;
    if (find.FindFile((base + L"*.*").c_str())) {
        for (const auto& file : find.Matches()) {
            int year = 0, month = 0;
            if (qm::migrate27::WhyDataFileStays(file.name.view(), file.title.view(), year, month) ==
                nullptr) {
                moveHistoryFile(file.path, file.directory, year, month, file.name);
            }
        }
    }
    return true;
}

// --- Security -----------------------------------------------------------------------------

bool QMTransformCfgTo27::transformSecurityFile(XmlDocument& cfg) {
    const QMWideString cfgPath = QMTarvioSetup::Get().CfgPath();
    const QMWideString path = cfgPath + qm::migrate27::kSecurityFile;
    XmlDocument security;
    if (!security.Load(path.c_str()) || !security.IsOK()) {
        notifySideFile(Observer::SideFileEvent::Skipped, path);
        return false;
    }
    notifySideFile(Observer::SideFileEvent::Loaded, path);
    XmlNode& root = security.Root();
    if (VersionOf(root) >= qm::migrate27::kVersion) {
        return true;
    }
    root.SetValue(L"version", qm::migrate27::kVersionText);

    for (XmlNode* profile : Elements(root.Node(L"/Security/Profiles"))) {
        XmlNode* resources = profile->Tag() == L"Profile" ? profile->Node(L"Resources") : nullptr;
        if (resources == nullptr) {
            continue;
        }
        std::vector<XmlNode*> virtualResources;
        for (XmlNode* resource : Elements(resources)) {
            if (resource->Tag() != L"Resource") {
                continue;
            }
            const QMWideString type = Text(*resource, L"Type");
            const QMWideString name = Text(*resource, L"Name");
            QMWideString id;
            if (type == L"Device" || type == L"DeviceForce" || type == L"DeviceConfig") {
                if (std::find(virtualDeviceIds.begin(), virtualDeviceIds.end(), name) !=
                    virtualDeviceIds.end()) {
                    virtualResources.push_back(resource);
                    continue;
                }
                if (const XmlNode* device = deviceNodeByName(cfg, name)) {
                    resource->SetValue(L"Id", Text(*device, L"Id").c_str());
                }
            } else if (type == L"Screen" || type == L"Force") {
                if (ScreenName2Id(name, id)) {
                    resource->SetValue(L"Id", id.c_str());
                }
            } else if (type == L"Report") {
                if (ReportName2Id(name, id)) {
                    resource->SetValue(L"Id", id.c_str());
                }
            } else if (type == L"Event") {
                resource->SetValue(L"Id", name.c_str());
            } else {
                continue;
            }
            resource->EraseTag(L"Name");
        }
        if (virtualResources.empty()) {
            continue;
        }
        // Resources of a former virtual device point at the group that replaced it.
        const QMWideString calculatedPath = cfgPath + qm::migrate27::kCalculatedVariablesFile;
        XmlDocument calculated;
        if (calculated.Load(calculatedPath.c_str())) {
            notifySideFile(Observer::SideFileEvent::Loaded, calculatedPath);
        } else {
            // Without the file there are no groups, and the empty tree finds none.
            (void)calculated.Create(L"variablesGroups");
        }
        for (XmlNode* resource : virtualResources) {
            const XmlNode* group =
                FindChild(calculated.Root(), L"variablesGroup", L"name", Text(*resource, L"Name"));
            if (group == nullptr) {
                continue;
            }
            XmlNode* replacement = resources->NewChild(L"Resource");
            replacement->SetValue(L"Type", L"CalculatedVariables");
            replacement->SetValue(L"Id", Text(*group, L"id").c_str());
            resources->RemoveChild(resource);
        }
    }
    if (security.Save()) {
        notifySideFile(Observer::SideFileEvent::Rewritten, path);
    } else {
        notifySideFile(Observer::SideFileEvent::SaveFailed, path);
    }
    return true;
}

// --- JT inputs and virtual devices --------------------------------------------------------

bool QMTransformCfgTo27::transformJTInputsCfg(XmlNode* device) {
    if (device == nullptr || !IsJtInputModule(DriverIndexOf(*device))) {
        return true;
    }
    XmlNode* inputs = device->Node(L"Inputs");
    if (inputs == nullptr) {
        return true;
    }
    XmlNode* counters = ChildOrNew(*device, L"Counters");
    XmlNode* digitals = ChildOrNew(*device, L"Digitals");
    XmlNode* flows = ChildOrNew(*device, L"Flows");
    const QMWideString deviceName = Text(*device, L"Name");
    auto copy = [](XmlNode* to, const XmlNode& from, std::initializer_list<const wchar_t*> keys) {
        for (const wchar_t* key : keys) {
            to->SetValue(key, Text(from, key).c_str());
        }
    };
    for (XmlNode* input : Elements(inputs)) {
        if (input->Tag() != L"Input") {
            continue;
        }
        const QMWideString type = Text(*input, L"Type");
        if (type == L"Counter") {
            copy(counters->NewChild(L"Counter"), *input,
                 {L"Num", L"Description", L"Unit", L"Factor"});
        } else if (type == L"Digital") {
            copy(digitals->NewChild(L"Digital"), *input, {L"Num", L"Description"});
        } else if (type == L"Caudal") {
            XmlNode* flow = flows->NewChild(L"Flow");
            flow->SetValue(L"Enabled", L"T");
            copy(flow, *input, {L"Num", L"Description", L"Unit", L"Factor"});
            const long long seconds = 60LL * Wtoi(input->Value(L"Time", L"1").view());
            flow->SetValue(L"Time", std::to_wstring(seconds).c_str());
            flow->SetValue(L"Window", L"30");
            // Flow inputs were named like counters; they get the flow variables' names.
            const std::wstring number = std::to_wstring(Wtoi(Text(*input, L"Num").view()));
            addRename(variableRenames, Observer::RenameKind::Variable,
                      deviceName + L".C" + number.c_str(), deviceName + L".F" + number.c_str());
        }
    }
    device->RemoveChild(inputs);
    return true;
}

bool QMTransformCfgTo27::transformVirtualDevice2CalculatedVariables(XmlNode& virtualDevice,
                                                                    XmlDocument& calculated,
                                                                    XmlDocument& cfg) {
    XmlNode* group = calculated.Root().NewChild(L"variablesGroup");
    const QMWideString id = Text(virtualDevice, L"Id");
    QMWideString groupName = id;
    if (!IsValidId(id.c_str(), true)) {
        NormalizeId(groupName);
        addRename(deviceRenames, Observer::RenameKind::Device, id, groupName);
    }
    // The device's setups are found by the id as it was written.
    if (XmlNode* viewSetups = cfg.Root().Node(L"ViewSetups")) {
        if (XmlNode* view = FindChild(*viewSetups, L"ViewSetup", L"DriverId", id)) {
            viewSetups->RemoveChild(view);
        }
    }
    XmlNode* unitSetups = cfg.Root().Node(L"UnitSetups");
    XmlNode* units =
        unitSetups != nullptr ? FindChild(*unitSetups, L"UnitSetup", L"DriverId", id) : nullptr;

    group->SetValue(L"id", NewGUIDText().c_str());
    group->SetValue(L"name", groupName.c_str());
    group->SetValue(L"description", Text(virtualDevice, L"Description").c_str());
    XmlNode* variables = group->NewChild(L"variables");
    for (XmlNode* old : Elements(virtualDevice.Node(L"Variables"))) {
        XmlNode* variable = variables->NewChild(L"variable");
        const QMWideString name = Text(*old, L"Id");
        variable->SetValue(L"id", NewGUIDText().c_str());
        variable->SetValue(L"name", name.c_str());
        variable->SetValue(L"title", Text(*old, L"Name").c_str());
        variable->SetValue(L"units", Text(*old, L"Units").c_str());
        variable->SetValue(L"sampleMode", Text(*old, L"SampleMode").c_str());
        variable->SetValue(L"value", Text(*old, L"Value").c_str());
        if (units != nullptr) {
            if (const XmlNode* unit = FindChild(*units, L"Unit", L"Name", name)) {
                variable->SetValue(L"userDecimals", Text(*unit, L"Decimals").c_str());
            }
        }
        addRename(variableRenames, Observer::RenameKind::Variable, groupName + L"." + name,
                  L"R$CAL_" + groupName + L"." + name);
    }
    if (units != nullptr) {
        unitSetups->RemoveChild(units);
    }
    return true;
}
