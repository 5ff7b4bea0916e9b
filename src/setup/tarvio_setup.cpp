#include <qmsupport/setup/tarvio_setup.h>

#include <qmsupport/store/registry.h>
#include <qmsupport/store/time_zone.h>
#include <qmsupport/toolsapi/codecs.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {
QMTarvioSetup* g_current = nullptr;

// The registry keys of the editions, below the user's hive. A branded edition is chosen by
// the first of its bits that is set, tested in this order; the default edition has none.
struct EditionKey {
    uint32_t mask;
    const wchar_t* key;
};
constexpr EditionKey kBrandedEditions[] = {
    {0x02, L"Software\\Alpha\\Energy Suite"},   {0x08, L"Software\\Gamma\\Energy Suite"},
    {0x04, L"Software\\Beta\\Energy Suite"},    {0x10, L"Software\\Delta\\Energy Suite"},
    {0x20, L"Software\\Epsilon\\Energy Suite"}, {0x40, L"Software\\Zeta\\Energy Suite"},
};
constexpr const wchar_t* kDefaultEditionKey = L"Software\\Tarvio\\Energy Suite";
constexpr const wchar_t* kScadaKeySuffix = L" Scada";
constexpr const wchar_t* kRuntimeValue = L"Runtime";

bool IsTrue(const QMWideString& value) {
    return value == L"T";
}

QMNarrowString Utf8Attribute(const XmlDocument::XmlNode& node, const wchar_t* name) {
    return QMNarrowString(qm::Utf8(node.Value(name, L"")));
}

}  // namespace

QMTarvioSetup::QMTarvioSetup() {
    g_current = this;
    SetVersion(1);
    httpServerPort_ = 80;
    cfgPath_ = L"..\\Cfg\\";
    dataPath_ = L"..\\Data\\";
    imagesPath_ = L"..\\Cfg\\Images\\";
    clientIconName_ = L"ClientIco.bmp";
    NewGUID(scadaId_);
    NewGUID(deviceId_);
    NewGUID(reportId_);
    NewGUID(statusTreeId_);
    LookupOlsonTimeZone();
}

QMTarvioSetup::QMTarvioSetup(const QMTarvioSetup& other) = default;

QMTarvioSetup& QMTarvioSetup::operator=(const QMTarvioSetup& other) = default;

QMTarvioSetup::~QMTarvioSetup() {
    if (g_current == this) {
        g_current = nullptr;
    }
}

QMTarvioSetup& QMTarvioSetup::Get() {
    if (!g_current) {
        std::fputs("QMTarvioSetup::Get() called with no current instance\n", stderr);
        std::abort();
    }
    return *g_current;
}

bool QMTarvioSetup::HasInstance() {
    return g_current != nullptr;
}

void QMTarvioSetup::SetVersion(unsigned long version) {
    version_ = static_cast<uint32_t>(version);
    registerKey_ = kDefaultEditionKey;
    for (const EditionKey& edition : kBrandedEditions) {
        if (version_ & edition.mask) {
            registerKey_ = edition.key;
            break;
        }
    }
    if (HasScada()) {
        registerKey_ += kScadaKeySuffix;
    }
    drivers_.SetEdition(HasScada(), HasParking());
}

void QMTarvioSetup::SetRuntime(bool runtime) {
    if (runtime == runtime_) {
        return;
    }
    // The run mode changes for this process even when the registry file cannot be written.
    (void)qm::platform::Registry::WriteDword(registerKey_.str(), kRuntimeValue, runtime ? 1 : 0);
    runtime_ = runtime;
}

bool QMTarvioSetup::LoadRuntime() {
    std::optional<uint32_t> value =
        qm::platform::Registry::ReadDword(registerKey_.str(), kRuntimeValue);
    runtime_ = value && *value == 1;
    return true;
}

void QMTarvioSetup::InvalidateScadaId() {
    NewGUID(scadaId_);
}
void QMTarvioSetup::InvalidateDeviceId() {
    NewGUID(deviceId_);
}
void QMTarvioSetup::InvalidateReportId() {
    NewGUID(reportId_);
}
void QMTarvioSetup::InvalidateStatusTreeId() {
    NewGUID(statusTreeId_);
}

bool QMTarvioSetup::ReadSmtpSetup(const XmlDocument::XmlNode* node) {
    smtpValid_ = false;
    if (!node) {
        return false;
    }
    smtpFrom_ = Utf8Attribute(*node, L"From");
    smtpServer_ = Utf8Attribute(*node, L"Server");
    smtpAuthenticated_ = IsTrue(node->Value(L"Authenticated", L""));
    smtpUser_ = Utf8Attribute(*node, L"User");

    smtpPassword_.Clear();
    QMNarrowString encoded = Utf8Attribute(*node, L"Password");
    if (!encoded.IsEmpty()) {
        QMNarrowString decoded;
        DecodeBase64String(decoded, encoded.c_str(), encoded.Length());
        // The password ends at the first zero byte and is cut to the longest password kept.
        size_t length = strnlen(decoded.c_str(), std::min(decoded.Length(), kMaxSmtpPassword));
        smtpPassword_ = QMNarrowString(decoded.c_str(), length);
    }
    smtpValid_ = true;
    return true;
}

