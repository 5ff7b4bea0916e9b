#pragma once

#include <array>

// Positions in the built-in drivers catalogue of QMTarvioSetup that other parts of the
// library rely on. The positions are fixed: they name the same rows in every release.

// The number of rows in the catalogue.
inline constexpr int kDriverCount = 66;
// The number of enablement groups (0 to kDriverGroupCount - 1).
inline constexpr int kDriverGroupCount = 51;
// The number of feature flags of the screen and report editors (HasResource).
inline constexpr int kFeatureFlagCount = 28;

namespace qm {

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

}  // namespace qm
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
