#pragma once

#include <qmsupport/export.h>
#include <qmsupport/legacy/legacy_conversion_observer.h>
#include <qmsupport/xml/xml_document.h>

#include <cstddef>

// Converts legacy alarms into events: the alarm groups and alarms of a legacy alarm tree are
// appended to "default.xeve" of the configuration directory, and every legacy alarm history
// file "..\DATA\Alarms*.alm" becomes the event history file "Events" + suffix + ".eve" of
// the data directory (appended to when it exists).
//
// An object serves one run: create it, call AlarmQMCfgFile2EventsXml once, discard it.
class QMSUPPORT_API QMTransformAlarmCfgToEventXml {
  public:
    // The most occurrences kept open at once. A record that would open one more ends the
    // conversion of its file, so that a hostile file cannot take all memory.
    static constexpr size_t kMaxOpenOccurrences = size_t{1} << 24;

    QMTransformAlarmCfgToEventXml() = default;
    QMTransformAlarmCfgToEventXml(const QMTransformAlarmCfgToEventXml&) = default;
    QMTransformAlarmCfgToEventXml& operator=(const QMTransformAlarmCfgToEventXml&) = default;
    virtual ~QMTransformAlarmCfgToEventXml();

    // Converts the alarm tree below `node` (which may be null) and all alarm history files.
    // Always true.
    bool AlarmQMCfgFile2EventsXml(const XmlDocument::XmlNode* node);

    // An observer told of what could not be converted, or null (the default). It is not
    // owned and must outlive the run.
    void SetObserver(QMLegacyConversionObserver* observer) { observer_ = observer; }

  private:
    QMLegacyConversionObserver* observer_ = nullptr;
};
