#pragma once

#include <qmsupport/export.h>
#include <qmsupport/setup/drivers_catalogue.h>
#include <qmsupport/setup/tarvio_guids.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/identifiers.h>
#include <qmsupport/xml/xml_document.h>

#include <cstdint>

namespace qm::images {
class ImageList;
}

// The process-wide record of how the suite is installed and configured: edition, directories,
// run mode, HTTP port, host resource ids, view ids, the built-in drivers catalogue, the
// feature flags of the screen and report editors, mail and news-feed settings, the local time
// zone and the configuration GUIDs.
//
// The object built by the default constructor becomes the current instance, reachable through
// Get(); copies are deep and never become current, so a copy can serve as a scratch setup
// that is assigned back to the current one.
class QMSUPPORT_API QMTarvioSetup {
  public:
    // Version bits that carry meaning.
    static constexpr uint32_t kScadaEdition = 0x01000000;
    static constexpr uint32_t kParkingEdition = 0x02000000;

    QMTarvioSetup();
    QMTarvioSetup(const QMTarvioSetup& other);
    QMTarvioSetup& operator=(const QMTarvioSetup& other);
    virtual ~QMTarvioSetup();

    // The current instance. Calling it while there is none is a programming error: the
    // process stops with a message instead of reading through a null pointer.
    static QMTarvioSetup& Get();
    // Whether a current instance exists.
    static bool HasInstance();

    // Edition.
    unsigned long Version() const { return version_; }
    void SetVersion(unsigned long version);
    bool HasScada() const { return (version_ & kScadaEdition) != 0; }
    bool HasParking() const { return (version_ & kParkingEdition) != 0; }
    // The key, below the user's hive, that the run mode is kept under.
    const QMWideString& RegisterKey() const { return registerKey_; }

    // Resource ids of the host program.
    unsigned int ProgramIDResource() const { return programIDResource_; }
    void SetProgramIDResource(unsigned int id) { programIDResource_ = id; }
    unsigned int ProgramIDResourceAlarm() const { return programIDResourceAlarm_; }
    void SetProgramIDResourceAlarm(unsigned int id) { programIDResourceAlarm_ = id; }
    unsigned int ProgramIDResourceHttpServerError() const {
        return programIDResourceHttpServerError_;
    }
    void SetProgramIDResourceHttpServerError(unsigned int id) {
        programIDResourceHttpServerError_ = id;
    }

    const QMWideString& ClientIconName() const { return clientIconName_; }
    void SetClientIconName(const QMWideString& name) { clientIconName_ = name; }
    const QMWideString& ProgramName() const { return programName_; }
    void SetProgramName(const QMWideString& name) { programName_ = name; }

    // Directories, stored exactly as set; they end in a backslash and file names are appended
    // to them by plain concatenation.
    const QMWideString& CfgPath() const { return cfgPath_; }
    void SetCfgPath(const QMWideString& path) { cfgPath_ = path; }
    const QMWideString& DataPath() const { return dataPath_; }
    void SetDataPath(const QMWideString& path) { dataPath_ = path; }
    const QMWideString& ImagesPath() const { return imagesPath_; }
    void SetImagesPath(const QMWideString& path) { imagesPath_ = path; }

    // The Olson (IANA) name of the local time zone, found at construction; empty if unknown.
    const QMWideString& OlsonTimeZone() const { return olsonTimeZone_; }

    const QMWideString& CurrentLanguage() const { return currentLanguage_; }
    void SetCurrentLanguage(const QMWideString& language) { currentLanguage_ = language; }
    const QMWideString& SplashBmpName() const { return splashBmpName_; }
    void SetSplashBmpName(const QMWideString& name) { splashBmpName_ = name; }

    // Run mode, persisted as the DWORD "Runtime" under RegisterKey().
    bool Runtime() const { return runtime_; }
    // Stores the flag and writes it to the registry when it changes; registry failures are
    // ignored and the flag is stored all the same.
    void SetRuntime(bool runtime);
    // Reads the persisted flag (true exactly when the stored value is 1); always true.
    bool LoadRuntime();

    int32_t HttpServerPort() const { return httpServerPort_; }
    void SetHttpServerPort(int32_t port) { httpServerPort_ = port; }

    // View ids: opaque tokens, replaced by a fresh GUID on request.
    const QMGUID& ScadaId() const { return scadaId_; }
    const QMGUID& DeviceId() const { return deviceId_; }
    const QMGUID& ReportId() const { return reportId_; }
    const QMGUID& StatusTreeId() const { return statusTreeId_; }
    void InvalidateScadaId();
    void InvalidateDeviceId();
    void InvalidateReportId();
    void InvalidateStatusTreeId();

