#include "install/report_observer.h"

#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qm::install {

namespace {

std::string Unescaped(const QMNarrowString& escaped) {
    QMNarrowString text;
    Xml2Text(text, escaped.c_str());
    return text.str();
}

// How a file that did not load went wrong; a text that is not well-formed XML is told as
// "file:line:column: message", `name` being the file's name in the report.
std::string WhyNotLoaded(const fs::path& file, const std::string& name) {
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
    if (!document.Load(Wide(file.string()).c_str()) && document.ErrorLine() > 0) {
        return "not a well-formed XML file: " + qm::XmlLoadFailure(name, document);
    }
    return "not a well-formed XML file";
}

}  // namespace

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

void ReportObserver::Tick(bool history) {
    // The migration handles history files between side files, so the phase is told again
    // whenever the kind of file changes; each kind keeps its count.
    if (history != inHistory_ || !started_) {
        started_ = true;
        inHistory_ = history;
        progress_.OnPhase(history ? Phase::HistoryFiles : Phase::SideFiles,
                          history ? historyTotal_ : sideTotal_);
    }
    progress_.OnStep(++steps_[history ? 1 : 0]);
}

void ReportObserver::OnRenamePair(RenameKind kind, const RenamePair& pair) {
    auto& list = kind == RenameKind::Device ? report_.deviceRenames : report_.variableRenames;
    list.push_back({Unescaped(pair.oldName), Unescaped(pair.newName)});
}

void ReportObserver::OnRenamePairUsed(RenameKind kind, const RenamePair&, size_t places) {
    const bool device = kind == RenameKind::Device;
    auto& list = device ? report_.deviceRenames : report_.variableRenames;
    size_t& next = usedRenames_[device ? 0 : 1];
    if (next < list.size()) {
        list[next++].places = places;
    }
}

void ReportObserver::OnSideFile(SideFileEvent event, const QMWideString& path,
                                const QMWideString& newPath) {
    const fs::path file = StagePath(path);
    // One step per file, at the first event that names it.
    const bool step = counted_.insert(file.string()).second;
    switch (event) {
        case SideFileEvent::Loaded:
            report_.loaded.push_back(Relative(file));
            break;
        case SideFileEvent::Rewritten:
            report_.rewritten.push_back(Relative(file));
            break;
        case SideFileEvent::Created:
            report_.created.push_back(Relative(file));
            break;
        case SideFileEvent::Renamed:
            report_.renamed.push_back({Relative(file), Relative(StagePath(newPath))});
            break;
        case SideFileEvent::Skipped: {
            // An upgrade's 2.5 and 2.7 steps both skip a file that does not load: once.
            const std::string name = Relative(file);
            if (std::none_of(report_.skipped.begin(), report_.skipped.end(),
                             [&name](const LeftFile& left) { return left.file == name; })) {
                report_.skipped.push_back({name, WhyNotLoaded(file, name)});
            }
            break;
        }
        case SideFileEvent::SaveFailed:
            saveFailed_.push_back(Relative(file));
            return;
        case SideFileEvent::RenameFailed: {
            const fs::path to = StagePath(newPath);
            const std::string reason =
                to.filename().string().size() > 255
                    ? "migrated, but not renamed to its identifier form: the new name would be "
                      "longer than the 255 bytes a file name may have"
                    : "migrated, but not renamed to '" + Relative(to) + "'";
            report_.skipped.push_back({Relative(file), reason});
            break;
        }
    }
    if (step) {
        Tick(false);
    }
}

void ReportObserver::OnDeviceDropped(const QMWideString& device, const QMWideString& connection) {
    report_.droppedDevices.push_back(
        {Utf8(device), "its connection '" + Utf8(connection) +
                           "' does not exist; the device and its settings are gone from the "
                           "configuration"});
}

void ReportObserver::OnVirtualDeviceConverted(const QMWideString& device) {
    report_.convertedDevices.push_back(Utf8(device));
}

void ReportObserver::OnHistoryFileMoved(const QMWideString& from, const QMWideString& to,
                                        bool moved) {
    MovedFile entry{Relative(StagePath(from)), Relative(StagePath(to))};
    (moved ? report_.historyMoved : report_.historyFailed).push_back(std::move(entry));
    Tick(true);
}

void ReportObserver::OnControlDropped(const QMWideString& file, int page, const QMWideString& tag,
                                      ControlDropReason reason) {
    const char* why = "";
    switch (reason) {
        case ControlDropReason::UnknownKind:
            why = "no control is of this kind";
            break;
        case ControlDropReason::NoView:
            why = "it shows no view of a known kind";
            break;
        case ControlDropReason::NoHotSpot:
            why = "it has no hot spot (hotX and hotY)";
            break;
        case ControlDropReason::NoControl:
            why =
                "its entry holds no control of a known kind; the condition stays, with nothing "
                "shown";
            break;
    }
    report_.droppedControls.push_back(
        {Relative(StagePath(file)) + ", page " + std::to_string(page) + ": " + Utf8(tag), why});
}

void ReportObserver::OnImageStored(const QMWideString& file, const QMWideString& image,
                                   const QMWideString& source, bool stored) {
    const std::string from =
        source.IsEmpty() ? "embedded in " + Relative(StagePath(file)) : Relative(StagePath(source));
    const std::string to = Relative(StagePath(QMTarvioSetup::Get().ImagesPath() + image + L".img"));
    if (stored) {
        report_.storedImages.push_back({from, to});
    } else {
        report_.imagesNotStored.push_back({from, "it could not be stored as " + to});
    }
}

void ReportObserver::OnSecurityResourceChanged(const QMWideString&, const QMWideString& profile,
                                               const QMWideString& oldName,
                                               const QMWideString& newName) {
    report_.securityChanges.push_back(
        {Utf8(profile) + ": Alarm " + Utf8(oldName), Utf8(profile) + ": Event " + Utf8(newName)});
}

}  // namespace qm::install
