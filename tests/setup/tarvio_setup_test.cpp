#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/store/registry.h>

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

std::set<std::wstring> Texts(std::initializer_list<QMGUID> guids) {
    std::set<std::wstring> texts;
    for (const QMGUID& guid : guids) {
        wchar_t buffer[qm::kGuidTextSize];
        texts.insert(guidtow(guid, buffer));
    }
    return texts;
}

std::set<std::wstring> AllGuids(const QMTarvioGuids& g) {
    return Texts({g.getStylesGuid(), g.getImagesGuid(), g.getDiscriminatorsGuid(),
                  g.getCalculatedVariablesGuid(), g.getEventsCalendarsGuid(), g.getEventsGuid(),
                  g.getPreferencesGuid(), g.getAuthoritationGuid(), g.getCommSystemGuid()});
}

std::set<std::wstring> ViewIds(const QMTarvioSetup& s) {
    return Texts({s.ScadaId(), s.DeviceId(), s.ReportId(), s.StatusTreeId()});
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
    EXPECT_FALSE(setup.Runtime());
    EXPECT_EQ(ViewIds(setup).size(), 4u);
    for (int flag = 0; flag < qm::kFeatureFlagCount; ++flag) {
        EXPECT_EQ(setup.HasResource(flag), flag != 0 && flag != 1 && flag != 8) << flag;
    }
    EXPECT_FALSE(setup.SmtpValid());
}

TEST(TarvioSetup, EditionKeysAndTheScadaSuffix) {
    QMTarvioSetup setup;
    const QMWideString defaultKey = setup.RegisterKey();
    setup.SetVersion(QMTarvioSetup::kScadaEdition | 0x80);
    EXPECT_EQ(setup.Version(), QMTarvioSetup::kScadaEdition | 0x80);
    EXPECT_EQ(setup.RegisterKey(), defaultKey + L" Scada");
    for (int flag : {0, 1, 8}) {
        EXPECT_TRUE(setup.HasResource(flag)) << flag;
    }
    setup.SetVersion(1);
    EXPECT_EQ(setup.RegisterKey(), defaultKey);
    EXPECT_FALSE(setup.HasResource(0) || setup.HasResource(1) || setup.HasResource(8));

    std::set<std::wstring> keys = {defaultKey.str()};
    for (unsigned long mask : {0x2ul, 0x4ul, 0x8ul, 0x10ul, 0x20ul, 0x40ul}) {
        std::wstring key = KeyOf(mask);
        EXPECT_EQ(key.rfind(L"Software\\", 0), 0u);
        // "Software", one vendor word and a product phrase.
        EXPECT_EQ(std::count(key.begin(), key.end(), L'\\'), 2);
        const size_t vendor = key.find(L'\\') + 1;
        EXPECT_EQ(key.substr(vendor, key.rfind(L'\\') - vendor).find(L' '), std::wstring::npos);
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), 7u);
    // The masks are tested in the order 0x2, 0x8, 0x4, 0x10, 0x20, 0x40.
    EXPECT_EQ(KeyOf(0x2 | 0x8), KeyOf(0x2));
    EXPECT_EQ(KeyOf(0x4 | 0x8), KeyOf(0x8));
    EXPECT_EQ(KeyOf(0x4 | 0x10), KeyOf(0x4));
    EXPECT_EQ(KeyOf(0x20 | 0x40), KeyOf(0x20));
    EXPECT_EQ(KeyOf(0x8 | QMTarvioSetup::kScadaEdition), KeyOf(0x8) + L" Scada");
    EXPECT_EQ(KeyOf(0x80 | 0x100), defaultKey.str());
}

TEST(TarvioSetup, ParkingEditionSwitchesUdpImagesAndKeepsItsName) {
    QMTarvioSetup setup;
    auto document = ParseXml("<Drivers><Driver Id=\"COM_UDP\" Name=\"UDP line\"/></Drivers>");
    setup.ReadDriversSetup(&document->Root());
    EXPECT_EQ(setup.getMediumImage(qm::kDriverComUdp), 1712);
    EXPECT_EQ(setup.getLargeImage(qm::kDriverComUdp), 1715);
    setup.SetVersion(QMTarvioSetup::kParkingEdition);
    EXPECT_EQ(setup.getMediumImage(qm::kDriverComUdp), 1734);
    EXPECT_EQ(setup.getLargeImage(qm::kDriverComUdp), 1733);
    EXPECT_STREQ(setup.DriverName(qm::kDriverComUdp), L"UDP line");
    EXPECT_EQ(setup.getAllowedSize(qm::kDriverComUdp), 35);  // rules re-applied, not doubled
    setup.SetVersion(1);
    EXPECT_EQ(setup.getMediumImage(qm::kDriverComUdp), 1712);
}