bool QMTarvioSetup::ReadRssSetup(const XmlDocument::XmlNode* node) {
    if (!node) {
        return false;
    }
    rssActive_ = IsTrue(node->Value(L"active", L""));
    rssItems_ = Wtoi(node->Value(L"items", L"").view());
    rssUrl_ = node->Value(L"url", L"");
    return true;
}

// Linux has no Windows time-zone keys to compare display names with: the local zone's
// Windows identifier comes from the platform layer and is translated the same way.
void QMTarvioSetup::LookupOlsonTimeZone() {
    olsonTimeZone_.Clear();
    QMWideString windowsName = LocalWindowsTimeZone();
    if (!windowsName.IsEmpty()) {
        olsonTimeZone_ = Win32TimeZoneToOlsonTimeZone(windowsName.c_str());
    }
}

// The drivers catalogue's queries, answered by the catalogue this record owns.
int QMTarvioSetup::DriverIndex(const wchar_t* identifier) const {
    return drivers_.DriverIndex(identifier);
}
const qm::DriversCatalogue::DriverEntry* QMTarvioSetup::CatalogueRow(int index) const {
    return drivers_.Row(index);
}
const wchar_t* QMTarvioSetup::DriverName(int index) const {
    return drivers_.DriverName(index);
}
bool QMTarvioSetup::IsDriverEnabled(int index) const {
    return drivers_.IsDriverEnabled(index);
}
const wchar_t* QMTarvioSetup::DriverType(int index) const {
    return drivers_.DriverType(index);
}
const wchar_t* QMTarvioSetup::getDriverFamily(int index) const {
    return drivers_.DriverFamily(index);
}
int QMTarvioSetup::getLittleImage(int index) const {
    return drivers_.SmallImage(index);
}
int QMTarvioSetup::getMediumImage(int index) const {
    return drivers_.MediumImage(index);
}
int QMTarvioSetup::getLargeImage(int index) const {
    return drivers_.LargeImage(index);
}
int QMTarvioSetup::DriverImage(int index, bool large) const {
    return large ? getLargeImage(index) : getLittleImage(index);
}
bool QMTarvioSetup::HasAnalogView(int index) const {
    return drivers_.HasAnalogView(index);
}
bool QMTarvioSetup::HasTextView(int index) const {
    return drivers_.HasTextView(index);
}
bool QMTarvioSetup::HasDisplayedView(const wchar_t* identifier) const {
    return HasAnalogView(identifier) || HasTextView(identifier);
}
int QMTarvioSetup::getAllowedSize(int index) const {
    return drivers_.AllowedSize(index);
}
int QMTarvioSetup::getAllowedType(int index, int position) const {
    return drivers_.AllowedType(index, position);
}
int QMTarvioSetup::getAllowedMax(int index, int position) const {
    return drivers_.AllowedMax(index, position);
}
bool QMTarvioSetup::HasResource(int flag) const {
    return drivers_.HasFeature(flag);
}
bool QMTarvioSetup::ReadDriversSetup(const XmlDocument::XmlNode* node) {
    return drivers_.ReadDriversSetup(node);
}

// The identifier forms: the row of the identifier, then the index form.
const wchar_t* QMTarvioSetup::DriverName(const wchar_t* identifier) const {
    return DriverName(DriverIndex(identifier));
}
bool QMTarvioSetup::IsDriverEnabled(const wchar_t* identifier) const {
    return IsDriverEnabled(DriverIndex(identifier));
}
const wchar_t* QMTarvioSetup::getDriverFamily(const wchar_t* identifier) const {
    return getDriverFamily(DriverIndex(identifier));
}
int QMTarvioSetup::getLittleImage(const wchar_t* identifier) const {
    return getLittleImage(DriverIndex(identifier));
}
int QMTarvioSetup::getMediumImage(const wchar_t* identifier) const {
    return getMediumImage(DriverIndex(identifier));
}
int QMTarvioSetup::getLargeImage(const wchar_t* identifier) const {
    return getLargeImage(DriverIndex(identifier));
}
int QMTarvioSetup::DriverImage(const wchar_t* identifier, bool large) const {
    return DriverImage(DriverIndex(identifier), large);
}
bool QMTarvioSetup::HasAnalogView(const wchar_t* identifier) const {
    return HasAnalogView(DriverIndex(identifier));
}
bool QMTarvioSetup::HasTextView(const wchar_t* identifier) const {
    return HasTextView(DriverIndex(identifier));
}
int QMTarvioSetup::getAllowedSize(const wchar_t* identifier) const {
    return getAllowedSize(DriverIndex(identifier));
}
int QMTarvioSetup::getAllowedType(const wchar_t* identifier, int position) const {
    return getAllowedType(DriverIndex(identifier), position);
}
int QMTarvioSetup::getAllowedMax(const wchar_t* identifier, int position) const {
    return getAllowedMax(DriverIndex(identifier), position);
}
