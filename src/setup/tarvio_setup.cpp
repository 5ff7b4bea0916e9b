#include <qmsupport/setup/tarvio_setup.h>

#include <qmsupport/store/registry.h>
#include <qmsupport/store/resources.h>
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

// Feature flags that follow the SCADA edition bit.
constexpr qm::FeatureFlag kScadaEditionFeatures[] = {
    qm::kFeatureScadaEvents, qm::kFeatureScadaReports, qm::kFeatureScadaEdition};

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
    for (int i = 0; i < kDriverCount; ++i) {
        ApplyBuiltInRow(i);
    }
    // Every feature flag is set except those that follow the SCADA bit.
    const bool scada = HasScada();
    features_.fill(true);
    for (int flag : kScadaEditionFeatures) {
        features_[flag] = scada;
    }
    EnableDefaultGroups();
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
    for (int flag : kScadaEditionFeatures) {
        features_[flag] = HasScada();
    }
    ApplyBuiltInRow(kDriverComUdp);
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