TEST(TarvioSetup, RunModeIsWrittenOnChangeOnly) {
    TempDir dir;
    ScopedEnv registry("QMSUPPORT_REGISTRY", dir.Path("registry.xml"));
    QMTarvioSetup setup;
    auto stored = [&] {
        return qm::platform::Registry::ReadDword(setup.RegisterKey().str(), L"Runtime");
    };
    setup.SetRuntime(false);
    EXPECT_FALSE(stored().has_value());
    setup.SetRuntime(true);
    EXPECT_EQ(stored(), 1u);
    ASSERT_TRUE(qm::platform::Registry::WriteDword(setup.RegisterKey().str(), L"Runtime", 7));
    setup.SetRuntime(true);  // no change: the stored value stays
    EXPECT_EQ(stored(), 7u);
    setup.SetRuntime(false);
    EXPECT_EQ(stored(), 0u);

    // LoadRuntime reads the current edition's key; only 1 means run mode.
    QMTarvioSetup other;
    other.SetVersion(QMTarvioSetup::kScadaEdition);
    EXPECT_TRUE(other.LoadRuntime());
    EXPECT_FALSE(other.Runtime());
    ASSERT_TRUE(qm::platform::Registry::WriteDword(other.RegisterKey().str(), L"Runtime", 1));
    EXPECT_TRUE(other.LoadRuntime());
    EXPECT_TRUE(other.Runtime());
    ASSERT_TRUE(qm::platform::Registry::WriteDword(other.RegisterKey().str(), L"Runtime", 2));
    other.LoadRuntime();
    EXPECT_FALSE(other.Runtime());

    // A registry that cannot be written does not keep the flag from changing.
    dir.WriteText("blocked", "a file where a directory is needed");
    ScopedEnv blocked("QMSUPPORT_REGISTRY", dir.Path("blocked/registry.xml"));
    other.SetRuntime(true);
    EXPECT_TRUE(other.Runtime());
}

TEST(TarvioSetup, InvalidateChangesOnlyItsOwnId) {
    QMTarvioSetup setup;
    const QMTarvioSetup before(setup);
    setup.InvalidateReportId();
    EXPECT_NE(setup.ReportId(), before.ReportId());
    EXPECT_EQ(setup.ScadaId(), before.ScadaId());
    EXPECT_EQ(setup.DeviceId(), before.DeviceId());
    EXPECT_EQ(setup.StatusTreeId(), before.StatusTreeId());
}

TEST(TarvioSetup, CopiesAreDeepAndNeverBecomeCurrent) {
    QMTarvioSetup setup;
    setup.SetCfgPath(L"C:\\Plant\\Cfg\\");
    auto drivers = ParseXml("<Drivers><Driver Id=\"COM_RS\" Name=\"Line\"/></Drivers>");
    setup.ReadDriversSetup(&drivers->Root());
    auto mail = ParseXml("<Smtp Password=\"YWJj\"/>");
    setup.ReadSmtpSetup(&mail->Root());
    {
        QMTarvioSetup copy(setup);
        EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
        EXPECT_EQ(ViewIds(copy), ViewIds(setup));
        EXPECT_EQ(AllGuids(copy.Guids()), AllGuids(setup.Guids()));
        EXPECT_STREQ(copy.DriverName(13), L"Line");
        EXPECT_TRUE(copy.IsDriverEnabled(13));
        EXPECT_EQ(copy.SmtpPassword(), "abc");
        copy.SetCfgPath(L"other\\");
        copy.ReadDriversSetup(nullptr);
        EXPECT_EQ(setup.CfgPath(), L"C:\\Plant\\Cfg\\");
        EXPECT_STREQ(setup.DriverName(13), L"Line");
    }
    EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
    EXPECT_EQ(&QMTarvioGuids::get(), &setup.Guids());
    EXPECT_TRUE(setup.SmtpValid());

    // A scratch copy assigned back: the values change, the current instance does not.
    QMTarvioSetup scratch(setup);
    scratch.SetVersion(QMTarvioSetup::kScadaEdition | QMTarvioSetup::kParkingEdition);
    scratch.InvalidateDeviceId();
    setup = scratch;
    EXPECT_EQ(&QMTarvioSetup::Get(), &setup);
    EXPECT_EQ(&QMTarvioGuids::get(), &setup.Guids());
    EXPECT_EQ(setup.RegisterKey(), scratch.RegisterKey());
    EXPECT_EQ(setup.DeviceId(), scratch.DeviceId());
    EXPECT_EQ(setup.CatalogueRow(qm::kDriverComUdp)->mediumImage, 1734);
}

TEST(TarvioSetup, DestroyingTheCurrentInstanceLeavesNone) {
    {
        QMTarvioSetup first;
        QMTarvioSetup second;
        EXPECT_EQ(&QMTarvioSetup::Get(), &second);
    }
    EXPECT_FALSE(QMTarvioSetup::HasInstance());
    EXPECT_FALSE(QMTarvioGuids::hasInstance());
    EXPECT_DEATH(QMTarvioSetup::Get(), "no current instance");
    EXPECT_DEATH(QMTarvioGuids::get(), "no current instance");
}

TEST(TarvioGuids, NineFreshGuidsPerSetupAndAssignment) {
    QMTarvioSetup first;
    std::set<std::wstring> all = AllGuids(first.Guids());
    EXPECT_EQ(all.size(), 9u);
    all.merge(ViewIds(first));
    EXPECT_EQ(all.size(), 13u);

    QMTarvioSetup second;
    EXPECT_EQ(&QMTarvioGuids::get(), &second.Guids());
    all.merge(AllGuids(second.Guids()));
    EXPECT_EQ(all.size(), 22u);

    QMTarvioGuids target;  // becomes current
    target = first.Guids();
    EXPECT_EQ(AllGuids(target), AllGuids(first.Guids()));
    EXPECT_EQ(target.getCommSystemGuid(), first.Guids().getCommSystemGuid());
    EXPECT_EQ(&QMTarvioGuids::get(), &target);
}

TEST(TarvioSetup, OlsonTimeZoneOfTheLocalZone) {
    {
        ScopedEnv tz("TZ", "Europe/Berlin");
        EXPECT_EQ(QMTarvioSetup().OlsonTimeZone(), L"Europe/Berlin");
    }
    ScopedEnv tz("TZ", "Nowhere/Unknown_Zone");
    EXPECT_TRUE(QMTarvioSetup().OlsonTimeZone().IsEmpty());
}
