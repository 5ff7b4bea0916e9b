#include <qmsupport/setup/drivers_catalogue.h>

#include <cstddef>
#include <span>

namespace qm {
namespace {
// The catalogue rows that may be placed below a hosting driver, each with its maximum count;
// a list without maxima allows kUnlimitedChildren of each.
struct ChildList {
    std::span<const int> indices;
    std::span<const int> maxima;
};

constexpr int kChildrenC1[] = {0,  1,  2,  3,  4,  7,  17, 18, 20, 22, 23, 24, 25, 27, 28,
                               29, 31, 32, 34, 35, 37, 39, 42, 43, 44, 47, 56, 57, 60};
constexpr int kChildrenC2[] = {0,  1,  2,  3,  4,  7,  17, 18, 20, 22, 23, 24,
                               25, 27, 28, 29, 30, 31, 32, 33, 34, 35, 37, 39,
                               41, 42, 43, 44, 45, 47, 49, 52, 56, 57, 58, 60};
constexpr int kChildrenC3[] = {0,  1,  2,  3,  4,  7,  17, 18, 20, 22, 23, 24,
                               25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 37,
                               39, 41, 42, 43, 44, 45, 47, 56, 57, 58, 60};
constexpr int kChildrenC4[] = {1,  2,  3,  4,  7,  17, 18, 20, 22, 23, 24, 25, 27, 28,
                               29, 31, 32, 34, 35, 39, 43, 44, 45, 47, 56, 57, 60};
constexpr int kChildrenParking[] = {33, 45, 58};
constexpr int kChildrenParkingMax[] = {5, 10, 128};
constexpr int kChildrenQualityGateway[] = {49, 52};

constexpr ChildList kNoChildren{};
constexpr ChildList kC1{kChildrenC1, {}};
constexpr ChildList kC2{kChildrenC2, {}};
constexpr ChildList kC3{kChildrenC3, {}};
constexpr ChildList kC4{kChildrenC4, {}};
constexpr ChildList kParkingChildren{kChildrenParking, kChildrenParkingMax};
constexpr ChildList kQualityGatewayChildren{kChildrenQualityGateway, {}};

struct BuiltInDriver {
    const wchar_t* identifier;
    const wchar_t* family;
    int group;
    bool analogView;
    bool textView;
    int smallImage;
    int mediumImage;
    int largeImage;
    ChildList children;
};

constexpr const wchar_t* kProtection = L"PROTECTION";
constexpr const wchar_t* kMeasure = L"MEASURE";
constexpr const wchar_t* kQuality = L"QUALITY";
constexpr const wchar_t* kInOut = L"INOUT";
constexpr const wchar_t* kParking = L"PARKING";
constexpr const wchar_t* kConverter = L"CONVERTER";
constexpr const wchar_t* kOthers = L"OTHERS";

// The built-in catalogue. Instrument rows are keyed by their model code.
constexpr BuiltInDriver kBuiltInDrivers[kDriverCount] = {
    {L"PRT100", kProtection, 0, true, true, 984, 973, 985, kNoChildren},
    {L"PRT110", kProtection, 1, true, false, 1612, 1602, 1611, kNoChildren},
    {L"PRT120", kProtection, 2, true, false, 911, 901, 912, kNoChildren},
    {L"PRT130", kProtection, 3, true, false, 942, 931, 943, kNoChildren},
    {L"MTR200", kMeasure, 4, true, true, 790, 774, 793, kNoChildren},
    {L"MTR201", kMeasure, 4, true, true, 790, 774, 793, kNoChildren},
    {L"MTR202", kMeasure, 4, true, true, 790, 774, 793, kNoChildren},
    {L"OTH700", kOthers, 44, false, true, 2233, 2228, 2234, kNoChildren},
    {L"COM_GMBTCP", kConverter, 47, false, false, 1730, 1732, 1731, kC1},
    {L"COM_GTCP", kConverter, 45, false, false, 1724, 1726, 1728, kC2},
    {L"COM_GUDP", kConverter, 46, false, false, 1725, 1727, 1729, kC2},
    {L"COM_MBTCP", kConverter, 5, false, false, 1710, 1712, 1715, kC1},
    {L"COM_PARKING", kParking, 6, false, false, 1819, 1820, 1822, kParkingChildren},
    {L"COM_RS", kConverter, 7, false, false, 1708, 1713, 1714, kC2},
    {L"COM_TCP", kConverter, 8, false, false, 1711, 1712, 1715, kNoChildren},
    {L"CNV400", kConverter, 40, false, false, 1711, 1712, 1715, kQualityGatewayChildren},
    {L"COM_UDP", kConverter, 9, false, false, 1709, 1712, 1715, kC3},
    {L"PRT140", kProtection, 41, true, true, 2115, 2103, 2116, kNoChildren},
    {L"MTR210", kMeasure, 10, true, true, 419, 403, 418, kNoChildren},
    {L"MTR211", kMeasure, 10, true, true, 419, 403, 418, kNoChildren},
    {L"MTR220", kMeasure, 11, true, true, 468, 453, 470, kNoChildren},
    {L"MTR221", kMeasure, 11, true, true, 468, 453, 470, kNoChildren},
    {L"MTR230", kMeasure, 12, true, true, 609, 603, 610, kNoChildren},
    {L"MTR240", kMeasure, 13, true, true, 469, 454, 466, kNoChildren},
    {L"MTR250", kMeasure, 14, true, true, 659, 653, 660, kNoChildren},
    {L"MTR260", kMeasure, 15, true, true, 1690, 1673, 1689, kNoChildren},
    {L"MTR261", kMeasure, 15, true, true, 1690, 1673, 1689, kNoChildren},
    {L"MTR270", kMeasure, 16, true, true, 712, 703, 713, kNoChildren},
    {L"MTR280", kMeasure, 17, true, true, 496, 488, 494, kNoChildren},
    {L"MTR290", kMeasure, 18, true, true, 495, 478, 493, kNoChildren},
    {L"IOM300", kInOut, 19, true, true, 758, 753, 759, kNoChildren},
    {L"MTR300", kMeasure, 20, true, true, 1537, 1528, 1538, kNoChildren},
    {L"MTR310", kMeasure, 21, true, true, 808, 802, 809, kNoChildren},
    {L"PKS500", kParking, 22, true, false, 1752, 1753, 1756, kNoChildren},
    {L"MTR320", kMeasure, 23, false, true, 515, 512, 516, kNoChildren},
    {L"GMODBUS", kOthers, 24, true, true, 1882, 1880, 1886, kNoChildren},
    {L"IPCAM", kOthers, 25, true, false, 1951, 1950, 1952, kNoChildren},
    {L"IOM310", kInOut, 26, true, true, 859, 856, 860, kNoChildren},
    {L"IOM320", kInOut, 27, true, true, 1926, 1923, 1928, kC4},
    {L"IOM330", kInOut, 28, true, true, 1909, 1906, 1910, kNoChildren},
    {L"IOM311", kInOut, 29, true, true, 676, 673, 678, kC4},
    {L"PKS510", kParking, 43, true, false, 1752, 1753, 1756, kNoChildren},
    {L"MTR330", kMeasure, 30, true, true, 625, 623, 626, kNoChildren},
    {L"MTR340", kMeasure, 42, false, true, 2155, 2152, 2156, kNoChildren},
    {L"IOM340", kInOut, 31, false, true, 1657, 1652, 1660, kNoChildren},
    {L"PKS520", kParking, 32, false, true, 1782, 1777, 1785, kNoChildren},
    {L"OPCCLIENT", kOthers, 48, true, true, 2257, 2255, 2261, kNoChildren},
    {L"MTR350", kMeasure, 33, true, true, 1561, 1553, 1563, kNoChildren},
    {L"OTH710", kOthers, 49, true, true, 2310, 2308, 2315, kNoChildren},
    {L"PQA600", kQuality, 34, true, true, 1159, 1153, 1175, kNoChildren},
    {L"PQA601", kQuality, 34, true, true, 1159, 1153, 1175, kNoChildren},
    {L"PQA602", kQuality, 34, true, true, 1159, 1153, 1175, kNoChildren},
    {L"PQA603", kQuality, 34, true, true, 1159, 1153, 1175, kNoChildren},
    {L"PQA604", kQuality, 34, true, true, 1159, 1153, 1175, kNoChildren},
    {L"PQA605", kQuality, 34, true, true, 1159, 1153, 1175, kNoChildren},
    {L"PQA610", kQuality, 39, true, true, 2059, 2053, 2075, kNoChildren},
    {L"PRT150", kProtection, 35, true, false, 1471, 1461, 1470, kNoChildren},
    {L"PRT160", kProtection, 36, false, true, 875, 877, 878, kNoChildren},
    {L"PKS530", kParking, 37, true, false, 1742, 1743, 1746, kNoChildren},
    {L"IOM350", kInOut, 38, true, false, 1505, 1503, 1508, kC1},
    {L"MTR360", kMeasure, 50, true, true, 2358, 2354, 2359, kNoChildren},
    {L"OTH720", kOthers, -1, false, false, 157, 157, 157, kNoChildren},
    {L"R$PKC", kOthers, -1, false, false, 1627, 1627, 1627, kNoChildren},
    {L"R$CAL", kOthers, -1, false, false, 1627, 1627, 1627, kNoChildren},
    {L"R$EVE", kOthers, -1, false, false, 1366, 1366, 1366, kNoChildren},
    {L"R$SYS", kOthers, -1, false, false, 1975, 1975, 1975, kNoChildren},
};

// The UDP converter's medium and large images in the parking edition.
constexpr int kComUdpParkingMedium = 1734;
constexpr int kComUdpParkingLarge = 1733;

// Rows whose view flags are never reported, whatever their state.
constexpr int kLastViewedDriver = 60;

// The feature flags read from the editors' feature files: the attribute of the file's root
// element that sets each flag.
struct FeatureAttribute {
    FeatureFlag flag;
    const wchar_t* attribute;
};
constexpr FeatureAttribute kScadaFeatures[] = {
    {kFeatureScreenLabels, L"labels"},
    {kFeatureScreenDates, L"dates"},
    {kFeatureScreenImages, L"images"},
    {kFeatureScreenFormules, L"formules"},
    {kFeatureScreenConditioned, L"conditioned"},
    {kFeatureShowScada, L"showScada"},
    {kFeatureShowReport, L"showReport"},
    {kFeatureShowDevice, L"showDevice"},
    {kFeatureShowActivedEvents, L"showActivedEvents"},
    {kFeatureShowHistoricEvents, L"showHistoricEvents"},
    {kFeatureShowGraph, L"showGraph"},
    {kFeatureLaunchApp, L"launchApp"},
    {kFeatureForceVariables, L"forceVariables"},
    {kFeatureFloodFill, L"floodFill"},
    {kFeatureParkingSensor, L"parkingSensor"},
    {kFeatureParkingDisplay, L"parkingDisplay"},
    {kFeatureDynamicImage, L"dynamicImage"},
    {kFeatureParkingMultiDisplay, L"parkingMultiDisplay"},
    {kFeatureCoSensor, L"coSensor"},
};
constexpr FeatureAttribute kReportFeatures[] = {
    {kFeatureReportLabels, L"labels"},           {kFeatureReportDates, L"dates"},
    {kFeatureReportImages, L"images"},           {kFeatureReportFormules, L"formules"},
    {kFeatureReportConditioned, L"conditioned"}, {kFeatureReportGraph, L"reportGraph"},
};

// Feature flags that follow the SCADA edition.
constexpr FeatureFlag kScadaEditionFeatures[] = {kFeatureScadaEvents, kFeatureScadaReports,
                                                 kFeatureScadaEdition};

// A feature that needs a driver group: the flag is cleared when the group is disabled.
struct GroupFeature {
    int group;
    FeatureFlag flag;
};
constexpr GroupFeature kGroupFeatures[] = {{25, kFeatureDynamicImage},
                                           {37, kFeatureParkingSensor},
                                           {22, kFeatureParkingDisplay},
                                           {43, kFeatureParkingMultiDisplay},
                                           {44, kFeatureCoSensor}};

// The display names of the system pseudo-drivers, in the order they are set.
constexpr int kSystemRows[] = {kDriverCalendars, kDriverEvents, kDriverParkingSystem,
                               kDriverSystem};
constexpr int kGenericModbusRow = 35;
constexpr const wchar_t* kGenericModbusName = L"Generic Modbus";

bool LoadFeatureFile(XmlDocument& document, const wchar_t* name, const wchar_t* parentName) {
    return document.Load(name) || document.Load(parentName);
}

void ReadFeatureFlags(const XmlDocument& document, std::span<const FeatureAttribute> features,
                      std::array<bool, kFeatureFlagCount>& flags) {
    const XmlDocument::XmlNode& root = document.Root();
    for (const FeatureAttribute& feature : features) {
        flags[feature.flag] = root.Value(feature.attribute, L"") == L"T";
    }
}
}  // namespace

void DriversCatalogue::DriverEntry::AddChildRule(int32_t index, int32_t max) {
    for (ChildRule& rule : childRules) {
        if (rule.index == index) {
            rule.max = max;
            return;
        }
    }
    childRules.push_back(ChildRule{index, max});
}

DriversCatalogue::DriversCatalogue() {
    for (int i = 0; i < kDriverCount; ++i) {
        ApplyBuiltInRow(i);
    }
    features_.fill(true);
    for (FeatureFlag flag : kScadaEditionFeatures) {
        features_[flag] = false;
    }
    groupEnabled_.fill(true);
    for (int group : kNeverEnabledGroups) {
        groupEnabled_[group] = false;
    }
}

void DriversCatalogue::SetEdition(bool scada, bool parking) {
    parking_ = parking;
    for (FeatureFlag flag : kScadaEditionFeatures) {
        features_[flag] = scada;
    }
    ApplyBuiltInRow(kDriverComUdp);
}

void DriversCatalogue::ApplyBuiltInRow(int index) {
    const BuiltInDriver& source = kBuiltInDrivers[index];
    DriverEntry& row = rows_[index];
    row.identifier = source.identifier;
    row.group = source.group;
    row.family = source.family;
    row.analogView = source.analogView;
    row.textView = source.textView;
    row.smallImage = source.smallImage;
    row.mediumImage = source.mediumImage;
    row.largeImage = source.largeImage;
    if (index == kDriverComUdp && parking_) {
        row.mediumImage = kComUdpParkingMedium;
        row.largeImage = kComUdpParkingLarge;
    }
    row.childRules.clear();
    for (size_t i = 0; i < source.children.indices.size(); ++i) {
        row.AddChildRule(source.children.indices[i], i < source.children.maxima.size()
                                                         ? source.children.maxima[i]
                                                         : kUnlimitedChildren);
    }
}

int DriversCatalogue::DriverIndex(const wchar_t* identifier) const {
    if (!identifier) {
        return -1;
    }
    for (int i = 0; i < kDriverCount; ++i) {
        if (rows_[i].identifier == identifier) {
            return i;
        }
    }
    return -1;
}

const DriversCatalogue::DriverEntry* DriversCatalogue::Row(int index) const {
    return index >= 0 && index < kDriverCount ? &rows_[index] : nullptr;
}

const wchar_t* DriversCatalogue::DriverName(int index) const {
    const DriverEntry* row = Row(index);
    return row ? row->name.c_str() : L"";
}

bool DriversCatalogue::IsDriverEnabled(int index) const {
    switch (index) {
        case kDriverNeverEnabled:
            return false;
        case kDriverParkingSystem:
            return parking_;
        case kDriverCalendars:
        case kDriverSystem:
            return true;
        case kDriverEvents:
            return features_[kFeatureScadaEvents];
        default:
            break;
    }
    const DriverEntry* row = Row(index);
    return row && row->group >= 0 && row->group < kDriverGroupCount && groupEnabled_[row->group];
}

const wchar_t* DriversCatalogue::DriverType(int index) const {
    return IsDriverEnabled(index) ? rows_[index].identifier.c_str() : L"";
}

const wchar_t* DriversCatalogue::DriverFamily(int index) const {
    return IsDriverEnabled(index) ? rows_[index].family.c_str() : kOthers;
}

int DriversCatalogue::SmallImage(int index) const {
    return IsDriverEnabled(index) ? rows_[index].smallImage : kNeutralDriverImage;
}

int DriversCatalogue::MediumImage(int index) const {
    return IsDriverEnabled(index) ? rows_[index].mediumImage : kNeutralDriverImage;
}

int DriversCatalogue::LargeImage(int index) const {
    return IsDriverEnabled(index) ? rows_[index].largeImage : kNeutralDriverImage;
}

bool DriversCatalogue::HasAnalogView(int index) const {
    return index <= kLastViewedDriver && IsDriverEnabled(index) && rows_[index].analogView;
}

bool DriversCatalogue::HasTextView(int index) const {
    return index <= kLastViewedDriver && IsDriverEnabled(index) && rows_[index].textView;
}

int DriversCatalogue::AllowedSize(int index) const {
    return IsDriverEnabled(index) ? static_cast<int>(rows_[index].childRules.size()) : 0;
}

int DriversCatalogue::AllowedType(int index, int position) const {
    if (position < 0 || position >= AllowedSize(index)) {
        return -1;
    }
    return rows_[index].childRules[static_cast<size_t>(position)].index;
}

int DriversCatalogue::AllowedMax(int index, int position) const {
    if (position < 0 || position >= AllowedSize(index)) {
        return -1;
    }
    return rows_[index].childRules[static_cast<size_t>(position)].max;
}

bool DriversCatalogue::HasFeature(int flag) const {
    return flag >= 0 && flag < kFeatureFlagCount && features_[flag];
}

bool DriversCatalogue::ReadDriversSetup(const XmlDocument::XmlNode* node) {
    for (DriverEntry& row : rows_) {
        row.name.Clear();
    }
    groupEnabled_.fill(false);
    if (!node) {
        return false;
    }

    for (auto it = node->ChildsBegin(); it != node->ChildsEnd(); ++it) {
        const XmlDocument::XmlNode& child = **it;
        if (child.IsKey() || child.Tag() != L"Driver") {
            continue;
        }
        QMWideString name = child.Value(L"Name", L"");
        int index = DriverIndex(child.Value(L"Id", L"").c_str());
        if (name.IsEmpty() || index < 0) {
            continue;
        }
        DriverEntry& row = rows_[index];
        if (row.group >= 0 && row.group < kDriverGroupCount) {
            groupEnabled_[row.group] = true;
        }
        row.name = name;
    }

    for (int row : kSystemRows) {
        rows_[row].name = rows_[row].identifier;
    }
    if (rows_[kGenericModbusRow].name.IsEmpty()) {
        rows_[kGenericModbusRow].name = kGenericModbusName;
    }

    for (int group : kNeverEnabledGroups) {
        groupEnabled_[group] = false;
    }
    if (!parking_) {
        for (int group : kParkingGroups) {
            groupEnabled_[group] = false;
        }
    }

    XmlDocument features;
    if (!LoadFeatureFile(features, L"scada.xcfg", L"..\\scada.xcfg")) {
        return false;
    }
    ReadFeatureFlags(features, kScadaFeatures, features_);
    if (!LoadFeatureFile(features, L"report.xcfg", L"..\\report.xcfg")) {
        return false;
    }
    ReadFeatureFlags(features, kReportFeatures, features_);

    if (!features_[kFeatureScadaEvents]) {
        features_[kFeatureShowActivedEvents] = false;
        features_[kFeatureShowHistoricEvents] = false;
    }
    if (!features_[kFeatureScadaReports]) {
        features_[kFeatureShowReport] = false;
    }
    for (const GroupFeature& rule : kGroupFeatures) {
        if (!groupEnabled_[rule.group]) {
            features_[rule.flag] = false;
        }
    }
    return true;
}

}  // namespace qm
