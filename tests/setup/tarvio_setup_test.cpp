#include <qmsupport/platform/registry.h>
#include <qmsupport/setup/tarvio_setup.h>

#include "setup/setup_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace {

std::wstring KeyOf(unsigned long version) {
    QMTarvioSetup setup;
    setup.SetVersion(version);
    return setup.RegisterKey().str();
}

std::set<std::wstring> GuidTexts(std::initializer_list<QMGUID> guids) {
    std::set<std::wstring> texts;
    for (const QMGUID& guid : guids) {
        wchar_t buffer[kGuidTextSize];
        texts.insert(guidtow(guid, buffer));
    }
    return texts;
}

std::set<std::wstring> AllGuids(const QMTarvioGuids& g) {
    return GuidTexts({g.getStylesGuid(), g.getImagesGuid(), g.getDiscriminatorsGuid(),
                      g.getCalculatedVariablesGuid(), g.getEventsCalendarsGuid(), g.getEventsGuid(),
                      g.getPreferencesGuid(), g.getAuthoritationGuid(), g.getCommSystemGuid()});
}

std::set<std::wstring> ViewIds(const QMTarvioSetup& s) {
    return GuidTexts({s.ScadaId(), s.DeviceId(), s.ReportId(), s.StatusTreeId()});
}

}  // namespace

TEST(TarvioSetup, FreshInstanceDefaults) {
    QMTarvioSetup setup;
    EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
    EXPECT_EQ(setup.Version(), 1u);
    EXPECT_FALSE(setup.HasScada());
    EXPECT_FALSE(setup.HasParking());
    EXPECT_EQ(setup.HttpServerPort(), 80);
    EXPECT_EQ(setup.CfgPath(), L"..\\Cfg\\");
    EXPECT_EQ(setup.DataPath(), L"..\\Data\\");
    EXPECT_EQ(setup.ImagesPath(), L"..\\Cfg\\Images\\");
    EXPECT_EQ(setup.ClientIconName(), L"ClientIco.bmp");
    EXPECT_TRUE(setup.ProgramName().IsEmpty());
    EXPECT_TRUE(setup.CurrentLanguage().IsEmpty());
    EXPECT_TRUE(setup.SplashBmpName().IsEmpty());
    EXPECT_EQ(setup.ProgramIDResource(), 0u);
    EXPECT_EQ(setup.ProgramIDResourceAlarm(), 0u);
    EXPECT_EQ(setup.ProgramIDResourceHttpServerError(), 0u);
    EXPECT_FALSE(setup.Runtime());
    EXPECT_EQ(ViewIds(setup).size(), 4u);
    for (int flag = 0; flag < kFeatureFlagCount; ++flag) {
        EXPECT_EQ(setup.HasResource(flag), flag != 0 && flag != 1 && flag != 8) << flag;
    }
    EXPECT_FALSE(setup.SmtpValid());
    EXPECT_TRUE(setup.SmtpServer().IsEmpty());
    EXPECT_FALSE(setup.RssActive());
    EXPECT_EQ(setup.RssItems(), 0);
    EXPECT_TRUE(setup.RssUrl().IsEmpty());
}

TEST(TarvioSetup, ScadaBitAppendsSuffixAndFollowsFeatureFlags) {
    QMTarvioSetup setup;
    const QMWideString defaultKey = setup.RegisterKey();
    setup.SetVersion(QMTarvioSetup::kScadaEdition);
    EXPECT_TRUE(setup.HasScada());
    EXPECT_EQ(setup.Version(), QMTarvioSetup::kScadaEdition);
    EXPECT_EQ(setup.RegisterKey(), defaultKey + L" Scada");
    EXPECT_TRUE(setup.HasResource(0));
    EXPECT_TRUE(setup.HasResource(1));
    EXPECT_TRUE(setup.HasResource(8));
    EXPECT_TRUE(setup.IsDriverEnabled(kDriverEvents));

    setup.SetVersion(1);
    EXPECT_EQ(setup.RegisterKey(), defaultKey);
    EXPECT_FALSE(setup.HasResource(0));
    EXPECT_FALSE(setup.HasResource(1));
    EXPECT_FALSE(setup.HasResource(8));
    EXPECT_FALSE(setup.IsDriverEnabled(kDriverEvents));
}

