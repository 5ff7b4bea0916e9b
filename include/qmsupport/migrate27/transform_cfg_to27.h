#pragma once

#include <qmsupport/export.h>
#include <qmsupport/migrate27/transform_observer.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

// An old and a new name, as UTF-8 text with the XML special characters escaped, that is,
// exactly as the names appear inside the text of an XML document.
struct QMSUPPORT_API RenamePair {
    QMNarrowString oldName;
    QMNarrowString newName;
};

// Rewrites a configuration made for an earlier release into the 2.7 layout. The main
// document is changed in memory only; the side files (screens, reports, styles, events,
// calculated variables, security, history data) are rewritten or moved on disk.
//
// An object serves one run: create it, call transform once, discard it.
class QMSUPPORT_API QMTransformCfgTo27 {
  public:
    QMTransformCfgTo27();
    QMTransformCfgTo27(const QMTransformCfgTo27& other);
    QMTransformCfgTo27& operator=(const QMTransformCfgTo27& other);
    virtual ~QMTransformCfgTo27();

    // Migrates `cfg`, the loaded main configuration document. Always true.
    bool transform(XmlDocument& cfg);

    // An observer told of what the run does, or null (the default). It is not owned and must
    // outlive the run. Copies of the object share it.
    void SetObserver(QMTransformCfgTo27Observer* observer);
    QMTransformCfgTo27Observer* Observer() const { return observer_; }

  private:
    struct SideFileKind;
    struct DeviceIndex;

    bool transformDefaultCommSystemNode(XmlDocument& cfg);
    bool transformDefaultDeviceGroupsNode(XmlDocument& cfg);
    bool transformDefaultViewSetupsNode(XmlDocument& cfg);
    bool transformDefaultUnitSetupsNode(XmlDocument& cfg);
    bool transformVariablesNames(XmlDocument& doc);
    bool transformDevicesNames(XmlDocument& doc);
    bool transformStyleFiles();
    bool transformScadaFiles();
    bool transformReportFiles();
    bool transformStylesInControls(XmlDocument& doc);
    bool transformEventFile();
    bool transformDataFiles(const wchar_t* dataPath);
    bool transformSecurityFile(XmlDocument& cfg);
    bool transformJTInputsCfg(XmlDocument::XmlNode* device);
    bool transformVirtualDevice2CalculatedVariables(XmlDocument::XmlNode& virtualDevice,
                                                    XmlDocument& calculated, XmlDocument& cfg);
    const XmlDocument::XmlNode* deviceNodeByName(const XmlDocument& cfg,
                                                 const QMWideString& name) const;

    // The step shared by styles, screens and reports.
    bool transformSideFiles(const SideFileKind& kind);
    bool applyRenames(XmlDocument& doc, const std::vector<RenamePair>& renames,
                      char firstDelimiter);
    void addRename(std::vector<RenamePair>& list, QMTransformCfgTo27Observer::RenameKind kind,
                   const QMWideString& oldName, const QMWideString& newName);
    bool moveHistoryFile(const QMWideString& from, const QMWideString& directory, int year,
                         int month, const QMWideString& fileName);
    void notifySideFile(QMTransformCfgTo27Observer::SideFileEvent event, const QMWideString& path,
                        const QMWideString& newPath = QMWideString());

    std::vector<RenamePair> variableRenames;
    std::vector<RenamePair> deviceRenames;
    std::vector<QMWideString> virtualDeviceIds;
    // The places each rename pair changed in the configuration's text, by pair.
    std::vector<size_t> deviceRenameUses_;
    std::vector<size_t> variableRenameUses_;
    QMTransformCfgTo27Observer* observer_ = nullptr;
    // While set, history moves are kept here instead of being told to the observer.
    struct HistoryMove;
    std::vector<HistoryMove>* heldMoves_ = nullptr;
    // Style look-ups of the current side-file step: the style files do not change while
    // screens and reports are rewritten, and each look-up searches the directory.
    std::map<QMWideString, std::optional<QMWideString>> styleIds_;
    // Made by the first device look-up; copies share it.
    mutable std::shared_ptr<const DeviceIndex> deviceIndex_;
};
