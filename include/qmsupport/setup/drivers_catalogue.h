#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <array>
#include <cstdint>
#include <vector>

namespace qm {

// Positions in the built-in drivers catalogue that other parts of the library rely on. The
// positions are fixed: they name the same rows in every release.

// The number of rows in the catalogue.
inline constexpr int kDriverCount = 66;
// The number of enablement groups (0 to kDriverGroupCount - 1).
inline constexpr int kDriverGroupCount = 51;
// The number of feature flags of the screen and report editors (HasResource).
inline constexpr int kFeatureFlagCount = 28;

// The feature flags of the screen and report editors, by their position (HasResource). Flags
// 0, 1 and 8 follow the SCADA edition; flag 0 also opens the events row and the event views,
// flag 1 the report view. The others come from the root attributes of the editors' feature
// files: 2 to 7 from the report editor's, 9 to 27 from the screen editor's.
enum FeatureFlag : int {
    kFeatureScadaEvents = 0,
    kFeatureScadaReports = 1,
    kFeatureReportLabels = 2,
    kFeatureReportDates = 3,
    kFeatureReportImages = 4,
    kFeatureReportFormules = 5,
    kFeatureReportConditioned = 6,
    kFeatureReportGraph = 7,
    kFeatureScadaEdition = 8,
    kFeatureScreenLabels = 9,
    kFeatureScreenDates = 10,
    kFeatureScreenImages = 11,
    kFeatureScreenFormules = 12,
    kFeatureScreenConditioned = 13,
    kFeatureShowScada = 14,
    kFeatureShowReport = 15,
    kFeatureShowDevice = 16,
    kFeatureShowActivedEvents = 17,
    kFeatureShowHistoricEvents = 18,
    kFeatureShowGraph = 19,
    kFeatureLaunchApp = 20,
    kFeatureForceVariables = 21,
    kFeatureFloodFill = 22,
    kFeatureParkingSensor = 23,
    kFeatureParkingDisplay = 24,
    kFeatureDynamicImage = 25,
    kFeatureParkingMultiDisplay = 26,
    kFeatureCoSensor = 27,
};
static_assert(kFeatureCoSensor + 1 == kFeatureFlagCount);

// The image id returned for a disabled or unknown row.
inline constexpr int kNeutralDriverImage = 157;
// The maximum count of a child rule that has no tighter limit.
inline constexpr int kUnlimitedChildren = 65535;

// The UDP converter: two of its images depend on the parking edition.
inline constexpr int kDriverComUdp = 16;

// Groups that no drivers setup enables, and the groups of the parking devices, which only
// the parking edition keeps enabled.
inline constexpr std::array<int, 3> kNeverEnabledGroups = {27, 31, 49};
inline constexpr std::array<int, 5> kParkingGroups = {6, 22, 32, 37, 43};

// The system pseudo-drivers at the end of the catalogue.
inline constexpr int kDriverNeverEnabled = 61;
inline constexpr int kDriverParkingSystem = 62;
inline constexpr int kDriverCalendars = 63;
inline constexpr int kDriverEvents = 64;
inline constexpr int kDriverSystem = 65;

// The drivers catalogue of QMTarvioSetup: the 66 built-in rows with their families, images,
// views and allowed children, which enablement groups a drivers setup enabled, and the feature
// flags of the screen and report editors. The setup owns one and forwards its queries to it.
// Every index query answers for a disabled or unknown row with its neutral value (empty text,
// "OTHERS", image 157, 0, -1 or false).
class QMSUPPORT_API DriversCatalogue {
  public:
    // One rule of a driver that hosts other devices: which catalogue row may be placed below
    // it, and how many of them at most.
    struct ChildRule {
        int32_t index = -1;
        int32_t max = kUnlimitedChildren;
    };

    // One row of the catalogue.
    struct QMSUPPORT_API DriverEntry {
        QMWideString identifier;  // the type code stored in configuration files
        int32_t group = -1;       // rows of one group are enabled together; -1: system
        QMWideString family;      // PROTECTION, MEASURE, QUALITY, INOUT, PARKING, ...
        QMWideString name;        // display name, set by ReadDriversSetup
        bool analogView = false;
        bool textView = false;
        int32_t smallImage = kNeutralDriverImage;
        int32_t mediumImage = kNeutralDriverImage;
        int32_t largeImage = kNeutralDriverImage;
        std::vector<ChildRule> childRules;

        // Replaces the maximum of an existing rule for `index` in place, else appends a rule.
        void AddChildRule(int32_t index, int32_t max);
    };

    // The built-in rows, every group enabled except those never enabled, and every feature
    // flag set except those that follow the SCADA edition.
    DriversCatalogue();

    // Follows the edition: the SCADA edition sets the flags that follow it, the parking
    // edition enables the parking system row and gives the UDP converter its parking images.
    void SetEdition(bool scada, bool parking);

    int DriverIndex(const wchar_t* identifier) const;
    const wchar_t* DriverName(int index) const;
    bool IsDriverEnabled(int index) const;
    const wchar_t* DriverType(int index) const;
    const wchar_t* DriverFamily(int index) const;
    int SmallImage(int index) const;
    int MediumImage(int index) const;
    int LargeImage(int index) const;
    bool HasAnalogView(int index) const;
    bool HasTextView(int index) const;
    int AllowedSize(int index) const;
    int AllowedType(int index, int position) const;
    int AllowedMax(int index, int position) const;
    // Feature flag of the screen and report editors; false outside 0..27.
    bool HasFeature(int flag) const;
    // The row itself, whatever its enabled state (for listings); null outside 0..65.
    const DriverEntry* Row(int index) const;

    // Restricts the enabled drivers to those the node's "Driver" children name and reads the
    // feature flags from "scada.xcfg" and "report.xcfg" (current directory, else its parent).
    // False for a null node or when a feature file cannot be loaded; what was set before the
    // failure stays.
    bool ReadDriversSetup(const XmlDocument::XmlNode* node);

  private:
    // Restores the built-in values of one row, keeping its display name.
    void ApplyBuiltInRow(int index);

    std::array<DriverEntry, kDriverCount> rows_;
    std::array<bool, kDriverGroupCount> groupEnabled_{};
    std::array<bool, kFeatureFlagCount> features_{};
    bool parking_ = false;
};

}  // namespace qm
