#include <qmsupport/text/var_name.h>

#include <algorithm>
#include <iterator>
#include <span>

namespace {

struct CodeText {
    int code;
    const wchar_t* text;
};

// Every table is sorted by code, so look-ups are binary searches; the checks below keep it so.
constexpr bool SortedByCode(std::span<const CodeText> table) {
    return std::is_sorted(table.begin(), table.end(),
                          [](const CodeText& a, const CodeText& b) { return a.code < b.code; });
}

// The text of `code` in `table`, or nullptr when the code is not there.
const wchar_t* Find(std::span<const CodeText> table, int code) {
    auto it = std::lower_bound(table.begin(), table.end(), code,
                               [](const CodeText& entry, int c) { return entry.code < c; });
    return it != table.end() && it->code == code ? it->text : nullptr;
}

// The entry at `index` of a list of suffixes, or nullptr outside it.
template <size_t N>
const wchar_t* At(const wchar_t* const (&texts)[N], int index) {
    return index >= 0 && static_cast<size_t>(index) < N ? texts[index] : nullptr;
}

void AppendIf(QMWideString& name, const wchar_t* text) {
    if (text) {
        name.Append(text);
    }
}

void AppendCount(QMWideString& name, int value) {
    if (value >= 1) {
        name.AppendFormat(L"%d", value);
    }
}

constexpr const wchar_t* kPhaseSuffix[] = {L"1", L"2", L"3"};
void AppendPhase(QMWideString& name, int phase) {
    AppendIf(name, At(kPhaseSuffix, phase));
}

// JoinVarName.
constexpr CodeText kVarFixed[] = {
    {56, L"ME"}, {57, L"PK"},       {58, L"VL"},    {59, L"ST"},    {60, L"RC"},    {61, L"RN"},
    {62, L"RT"}, {66, L"QUADRANT"}, {67, L"ALARM"}, {71, L"FDV12"}, {72, L"FDV13"},
};
constexpr CodeText kVarBase[] = {
    {0, L"V"},      {1, L"V"},       {2, L"VN"},      {3, L"DV"},      {4, L"HZ"},
    {5, L"A"},      {6, L"AN"},      {7, L"AEL"},     {8, L"DA"},      {9, L"AP"},
    {10, L"NAP"},   {11, L"CP"},     {12, L"NCP"},    {13, L"IP"},     {14, L"NIP"},
    {15, L"VA"},    {16, L"NVA"},    {17, L"PF"},     {18, L"NPF"},    {19, L"COS"},
    {20, L"NCOS"},  {21, L"MD"},     {22, L"NMD"},    {23, L"MDAP"},   {24, L"NMDAP"},
    {25, L"MDVA"},  {26, L"NMDVA"},  {27, L"MDA"},    {28, L"AE"},     {29, L"NAE"},
    {30, L"PAE"},   {31, L"PNAE"},   {32, L"CE"},     {33, L"NCE"},    {34, L"PCE"},
    {35, L"PNCE"},  {36, L"CE2Q"},   {37, L"CE4Q"},   {38, L"IE"},     {39, L"NIE"},
    {40, L"PIE"},   {41, L"PNIE"},   {42, L"IE1Q"},   {43, L"IE3Q"},   {44, L"VAE"},
    {45, L"NVAE"},  {46, L"AI"},     {47, L"AO"},     {48, L"DI"},     {49, L"DO"},
    {54, L"C"},     {55, L"F"},      {68, L"ALEVEI"}, {69, L"ALEVES"}, {70, L"ALEVEO"},
    {73, L"FDVI"},  {74, L"PST"},    {75, L"PLT"},    {76, L"KDV"},    {77, L"KAV"},
    {78, L"KDA"},   {79, L"KAA"},    {80, L"STCBE"},  {81, L"STCBV"},  {82, L"STCIS"},
    {83, L"STCIV"}, {117, L"VPNOM"}, {118, L"HEVQ"},  {119, L"DEVQ"},  {120, L"VEVQ"},
    {121, L"FOA"},  {122, L"FOV"},   {143, L"DOP"},   {154, L"FWA"},   {155, L"KFA"},
    {156, L"CFV"},  {157, L"T"},     {158, L"DVN"},   {159, L"DAN"},   {173, L"ACP"},
    {174, L"CO"},   {197, L"FOXA"},  {198, L"FOXV"},
};
// Input/output codes: the phase argument carries a 1-based channel number.
constexpr int kVarChannelCodes[] = {46, 47, 48, 49, 54, 55, 143};
constexpr int kLineToLineVoltage = 1;
constexpr const wchar_t* kValueKind[] = {L"I", L"MX", L"MN"};
constexpr const wchar_t* kTariff[] = {L"T1", L"T2", L"T3", L"T4", L"T5",
                                      L"T6", L"T7", L"T8", L"T9"};
constexpr const wchar_t* kSecondPhase[] = {L"2", L"3", L"1", L"123"};

// JoinArmonicVarName.
constexpr CodeText kHarmonicMeasure[] = {{50, L"A"},    {51, L"V"},    {52, L"AN"}, {53, L"VN"},
                                         {84, L"MXCV"}, {85, L"MXPV"}, {172, L"AC"}};

// JoinContractVarName.
constexpr CodeText kContractBase[] = {
    {17, L"PF"},     {21, L"MD"},     {28, L"AE"},     {29, L"NAE"},    {36, L"CE2Q"},
    {37, L"CE4Q"},   {42, L"IE1Q"},   {43, L"IE3Q"},   {144, L"AEINC"}, {145, L"IEINC"},
    {146, L"CEINC"}, {147, L"AEABS"}, {148, L"IEABS"}, {149, L"CEABS"}, {150, L"MDDT"},
    {151, L"EXC"},   {153, L"REXC"},
};
constexpr const wchar_t* kContract[] = {nullptr, L"C1", L"C2", L"C3"};
constexpr const wchar_t* kContractTariff[] = {L"TOT", L"T1", L"T2", L"T3", L"T4",
                                              L"T5",  L"T6", L"T7", L"T8", L"T9"};

// JoinChannelVarName.
constexpr CodeText kChannelBase[] = {{7, L"AELI"},  {49, L"DO"},  {59, L"ST"},
                                     {63, L"AELD"}, {64, L"HST"}, {65, L"RST"}};
constexpr const wchar_t* kChannelDigit[] = {L"0", L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8"};

// JoinMultiFlickerVarName.
constexpr CodeText kFlickerBase[] = {{48, L"DI"}, {116, L"PST"}};
constexpr CodeText kFlickerClosing[] = {{116, L"DI"}};

// JoinSTPVarName.
constexpr CodeText kSupplyFixed[] = {
    {86, L"HZMINT"},   {87, L"HZINFT"},   {88, L"HZSUPT"}, {89, L"HZMAXT"},   {90, L"HZMINV"},
    {91, L"HZINFV"},   {92, L"HZSUPV"},   {93, L"HZMAXV"}, {108, L"UBSUPT"},  {109, L"UBSUPV"},
    {110, L"NREGTOT"}, {111, L"NREGEVQ"}, {112, L"CVHZ"},  {113, L"CVHZEVQ"}, {114, L"CVPLT"},
};
constexpr CodeText kSupplyBase[] = {
    {94, L"V"},    {95, L"V"},    {96, L"V"},   {97, L"V"},    {98, L"V"},
    {99, L"V"},    {100, L"V"},   {101, L"V"},  {102, L"PLT"}, {103, L"PLT"},
    {104, L"PST"}, {105, L"PST"}, {106, L"DV"}, {107, L"DV"},  {115, L"CVPLT"},
};
constexpr CodeText kSupplyClosing[] = {
    {94, L"MINT"},  {95, L"INFT"},  {96, L"SUPT"},   {97, L"MAXT"},  {98, L"MINV"},
    {99, L"INFV"},  {100, L"SUPV"}, {101, L"NMAXV"}, {102, L"SUPT"}, {103, L"SUPV"},
    {104, L"SUPT"}, {105, L"SUPV"}, {106, L"SUPT"},  {107, L"SUPV"}, {115, L"EVQ"},
};

// JoinParkingVarName.
constexpr CodeText kParkingFixed[] = {
    {67, L"ALARM"},      {123, L"STATE"},     {124, L"MODE"},        {125, L"BUSYDATE"},
    {126, L"BUSYTIME"},  {127, L"ALARMTIME"}, {128, L"HANDICAPPED"}, {129, L"MOVEMENTS"},
    {130, L"OCCUPANCY"}, {131, L"VALUE"},     {133, L"BRIGHT"},
};
constexpr CodeText kParkingIndexed[] = {
    {132, L"CDP"},
    {134, L"EMPTY"},
    {135, L"FULL"},
    {136, L"EMPTYPERCENT"},
    {137, L"FULLPERCENT"},
    {138, L"EMPTYTOTAL"},
    {139, L"FULLTOTAL"},
    {140, L"EMPTYTOTALPERCENT"},
    {141, L"FULLTOTALPERCENT"},
    {142, L"TOTAL"},
};

// JoinAlarmVarName.
constexpr CodeText kAlarmBase[] = {
    {160, L"ALARM_TEMP"},   {161, L"ALARM_VOLTAGE"},  {162, L"ALARM_THDV"},
    {163, L"ALARM_THDIXI"}, {164, L"ALARM_THDISTEP"}, {165, L"ALARM_THDIC"},
    {166, L"ALARM_KVARNC"}, {167, L"ALARM_COS"},      {168, L"ALARM_UNDERCURRENT"},
};
constexpr const wchar_t* kAlarmPart[] = {L"_VALUE", L"_OUT", L"_RELAY", L"_DT"};

static_assert(SortedByCode(kVarFixed) && SortedByCode(kVarBase) && SortedByCode(kHarmonicMeasure) &&
              SortedByCode(kContractBase) && SortedByCode(kChannelBase) &&
              SortedByCode(kFlickerBase) && SortedByCode(kFlickerClosing) &&
              SortedByCode(kSupplyFixed) && SortedByCode(kSupplyBase) &&
              SortedByCode(kSupplyClosing) && SortedByCode(kParkingFixed) &&
              SortedByCode(kParkingIndexed) && SortedByCode(kAlarmBase));

// Clears `name` and sets it to the code's text in `table`, if any.
void SetBase(QMWideString& name, std::span<const CodeText> table, int code) {
    name.Clear();
    AppendIf(name, Find(table, code));
}

}  // namespace

QMWideString& JoinVarName(QMWideString& name, int code, int kind, int phase, bool tariff) {
    if (const wchar_t* fixed = Find(kVarFixed, code)) {
        name = fixed;
        return name;
    }
    SetBase(name, kVarBase, code);
    AppendIf(name, At(kValueKind, kind));
    if (tariff) {
        AppendIf(name, At(kTariff, phase));
        return name;
    }
    if (std::ranges::find(kVarChannelCodes, code) != std::end(kVarChannelCodes)) {
        AppendCount(name, phase);
        return name;
    }
    AppendPhase(name, phase);
    if (code == kLineToLineVoltage) {
        AppendIf(name, At(kSecondPhase, phase));
    }
    return name;
}

QMWideString& JoinArmonicVarName(QMWideString& name, int code, int order, int phase) {
    const wchar_t* measure = Find(kHarmonicMeasure, code);
    name = measure ? L"ARM" : L"";
    AppendCount(name, order);
    AppendIf(name, measure);
    AppendPhase(name, phase);
    return name;
}

QMWideString& JoinContractVarName(QMWideString& name, int code, int contract, int tariff) {
    SetBase(name, kContractBase, code);
    AppendIf(name, At(kContract, contract));
    AppendIf(name, At(kContractTariff, tariff));
    return name;
}

QMWideString& JoinChannelVarName(QMWideString& name, int code, int channel) {
    SetBase(name, kChannelBase, code);
    AppendIf(name, At(kChannelDigit, channel));
    return name;
}

QMWideString& JoinMultiFlickerVarName(QMWideString& name, int code, int index, int phase) {
    SetBase(name, kFlickerBase, code);
    AppendPhase(name, phase);
    AppendIf(name, Find(kFlickerClosing, code));
    AppendCount(name, index);
    return name;
}

QMWideString& JoinSTPVarName(QMWideString& name, int code, int phase) {
    if (const wchar_t* fixed = Find(kSupplyFixed, code)) {
        name = fixed;
        return name;
    }
    SetBase(name, kSupplyBase, code);
    AppendPhase(name, phase);
    AppendIf(name, Find(kSupplyClosing, code));
    return name;
}

QMWideString& JoinParkingVarName(QMWideString& name, int code, int index) {
    if (const wchar_t* fixed = Find(kParkingFixed, code)) {
        name = fixed;
        return name;
    }
    if (const wchar_t* indexed = Find(kParkingIndexed, code)) {
        name = indexed;
    }
    AppendCount(name, index);
    return name;
}

QMWideString& JoinAlarmVarName(QMWideString& name, int code, int part) {
    if (const wchar_t* base = Find(kAlarmBase, code)) {
        name = base;
    }
    AppendIf(name, At(kAlarmPart, part));
    return name;
}
