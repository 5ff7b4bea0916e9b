#pragma once

#include <qmsupport/export.h>
#include <qmsupport/migrate27/transform_observer.h>
#include <qmsupport/xml/xml_document.h>

// Brings the screens, reports and styles of the configuration directory to the 2.5 layout,
// and converts the security document to 2.5.
//
// An object serves one run: create it, call transform (and transformSecurityFile when the
// security document is due), discard it.
class QMSUPPORT_API QMTransformCfgTo25 {
  public:
    QMTransformCfgTo25() = default;
    QMTransformCfgTo25(const QMTransformCfgTo25&) = default;
    QMTransformCfgTo25& operator=(const QMTransformCfgTo25&) = default;
    virtual ~QMTransformCfgTo25();

    // Rewrites every "*.xscn", then every "*.xrpt", then every "*.xsty" file of the
    // configuration directory, saving each file that loads. Nothing is done without SCADA.
    // `configuration` is neither read nor changed. Always true; the security document is
    // left to transformSecurityFile.
    bool transform(XmlDocument& configuration);

    // Brings "Security.xcfg" to 2.5. When it does not load, the legacy "..\cfg\security.cfg"
    // (relative to the current directory) is converted into it and saved at once. A document
    // at 2.5 or later is not rewritten; otherwise "Alarm" resources become "Event" ones and
    // the document is saved. False only when no security document could be obtained.
    bool transformSecurityFile();

    // An observer told of each file loaded, saved or skipped, each control dropped, each
    // image stored and each security resource changed, or null (the default). It is not
    // owned and must outlive the run. Copies of the object share it.
    void SetObserver(QMTransformCfgTo27Observer* observer) { observer_ = observer; }
    QMTransformCfgTo27Observer* Observer() const { return observer_; }

  private:
    bool transformScadaFiles();
    bool transformReportFiles();
    bool transformStyleFiles();
    enum class FileKind { Screen, Report, Style };
    // The step shared by the three kinds: each file of the kind is loaded, migrated and saved
    // when its migration returns true.
    bool transformFiles(FileKind kind);
    void notify(QMTransformCfgTo27Observer::SideFileEvent event, const QMWideString& path);

    QMTransformCfgTo27Observer* observer_ = nullptr;
};