TEST(TarvioSetup, EditionKeysAreDistinctAndChosenInOrder) {
    const std::wstring defaultKey = KeyOf(1);
    std::set<std::wstring> keys = {defaultKey};
    for (unsigned long mask : {0x2ul, 0x4ul, 0x8ul, 0x10ul, 0x20ul, 0x40ul}) {
        std::wstring key = KeyOf(mask | 1);
        EXPECT_EQ(key.rfind(L"Software\\", 0), 0u);
        EXPECT_EQ(std::count(key.begin(), key.end(), L'\\'), 2);
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), 7u);
    // The masks are tested in the order 0x2, 0x8, 0x4, 0x10, 0x20, 0x40.
    EXPECT_EQ(KeyOf(0x2 | 0x8), KeyOf(0x2));
    EXPECT_EQ(KeyOf(0x4 | 0x8), KeyOf(0x8));
    EXPECT_EQ(KeyOf(0x4 | 0x10), KeyOf(0x4));
    EXPECT_EQ(KeyOf(0x40 | 0x20 | 0x10), KeyOf(0x10));
    EXPECT_EQ(KeyOf(0x20 | 0x40), KeyOf(0x20));
    EXPECT_EQ(KeyOf(0x8 | QMTarvioSetup::kScadaEdition), KeyOf(0x8) + L" Scada");
    // Bits without meaning select nothing.
    EXPECT_EQ(KeyOf(0x80 | 0x100), defaultKey);
}

TEST(TarvioSetup, ParkingEditionSwitchesUdpImagesAndKeepsItsName) {
    QMTarvioSetup setup;
    auto document = ParseXml("<Drivers><Driver Id=\"COM_UDP\" Name=\"UDP line\"/></Drivers>");
    setup.ReadDriversSetup(&document->Root());
    ASSERT_STREQ(setup.DriverName(kDriverComUdp), L"UDP line");
    EXPECT_EQ(setup.getMediumImage(kDriverComUdp), 1712);
    EXPECT_EQ(setup.getLargeImage(kDriverComUdp), 1715);

    setup.SetVersion(QMTarvioSetup::kParkingEdition | 1);
    EXPECT_TRUE(setup.HasParking());
    EXPECT_EQ(setup.getLittleImage(kDriverComUdp), 1709);
    EXPECT_EQ(setup.getMediumImage(kDriverComUdp), 1734);
    EXPECT_EQ(setup.getLargeImage(kDriverComUdp), 1733);
    EXPECT_STREQ(setup.DriverName(kDriverComUdp), L"UDP line");
    EXPECT_EQ(setup.getAllowedSize(kDriverComUdp), 35);
    EXPECT_TRUE(setup.IsDriverEnabled(kDriverParkingSystem));

    setup.SetVersion(1);
    EXPECT_EQ(setup.getMediumImage(kDriverComUdp), 1712);
    EXPECT_EQ(setup.getLargeImage(kDriverComUdp), 1715);
    EXPECT_EQ(setup.getAllowedSize(kDriverComUdp), 35);
}

class TarvioSetupRegistry : public ::testing::Test {
  protected:
    TempDir dir_;
    ScopedEnv registry_{"QMSUPPORT_REGISTRY", dir_.Path("registry.xml")};

    std::optional<uint32_t> Stored(const QMTarvioSetup& setup) {
        return qm::platform::Registry::ReadDword(setup.RegisterKey().str(), L"Runtime");
    }
};

TEST_F(TarvioSetupRegistry, SetRuntimeWritesOnlyOnChange) {
    QMTarvioSetup setup;
    setup.SetRuntime(false);  // no change: nothing is written
    EXPECT_FALSE(Stored(setup).has_value());

    setup.SetRuntime(true);
    EXPECT_TRUE(setup.Runtime());
    EXPECT_EQ(Stored(setup), 1u);

    // A second call with the same value leaves the stored value alone.
    ASSERT_TRUE(qm::platform::Registry::WriteDword(setup.RegisterKey().str(), L"Runtime", 7));
    setup.SetRuntime(true);
    EXPECT_EQ(Stored(setup), 7u);

    setup.SetRuntime(false);
    EXPECT_FALSE(setup.Runtime());
    EXPECT_EQ(Stored(setup), 0u);
}

