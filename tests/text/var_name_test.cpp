#include <qmsupport/text/var_name.h>

#include "text/wide_printer.h"

#include <gtest/gtest.h>

namespace {

QMWideString Var(int code, int kind, int phase, bool tariff) {
    QMWideString n(L"junk");
    return JoinVarName(n, code, kind, phase, tariff);
}

TEST(JoinVarName, PhaseValueKindAndLineToLineSuffixes) {
    EXPECT_EQ(Var(0, 0, 0, false), L"VI1");
    EXPECT_EQ(Var(1, 1, 2, false), L"VMX31");
    EXPECT_EQ(Var(1, 0, 3, false), L"VI123");
    EXPECT_EQ(Var(1, 2, 0, false), L"VMN12");
    EXPECT_EQ(Var(1, 0, 1, false), L"VI23");
    EXPECT_EQ(Var(0, 0, 3, false), L"VI");
    EXPECT_EQ(Var(5, 7, 0, false), L"A1");
    EXPECT_EQ(Var(250, 0, 0, false), L"I1");
    EXPECT_EQ(Var(-1, -1, -1, false), L"");
    EXPECT_EQ(Var(198, 0, 2, false), L"FOXVI3");
}

TEST(JoinVarName, TariffAndChannelUseThePhaseArgument) {
    EXPECT_EQ(Var(28, 0, 2, true), L"AEIT3");
    EXPECT_EQ(Var(28, 0, 8, true), L"AEIT9");
    EXPECT_EQ(Var(28, 0, 9, true), L"AEI");
    EXPECT_EQ(Var(1, 0, 0, true), L"VIT1");  // a tariff skips the line-to-line digits
    EXPECT_EQ(Var(46, 0, 3, false), L"AII3");
    EXPECT_EQ(Var(46, 0, 0, false), L"AII");
    EXPECT_EQ(Var(143, 1, 12, false), L"DOPMX12");
    EXPECT_EQ(Var(55, 0, 2, false), L"FI2");
}

TEST(JoinVarName, FixedNamesTakeNoSuffix) {
    EXPECT_EQ(Var(66, 2, 1, true), L"QUADRANT");
    EXPECT_EQ(Var(56, 0, 0, false), L"ME");
    EXPECT_EQ(Var(72, 1, 2, false), L"FDV13");
    EXPECT_EQ(Var(67, 0, 0, false), L"ALARM");
}

TEST(JoinArmonicVarName, PrefixOrderMeasureAndPhase) {
    QMWideString n(L"junk");
    EXPECT_EQ(JoinArmonicVarName(n, 51, 5, 1), L"ARM5V2");
    EXPECT_EQ(JoinArmonicVarName(n, 51, 0, 1), L"ARMV2");
    EXPECT_EQ(JoinArmonicVarName(n, 0, 5, 1), L"52");
    EXPECT_EQ(JoinArmonicVarName(n, 172, 40, 7), L"ARM40AC");
    EXPECT_EQ(&JoinArmonicVarName(n, 84, 3, 0), &n);
}

TEST(JoinContractChannelAndFlicker, BaseAndQualifiers) {
    QMWideString n(L"junk");
    EXPECT_EQ(JoinContractVarName(n, 28, 2, 0), L"AEC2TOT");
    EXPECT_EQ(JoinContractVarName(n, 147, 0, 4), L"AEABST4");
    EXPECT_EQ(JoinContractVarName(n, 152, 3, 10), L"C3");
    EXPECT_EQ(JoinChannelVarName(n, 63, 8), L"AELD8");
    EXPECT_EQ(JoinChannelVarName(n, 63, 9), L"AELD");
    EXPECT_EQ(JoinChannelVarName(n, 1, 0), L"0");
    EXPECT_EQ(JoinMultiFlickerVarName(n, 116, 3, 0), L"PST1DI3");
    EXPECT_EQ(JoinMultiFlickerVarName(n, 48, 0, 2), L"DI3");
    EXPECT_EQ(JoinMultiFlickerVarName(n, 5, 2, 5), L"2");
}

TEST(JoinSTPVarName, FixedNamesOrBasePhaseAndClosing) {
    QMWideString n(L"junk");
    EXPECT_EQ(JoinSTPVarName(n, 101, 2), L"V3NMAXV");
    EXPECT_EQ(JoinSTPVarName(n, 89, 2), L"HZMAXT");
    EXPECT_EQ(JoinSTPVarName(n, 115, 0), L"CVPLT1EVQ");
    EXPECT_EQ(JoinSTPVarName(n, 114, 0), L"CVPLT");
    EXPECT_EQ(JoinSTPVarName(n, 106, 4), L"DVSUPT");
    EXPECT_EQ(JoinSTPVarName(n, 0, 1), L"2");
}

TEST(JoinParkingAndAlarm, UnknownCodesKeepTheName) {
    QMWideString n(L"X");
    EXPECT_EQ(JoinParkingVarName(n, 100, 4), L"X4");
    EXPECT_EQ(JoinParkingVarName(n, 137, 2), L"FULLPERCENT2");
    EXPECT_EQ(JoinParkingVarName(n, 130, 2), L"OCCUPANCY");
    EXPECT_EQ(JoinParkingVarName(n, 132, 0), L"CDP");
    EXPECT_EQ(JoinAlarmVarName(n, 167, 3), L"ALARM_COS_DT");
    EXPECT_EQ(JoinAlarmVarName(n, 1, 0), L"ALARM_COS_DT_VALUE");
    EXPECT_EQ(JoinAlarmVarName(n, 160, 4), L"ALARM_TEMP");
}

}  // namespace
