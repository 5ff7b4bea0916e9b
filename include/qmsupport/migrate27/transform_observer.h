#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstddef>

struct RenamePair;

// Told of what a migration (to 2.7, or to 2.5) does, as it does it. Every callback has an
// empty default, so an observer overrides only what it needs. A migration behaves the same
// with or without an observer. The 2.5 migration tells of its files through OnSideFile and of
// its controls, images and security resources through the callbacks at the end.
class QMSUPPORT_API QMTransformCfgTo27Observer {
  public:
    enum class RenameKind { Device, Variable };
    enum class SideFileEvent {
        Loaded,        // a side file was read
        Rewritten,     // a side file was saved with new content (path is where it was saved)
        Renamed,       // a side file was moved from path to newPath
        Skipped,       // a side file did not load and was left as it is
        Created,       // a side file that did not exist was saved (path is where)
        SaveFailed,    // a side file was migrated in memory but could not be saved
        RenameFailed,  // a side file could not be moved from path to newPath
    };

    virtual ~QMTransformCfgTo27Observer() = default;

    virtual void OnRenamePair(RenameKind /*kind*/, const RenamePair& /*pair*/) {}
    // At the end of the run, for each rename pair in the order of OnRenamePair: the number of
    // places it changed in the text of the configuration, screens, reports and events (a
    // device's data files that took its new name are not counted); 0 for a rename that
    // changed nothing there.
    virtual void OnRenamePairUsed(RenameKind /*kind*/, const RenamePair& /*pair*/,
                                  size_t /*places*/) {}
    // `newPath` is empty except for Renamed and RenameFailed.
    virtual void OnSideFile(SideFileEvent /*event*/, const QMWideString& /*path*/,
                            const QMWideString& /*newPath*/) {}
    // A device whose connection does not exist was dropped from the configuration.
    virtual void OnDeviceDropped(const QMWideString& /*device*/,
                                 const QMWideString& /*connection*/) {}
    // A virtual device became a group of calculated variables.
    virtual void OnVirtualDeviceConverted(const QMWideString& /*device*/) {}
    // A history file moved into its year and month folder, or a move that failed.
    virtual void OnHistoryFileMoved(const QMWideString& /*from*/, const QMWideString& /*to*/,
                                    bool /*moved*/) {}

    // Why a control of a screen or report did not reach the 2.5 document.
    enum class ControlDropReason {
        UnknownKind,  // a page child of no control kind; skipped
        NoView,       // a "show" without a view of a known kind
        NoHotSpot,    // a "floodfill" without "hotX" or "hotY"
        NoControl,    // a conditioned entry without a control of a known kind, or with one
                      // that did not read; its condition is kept with nothing inside
    };
    // `file` is the document's file, `page` the page number (from 1) and `tag` the element's.
    virtual void OnControlDropped(const QMWideString& /*file*/, int /*page*/,
                                  const QMWideString& /*tag*/, ControlDropReason /*reason*/) {}
    // An image of a screen or report was stored in the images directory as `image` (".img"
    // and ".limg"), or could not be (`stored` false). `source` is the image file it was read
    // from, empty for an image embedded in the document.
    virtual void OnImageStored(const QMWideString& /*file*/, const QMWideString& /*image*/,
                               const QMWideString& /*source*/, bool /*stored*/) {}
    // The background of a page that holds floodfills was rendered, once for all of them to
    // take their regions from; `rendered` is false when its canvas would pass the images'
    // pixel bound, and the page's floodfills then keep their own geometry and get no mask.
    virtual void OnPageBackgroundRendered(const QMWideString& /*file*/, int /*page*/,
                                          bool /*rendered*/) {}
    // A security resource of type "Alarm" became type "Event", its name `oldName` became
    // `newName` (the same when the name stays). `profile` is the profile's "Name".
    virtual void OnSecurityResourceChanged(const QMWideString& /*file*/,
                                           const QMWideString& /*profile*/,
                                           const QMWideString& /*oldName*/,
                                           const QMWideString& /*newName*/) {}
};