TEST_F(TarvioSetupRegistry, LoadRuntimeReadsTheEditionsKey) {
    QMTarvioSetup setup;
    EXPECT_TRUE(setup.LoadRuntime());  // nothing stored yet
    EXPECT_FALSE(setup.Runtime());

    setup.SetVersion(QMTarvioSetup::kScadaEdition);
    setup.SetRuntime(true);
    setup.SetVersion(1);  // another key: its value is missing
    EXPECT_TRUE(setup.LoadRuntime());
    EXPECT_FALSE(setup.Runtime());
    setup.SetVersion(QMTarvioSetup::kScadaEdition);
    EXPECT_TRUE(setup.LoadRuntime());
    EXPECT_TRUE(setup.Runtime());

    ASSERT_TRUE(qm::platform::Registry::WriteDword(setup.RegisterKey().str(), L"Runtime", 2));
    EXPECT_TRUE(setup.LoadRuntime());
    EXPECT_FALSE(setup.Runtime());  // only 1 means run mode
}

TEST_F(TarvioSetupRegistry, SetRuntimeStoresTheFlagWhenTheRegistryCannotBeWritten) {
    dir_.WriteText("blocked", "a file where a directory is needed");
    ScopedEnv unwritable("QMSUPPORT_REGISTRY", dir_.Path("blocked/registry.xml"));
    QMTarvioSetup setup;
    setup.SetRuntime(true);
    EXPECT_TRUE(setup.Runtime());
}

TEST(TarvioSetup, InvalidateChangesOnlyItsOwnId) {
    QMTarvioSetup setup;
    const QMGUID scada = setup.ScadaId(), device = setup.DeviceId(), report = setup.ReportId(),
                 tree = setup.StatusTreeId();
    setup.InvalidateReportId();
    EXPECT_NE(setup.ReportId(), report);
    EXPECT_EQ(setup.ScadaId(), scada);
    EXPECT_EQ(setup.DeviceId(), device);
    EXPECT_EQ(setup.StatusTreeId(), tree);

    setup.InvalidateScadaId();
    setup.InvalidateDeviceId();
    setup.InvalidateStatusTreeId();
    EXPECT_NE(setup.ScadaId(), scada);
    EXPECT_NE(setup.DeviceId(), device);
    EXPECT_NE(setup.StatusTreeId(), tree);
}

TEST(TarvioSetup, CopiesAreDeepAndNeverBecomeCurrent) {
    QMTarvioSetup setup;
    setup.SetCfgPath(L"C:\\Plant\\Cfg\\");
    setup.SetProgramName(L"Engine");
    setup.SetHttpServerPort(8080);
    auto drivers = ParseXml("<Drivers><Driver Id=\"COM_RS\" Name=\"Line\"/></Drivers>");
    setup.ReadDriversSetup(&drivers->Root());
    auto mail = ParseXml("<Smtp Server=\"mail.example\" Password=\"YWJj\"/>");
    setup.ReadSmtpSetup(&mail->Root());
    {
        QMTarvioSetup copy(setup);
        EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
        EXPECT_EQ(&QMTarvioGuids::get(), &setup.Guids());
        EXPECT_EQ(copy.CfgPath(), L"C:\\Plant\\Cfg\\");
        EXPECT_EQ(copy.HttpServerPort(), 8080);
        EXPECT_EQ(ViewIds(copy), ViewIds(setup));
        EXPECT_EQ(AllGuids(copy.Guids()), AllGuids(setup.Guids()));
        EXPECT_STREQ(copy.DriverName(13), L"Line");
        EXPECT_TRUE(copy.IsDriverEnabled(13));
        EXPECT_FALSE(copy.IsDriverEnabled(14));
        EXPECT_EQ(copy.SmtpPassword(), "abc");
        EXPECT_TRUE(copy.SmtpValid());

        copy.SetCfgPath(L"other\\");
        copy.ReadDriversSetup(nullptr);
        EXPECT_EQ(setup.CfgPath(), L"C:\\Plant\\Cfg\\");
        EXPECT_STREQ(setup.DriverName(13), L"Line");
        EXPECT_TRUE(setup.IsDriverEnabled(13));
    }
    // The copy is gone; the original and its GUIDs are still current and whole.
    EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
    EXPECT_EQ(&QMTarvioGuids::get(), &setup.Guids());
    EXPECT_STREQ(QMTarvioSetup::Get().DriverName(13), L"Line");
    EXPECT_TRUE(setup.SmtpValid());
}

