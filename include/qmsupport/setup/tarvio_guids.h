#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/identifiers.h>

// The nine GUIDs of the configuration areas that are not a device, screen or report of their
// own. They are new at every start of the process and are not persisted.
//
// The object built by the default constructor becomes the current instance, reachable through
// get(); a copy carries the same GUIDs but never becomes current, so destroying a copy leaves
// the current instance in place.
class QMSUPPORT_API QMTarvioGuids {
  public:
    // Becomes the current instance, then fills the nine GUIDs with fresh values.
    QMTarvioGuids();
    // Copies the nine GUIDs; the current instance does not change.
    QMTarvioGuids(const QMTarvioGuids& other);
    // Clears the current instance when this object is it.
    ~QMTarvioGuids();
    // Copies the nine GUIDs; the current instance does not change.
    QMTarvioGuids& operator=(const QMTarvioGuids& other);

    // The current instance. Calling it while there is none is a programming error: the
    // process stops with a message instead of reading through a null pointer.
    static QMTarvioGuids& get();
    // Whether a current instance exists.
    static bool hasInstance();

    const QMGUID& getStylesGuid() const { return stylesGuid_; }
    const QMGUID& getImagesGuid() const { return imagesGuid_; }
    const QMGUID& getDiscriminatorsGuid() const { return discriminatorsGuid_; }
    const QMGUID& getCalculatedVariablesGuid() const { return calculatedVariablesGuid_; }
    const QMGUID& getEventsCalendarsGuid() const { return eventsCalendarsGuid_; }
    const QMGUID& getEventsGuid() const { return eventsGuid_; }
    const QMGUID& getPreferencesGuid() const { return preferencesGuid_; }
    const QMGUID& getAuthoritationGuid() const { return authoritationGuid_; }
    const QMGUID& getCommSystemGuid() const { return commSystemGuid_; }

  private:
    // Fills the nine GUIDs, in declared order, with fresh values.
    // Nothing is persisted: the GUIDs live for one run of the process.
    bool load();

    QMGUID stylesGuid_{};
    QMGUID imagesGuid_{};
    QMGUID discriminatorsGuid_{};
    QMGUID calculatedVariablesGuid_{};
    QMGUID eventsCalendarsGuid_{};
    QMGUID eventsGuid_{};
    QMGUID preferencesGuid_{};
    QMGUID authoritationGuid_{};
    QMGUID commSystemGuid_{};
};