    // Drivers catalogue, answered by the catalogue this record owns (drivers_catalogue.h).
    // Every index query answers for a disabled or unknown row with its neutral value (empty
    // text, "OTHERS", image 157, 0, -1 or false); the identifier forms are DriverIndex
    // followed by the index form.
    const qm::DriversCatalogue& Drivers() const { return drivers_; }
    int DriverIndex(const wchar_t* identifier) const;
    const wchar_t* DriverName(int index) const;
    const wchar_t* DriverName(const wchar_t* identifier) const;
    bool IsDriverEnabled(int index) const;
    bool IsDriverEnabled(const wchar_t* identifier) const;
    const wchar_t* DriverType(int index) const;
    const wchar_t* getDriverFamily(int index) const;
    const wchar_t* getDriverFamily(const wchar_t* identifier) const;
    int getLittleImage(int index) const;
    int getLittleImage(const wchar_t* identifier) const;
    int getMediumImage(int index) const;
    int getMediumImage(const wchar_t* identifier) const;
    int getLargeImage(int index) const;
    int getLargeImage(const wchar_t* identifier) const;
    int DriverImage(int index, bool large) const;
    int DriverImage(const wchar_t* identifier, bool large) const;
    bool HasAnalogView(int index) const;
    bool HasAnalogView(const wchar_t* identifier) const;
    bool HasTextView(int index) const;
    bool HasTextView(const wchar_t* identifier) const;
    bool HasDisplayedView(const wchar_t* identifier) const;
    int getAllowedSize(int index) const;
    int getAllowedSize(const wchar_t* identifier) const;
    int getAllowedType(int index, int position) const;
    int getAllowedType(const wchar_t* identifier, int position) const;
    int getAllowedMax(int index, int position) const;
    int getAllowedMax(const wchar_t* identifier, int position) const;
    // Feature flag of the screen and report editors; false outside 0..27.
    bool HasResource(int flag) const;
    // The row itself, whatever its enabled state (for listings); null outside 0..65.
    const qm::DriversCatalogue::DriverEntry* CatalogueRow(int index) const;

    // Restricts the enabled drivers to those the node's "Driver" children name and reads the
    // feature flags from "scada.xcfg" and "report.xcfg" (current directory, else its parent).
    // False for a null node or when a feature file cannot be loaded; what was set before the
    // failure stays.
    bool ReadDriversSetup(const XmlDocument::XmlNode* node);
    // Fills the list with the small image of each of the 66 rows (157 for disabled rows), 16
    // by 16 pixels with a mask, magenta transparent: image i belongs to row i. A bitmap the
    // resource chain lacks gives a fully transparent image.
    bool CreateDevicesImageList(qm::images::ImageList& list) const;

    // Mail settings, read from the attributes of the configuration's mail node. The password
    // is kept in Base64 in the configuration and held here decoded; a decoded password longer
    // than 511 bytes is cut to its first 511 bytes.
    bool ReadSmtpSetup(const XmlDocument::XmlNode* node);
    const QMNarrowString& SmtpFrom() const { return smtpFrom_; }
    const QMNarrowString& SmtpServer() const { return smtpServer_; }
    bool SmtpAuthenticated() const { return smtpAuthenticated_; }
    const QMNarrowString& SmtpUser() const { return smtpUser_; }
    const QMNarrowString& SmtpPassword() const { return smtpPassword_; }
    bool SmtpValid() const { return smtpValid_; }

    // News-feed settings, read from the attributes of the configuration's feed node.
    bool ReadRssSetup(const XmlDocument::XmlNode* node);
    const QMWideString& RssUrl() const { return rssUrl_; }
    bool RssActive() const { return rssActive_; }
    int32_t RssItems() const { return rssItems_; }

    // The configuration GUIDs held by this record.
    const QMTarvioGuids& Guids() const { return guids_; }

    // The longest decoded mail password that is kept, in bytes.
    static constexpr size_t kMaxSmtpPassword = 511;

  private:
    void LookupOlsonTimeZone();

    uint32_t version_ = 0;
    QMWideString registerKey_;
    unsigned int programIDResource_ = 0;
    unsigned int programIDResourceAlarm_ = 0;
    unsigned int programIDResourceHttpServerError_ = 0;
    QMWideString clientIconName_;
    QMWideString programName_;
    QMWideString cfgPath_;
    QMWideString dataPath_;
    QMWideString imagesPath_;
    QMWideString olsonTimeZone_;
    QMWideString currentLanguage_;
    QMWideString splashBmpName_;
    bool runtime_ = false;
    int32_t httpServerPort_ = 0;
    QMGUID scadaId_{};
    QMGUID deviceId_{};
    QMGUID reportId_{};
    QMGUID statusTreeId_{};

    qm::DriversCatalogue drivers_;

    QMNarrowString smtpFrom_;
    QMNarrowString smtpServer_;
    bool smtpAuthenticated_ = false;
    QMNarrowString smtpUser_;
    QMNarrowString smtpPassword_;
    bool smtpValid_ = false;

    QMWideString rssUrl_;
    bool rssActive_ = false;
    int32_t rssItems_ = 0;

    QMTarvioGuids guids_;
};