TEST(TarvioSetup, ScratchCopyAssignedBack) {
    QMTarvioSetup setup;
    QMTarvioSetup scratch(setup);
    scratch.SetVersion(QMTarvioSetup::kScadaEdition | QMTarvioSetup::kParkingEdition);
    scratch.SetDataPath(L"D:\\Data\\");
    scratch.InvalidateDeviceId();
    const QMGUID newDevice = scratch.DeviceId();

    setup = scratch;
    EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
    EXPECT_TRUE(setup.HasScada());
    EXPECT_TRUE(setup.HasParking());
    EXPECT_EQ(setup.RegisterKey(), scratch.RegisterKey());
    EXPECT_EQ(setup.DataPath(), L"D:\\Data\\");
    EXPECT_EQ(setup.DeviceId(), newDevice);
    EXPECT_EQ(setup.getMediumImage(kDriverComUdp), 1734);
    EXPECT_EQ(&QMTarvioGuids::get(), &setup.Guids());
}

TEST(TarvioSetup, DestroyingTheCurrentInstanceLeavesNone) {
    {
        QMTarvioSetup first;
        {
            QMTarvioSetup second;
            EXPECT_EQ(&QMTarvioSetup::Get(), &second);
            EXPECT_EQ(&QMTarvioGuids::get(), &second.Guids());
        }
        EXPECT_FALSE(QMTarvioSetup::HasInstance());
        EXPECT_FALSE(QMTarvioGuids::hasInstance());
    }
    EXPECT_FALSE(QMTarvioSetup::HasInstance());
    QMTarvioSetup third;
    EXPECT_TRUE(QMTarvioSetup::HasInstance());
    EXPECT_EQ(&QMTarvioSetup::Get(), &third);
}

TEST(TarvioSetupDeathTest, GetWithoutInstanceStops) {
    ASSERT_FALSE(QMTarvioSetup::HasInstance());
    EXPECT_DEATH(QMTarvioSetup::Get(), "no current instance");
    EXPECT_DEATH(QMTarvioGuids::get(), "no current instance");
}

TEST(TarvioGuids, NineFreshGuidsPerSetup) {
    QMTarvioSetup first;
    const std::set<std::wstring> firstGuids = AllGuids(first.Guids());
    EXPECT_EQ(firstGuids.size(), 9u);
    std::set<std::wstring> all = firstGuids;
    all.merge(ViewIds(first));
    EXPECT_EQ(all.size(), 13u);

    QMTarvioSetup second;
    EXPECT_EQ(&QMTarvioGuids::get(), &second.Guids());
    std::set<std::wstring> both = firstGuids;
    both.merge(AllGuids(second.Guids()));
    EXPECT_EQ(both.size(), 18u);
}

TEST(TarvioGuids, AssignmentCopiesAllNine) {
    QMTarvioSetup setup;
    QMTarvioGuids other;  // becomes current
    ASSERT_NE(AllGuids(other), AllGuids(setup.Guids()));
    other = setup.Guids();
    EXPECT_EQ(AllGuids(other), AllGuids(setup.Guids()));
    EXPECT_EQ(other.getStylesGuid(), setup.Guids().getStylesGuid());
    EXPECT_EQ(other.getCommSystemGuid(), setup.Guids().getCommSystemGuid());
    EXPECT_EQ(&QMTarvioGuids::get(), &other);
}

TEST(TarvioSetup, OlsonTimeZoneOfTheLocalZone) {
    {
        ScopedEnv tz("TZ", "Europe/Berlin");
        QMTarvioSetup setup;
        EXPECT_EQ(setup.OlsonTimeZone(), L"Europe/Berlin");
        QMTarvioSetup copy(setup);
        EXPECT_EQ(copy.OlsonTimeZone(), L"Europe/Berlin");
    }
    {
        ScopedEnv tz("TZ", "Nowhere/Unknown_Zone");
        QMTarvioSetup setup;
        EXPECT_TRUE(setup.OlsonTimeZone().IsEmpty());
    }
}
