#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/setup/tarvio_setup.h>

#include "common/temp_dir.h"
#include "migrate27/migrated_drivers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

using XmlNode = XmlDocument::XmlNode;
using Observer = QMTransformCfgTo27Observer;

namespace {

const std::string kGuidText = R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})";

std::string Narrow(const QMWideString& text) {
    return std::string(text.str().begin(), text.str().end());
}
std::string Get(const XmlNode* node, const wchar_t* key) {
    return node ? Narrow(node->Value(key, L"")) : "<no node>";
}
bool IsGuid(const std::string& text) {
    return std::regex_match(text, std::regex(kGuidText));
}

std::vector<const XmlNode*> Tagged(const XmlNode* parent, const wchar_t* tag) {
    std::vector<const XmlNode*> found;
    for (auto it = parent->ChildsBegin(); it != parent->ChildsEnd(); ++it) {
        if ((*it)->Tag() == tag) {
            found.push_back(*it);
        }
    }
    return found;
}

// Records what the observer is told, one line per event.
struct Recorder : Observer {
    std::vector<std::string> events;
    std::vector<std::string> renames[2];  // devices, variables
    void OnRenamePair(RenameKind kind, const RenamePair& pair) override {
        renames[kind == RenameKind::Device ? 0 : 1].push_back(std::string(pair.oldName.c_str()) +
                                                              ">" + pair.newName.c_str());
    }
    void OnSideFile(SideFileEvent event, const QMWideString& path, const QMWideString&) override {
        static const char* names[] = {"loaded ",  "rewritten ", "renamed ",  "skipped ",
                                      "created ", "unsaved ",   "unrenamed "};
        const std::string file = Narrow(path);
        events.push_back(names[static_cast<int>(event)] + file.substr(file.rfind('/') + 1));
    }
    void OnHistoryFileMoved(const QMWideString& from, const QMWideString&, bool moved) override {
        const std::string file = Narrow(from);
        events.push_back((moved ? "moved " : "stuck ") + file.substr(file.rfind('/') + 1));
    }
    bool Has(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
};

const char* const kConfiguration = R"(<Configuration>
<CommSystem>
 <Connections>
  <Connection Name="Line 1" Type="RS" Port="COM1"/>
  <Connection Name="Net" Type="TCP"/>
  <Connection Name="Line 1" Type="UDP"/>
  <Connection Name="Gw" Type="ModbusTCP"/>
  <Connection Name="Bus" Type="Serial"/>
 </Connections>
 <Devices>
  <Device Id="METER 1" Driver="MTR200" Connection="Line 1" Address="1" STDPath="@meters/"/>
  <Device Id="JT1" Driver="@JTM" Connection="Line 1"><Inputs>
   <Input Num="1" Type="Counter" Description="Water" Unit="m3" Factor="0.1"/>
   <Input Num="2" Type="Digital" Description="Door"/>
   <Input Num="3" Type="Caudal" Description="Gas" Unit="m3/h" Factor="1" Time="15"/>
   <Input Num="4" Type="Analog"/></Inputs></Device>
  <Device Id="PLC" Driver="@FOLD" Connection="Net" Description="first" Extra="1"/>
  <Device Id="PLC 2" Driver="@FOLD" Connection="Net" Description="second" Other="2"/>
  <Device Id="M3" Driver="MTR200" Connection="Net"><Inputs/></Device>
  <Device Id="Pulses" Driver="@JTC" Connection="Gw"><Inputs><Input Num="1" Type="Caudal"/></Inputs></Device>
  <Device Id="Spare" Driver="MTR200" Connection="Gone"/>
  <Device Id="CALC" Driver="VIRTUAL" Description="Calculated" STDPath="@virtual/"><Variables>
   <Variable Id="A" Name="Total" Units="kW" SampleMode="1" Value="[METER 1.PAI]"/>
   <Variable Id="B" Name="Share" Value="[CALC.A]"/></Variables></Device>
  <Device Id="Tot &amp; Cost" Driver="VIRTUAL"><Variables><Variable Id="C"/></Variables></Device>
 </Devices>
</CommSystem>
<DeviceGroups><Devices><Device Id="METER 1"/></Devices><Groups><Group><Groups><Group><Groups><Group>
 <Devices><Device Id="JT1"/><Device Id="Spare"/></Devices></Group></Groups></Group></Groups></Group></Groups>
</DeviceGroups>
<ViewSetups>
 <ViewSetup DriverId="METER 1"><Check Var="VI1"/></ViewSetup>
 <ViewSetup DriverId="JT1"><Check Var="I3"/><Check Var=""/></ViewSetup>
 <ViewSetup DriverId="CALC"/>
</ViewSetups>
<UnitSetups><UnitSetup DriverId="Spare"/><UnitSetup DriverId="CALC"><Unit Name="A" Decimals="2"/></UnitSetup></UnitSetups>
</Configuration>)";

const char* const kScreen = R"(<screen><page>
<label style="Red">a</label><label style="">b</label><label style="Nope">c</label>
<formule><expression>[METER 1.VI1]+[JT1.C3]</expression><device>METER 1</device><note>METER 1, left</note></formule>
<conditioned><control><label style="Red">d</label></control><label style="Red">e</label></conditioned>
</page></screen>)";

const char* const kSecurity =
    R"(<SecurityConfiguration version="2.6"><Security><Profiles><Profile><Resources>
<Resource Type="Device" Name="METER 1"/><Resource Type="Screen" Name="Main"/><Resource Type="Force" Name="Main"/>
<Resource Type="Report" Name="Monthly"/><Resource Type="Event" Name="HighVoltage"/>
<Resource Type="DeviceConfig" Name="CALC"/><Resource Type="Device" Name="Tot &amp; Cost"/>
<Resource Type="Printer" Name="Hall"/><Resource Type="Device" Name="Ghost"/>
</Resources></Profile></Profiles></Security></SecurityConfiguration>)";

class Migration : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* directory : {"cfg", "data/meters", "data/virtual"}) {
            dir_.MakeDirectory(directory);
        }
        setup_.SetCfgPath(dir_.WidePath("cfg/"));
        setup_.SetDataPath(dir_.WidePath("data/"));
        setup_.SetVersion(QMTarvioSetup::kScadaEdition | 1);
        dir_.WriteText("cfg/Red.xsty", R"(<style id="Red" version="2.5"/>)");
        dir_.WriteText("cfg/Main.xscn", kScreen);
        dir_.WriteText("cfg/Monthly.xrpt", R"(<report version="3.0"><page/></report>)");
        dir_.WriteText("cfg/Broken.xscn", "<screen><page>");
        dir_.WriteText("cfg/default.xeve",
                       R"(<events><e c="[Tot &amp; Cost.C] &gt; 5"/></events>)");
        dir_.WriteText("cfg/Security.xcfg", kSecurity);
        for (const char* file :
             {"METER 1_03_2008.std", "METER 1_03_2008.dat", "X_04_2009.std", "X_04_2009.dat",
              "Events_02_2008.eve", "Alarms_02_2008.eve", "X_00_2008.std", "X_03_abcd.std",
              "meters/METER 1_05_2008.std", "virtual/CALC_01_2008.std"}) {
            dir_.WriteText(std::string("data/") + file, "history");
        }
    }

    // Loads the configuration with the catalogue's identifiers and the data directory filled in.
    void LoadConfiguration(std::string text = kConfiguration) {
        auto replace = [&](const std::string& token, const std::string& by) {
            for (size_t at; (at = text.find(token)) != std::string::npos;) {
                text.replace(at, token.size(), by);
            }
        };
        replace("@JTM", Narrow(setup_.CatalogueRow(kJtInputModule)->identifier));
        replace("@JTC", Narrow(setup_.CatalogueRow(kJtInputConverter)->identifier));
        replace("@FOLD", Narrow(setup_.CatalogueRow(kFoldDrivers[0])->identifier));
        replace("@", dir_.Path("data/"));
        ASSERT_TRUE(cfg_.Parse(text.c_str()));
    }

    std::string Run(Observer* observer = nullptr) {
        migration_.SetObserver(observer);
        EXPECT_TRUE(migration_.transform(cfg_));
        QMNarrowString text;
        EXPECT_TRUE(cfg_.CreateXmlCode(text, false));
        return text.c_str();
    }

    // The one file of the configuration directory whose name matches.
    std::string FileLike(const std::string& pattern) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path("cfg"))) {
            const std::string name = entry.path().filename().string();
            if (std::regex_match(name, std::regex(pattern))) {
                names.push_back(name);
            }
        }
        EXPECT_EQ(names.size(), 1u) << pattern;
        return names.empty() ? "" : names.front();
    }

    std::unique_ptr<XmlDocument> LoadFile(const std::string& relative) {
        auto document = std::make_unique<XmlDocument>();
        EXPECT_TRUE(document->Load(dir_.WidePath(relative).c_str())) << relative;
        return document;
    }

    TempDir dir_;
    QMTarvioSetup setup_;
    XmlDocument cfg_;
    QMTransformCfgTo27 migration_;
};

TEST_F(Migration, ChannelsBecomeDevicesWithChildrenAndGroupsAndSetupsReferToThem) {
    LoadConfiguration();
    Recorder recorder;
    Run(&recorder);
    const XmlNode* comm = cfg_.Node(L"CommSystem");
    EXPECT_EQ(comm->Node(L"Devices"), nullptr);
    EXPECT_EQ(comm->Node(L"Connections"), nullptr);
    const auto devices = Tagged(comm, L"Device");
    ASSERT_EQ(devices.size(), 5u);
    const std::vector<std::string> names = {"Line_1", "PLC_2", "Line_1", "Pulses", "Bus"};
    const std::vector<std::string> drivers = {
        "COM_RS", Narrow(setup_.CatalogueRow(kFoldDrivers[0])->identifier), "COM_UDP",
        Narrow(setup_.CatalogueRow(kJtInputConverter)->identifier), "COM_RS"};
    for (size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(Get(devices[i], L"Name"), names[i]);
        EXPECT_EQ(Get(devices[i], L"Driver"), drivers[i]);
        EXPECT_TRUE(IsGuid(Get(devices[i], L"Id")));
        EXPECT_EQ(devices[i]->Node(L"NameTmp"), nullptr);
    }
    EXPECT_EQ(Get(devices[0], L"Port"), "COM1");
    // Both devices of "Line 1" hang below the first channel of that name; "Spare" is gone.
    const auto line = Tagged(devices[0]->Node(L"ChildDevices"), L"ChildDevice");
    ASSERT_EQ(line.size(), 2u);
    EXPECT_EQ(Get(line[0], L"Name"), "METER_1");
    EXPECT_EQ(Get(line[0], L"Address"), "1");
    EXPECT_EQ(line[0]->Node(L"Connection"), nullptr);
    EXPECT_TRUE(IsGuid(Get(line[0], L"Id")));
    EXPECT_EQ(devices[2]->Node(L"ChildDevices"), nullptr);
    EXPECT_EQ(devices[4]->Node(L"ChildDevices"), nullptr);
    // Two folded devices: the second one's name and description win, all settings stay.
    EXPECT_EQ(Get(devices[1], L"Description"), "second");
    EXPECT_EQ(Get(devices[1], L"Extra"), "1");
    EXPECT_EQ(Get(devices[1], L"Other"), "2");
    const auto net = Tagged(devices[1]->Node(L"ChildDevices"), L"ChildDevice");
    ASSERT_EQ(net.size(), 1u);
    EXPECT_NE(net[0]->Node(L"Inputs"), nullptr);  // not a JT module: left alone

    // JT module below a channel, and JT converter folded into its channel.
    EXPECT_EQ(line[1]->Node(L"Inputs"), nullptr);
    EXPECT_EQ(Get(line[1]->Node(L"Counters/Counter"), L"Factor"), "0.1");
    EXPECT_EQ(Get(line[1]->Node(L"Digitals/Digital"), L"Description"), "Door");
    const XmlNode* flow = line[1]->Node(L"Flows/Flow");
    EXPECT_EQ(Get(flow, L"Time") + Get(flow, L"Window") + Get(flow, L"Enabled"), "90030T");
    EXPECT_EQ(Tagged(line[1]->Node(L"Flows"), L"Flow").size(), 1u);
    EXPECT_EQ(Get(devices[3]->Node(L"Flows/Flow"), L"Time"), "60");

    using Names = std::vector<std::string>;
    EXPECT_EQ(recorder.renames[0], (Names{"METER 1>METER_1", "Line 1>Line_1", "PLC 2>PLC_2",
                                          "Line 1>Line_1", "Tot &amp; Cost>Tot___Cost"}));
    EXPECT_EQ(recorder.renames[1],
              (Names{"JT1.C3>JT1.F3", "Gw.C1>Gw.F1", "CALC.A>R$CAL_CALC.A", "CALC.B>R$CAL_CALC.B",
                     "Tot___Cost.C>R$CAL_Tot___Cost.C"}));

    // Groups and setups refer to the devices by their GUIDs.
    const std::string meter = Get(line[0], L"Id");
    EXPECT_EQ(Get(cfg_.Node(L"DeviceGroups/Devices/Device"), L"Id"), meter);
    const XmlNode* deep = cfg_.Node(L"DeviceGroups/Groups/Group/Groups/Group/Groups/Group/Devices");
    const auto references = Tagged(deep, L"Device");
    EXPECT_TRUE(IsGuid(Get(references[0], L"Id")));
    EXPECT_EQ(Get(references[1], L"Id"), "Spare");

    const auto views = Tagged(cfg_.Node(L"ViewSetups"), L"ViewSetup");
    ASSERT_EQ(views.size(), 2u);  // the virtual device's view went with it
    EXPECT_EQ(Get(views[0], L"DriverId"), meter);
    EXPECT_EQ(Get(views[0]->Node(L"Check"), L"Var"), "VI1");
    const auto checks = Tagged(views[1], L"Check");
    EXPECT_EQ(Get(checks[0], L"Var") + "," + Get(checks[1], L"Var"), "F3,F");
    const auto units = Tagged(cfg_.Node(L"UnitSetups"), L"UnitSetup");
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(Get(units[0], L"DriverId"), "Spare");
}

TEST_F(Migration, VirtualDevicesBecomeCalculatedVariables) {
    dir_.WriteText("cfg/default.xcal",
                   R"(<variablesGroups><variablesGroup name="CALC"/></variablesGroups>)");
    LoadConfiguration();
    Run();
    auto calculated = LoadFile("cfg/default.xcal");
    const auto groups = Tagged(&calculated->Root(), L"variablesGroup");
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(Get(groups[1], L"name") + "/" + Get(groups[1], L"description"), "CALC/Calculated");
    EXPECT_TRUE(IsGuid(Get(groups[1], L"id")));
    EXPECT_EQ(Get(groups[2], L"name"), "Tot___Cost");
    const auto variables = Tagged(groups[1]->Node(L"variables"), L"variable");
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_EQ(Get(variables[0], L"name") + Get(variables[0], L"title") +
                  Get(variables[0], L"units") + Get(variables[0], L"userDecimals"),
              "ATotalkW2");
    EXPECT_EQ(variables[1]->Node(L"userDecimals"), nullptr);
    // The renames reach the formulas: devices first, then variables.
    EXPECT_EQ(Get(variables[0], L"value"), "[METER_1.PAI]");
    EXPECT_EQ(Get(variables[1], L"value"), "[R$CAL_CALC.A]");
}

TEST_F(Migration, ScreensReportsAndStylesGetIdentifiers) {
    LoadConfiguration();
    Run();
    const std::string style = FileLike(kGuidText + R"(\.Red\.xsty)");
    auto red = LoadFile("cfg/" + style);
    EXPECT_EQ(Get(&red->Root(), L"name"), "Red");
    EXPECT_EQ(Get(&red->Root(), L"id") + ".Red.xsty", style);
    EXPECT_EQ(Get(&red->Root(), L"version"), "2.7");

    const std::string screen = FileLike(kGuidText + R"(\.Main\.xscn)");
    auto main = LoadFile("cfg/" + screen);
    EXPECT_EQ(Get(&main->Root(), L"id") + ".Main.xscn", screen);
    EXPECT_EQ(Get(&main->Root(), L"name") + Get(&main->Root(), L"version"), "Main2.7");
    const std::string redId = Get(&red->Root(), L"id");
    const auto labels = Tagged(main->Node(L"page"), L"label");
    EXPECT_EQ(Get(labels[0], L"style"), redId);
    EXPECT_EQ(Get(labels[1], L"style"), "");
    EXPECT_EQ(Get(labels[2], L"style"), "Nope");
    EXPECT_EQ(Get(main->Node(L"page/conditioned/control/label"), L"style"), redId);
    EXPECT_EQ(Get(main->Node(L"page/conditioned/label"), L"style"), "Red");
    const XmlNode* formule = main->Node(L"page/formule");
    EXPECT_EQ(Get(formule, L"expression"), "[METER_1.VI1]+[JT1.F3]");
    EXPECT_EQ(Get(formule, L"device"), "METER_1");
    EXPECT_EQ(Get(formule, L"note"), "METER 1, left");

    auto report = LoadFile("cfg/" + FileLike(kGuidText + R"(\.Monthly\.xrpt)"));
    EXPECT_EQ(Get(&report->Root(), L"version"), "3.0");
    EXPECT_EQ(dir_.ReadText("cfg/Broken.xscn"), "<screen><page>");
    EXPECT_EQ(Get(LoadFile("cfg/default.xeve")->Node(L"e"), L"c"), "[R$CAL_Tot___Cost.C] > 5");
}

TEST_F(Migration, EachRenamedDeviceFindsTheEntriesLeftByTheOnesBefore) {
    // "Meter 1" also takes the file of "Meter 10", which then finds nothing. "Meter 2" creates
    // the folder 2009, which the last name, read as a pattern, matches.
    dir_.MakeDirectory("data/2008");
    dir_.WriteText("data/Meter 10_03_2008.std", "history");
    dir_.WriteText("data/Meter 2_04_2009.std", "history");
    LoadConfiguration(R"(<Configuration><CommSystem>
<Connections><Connection Name="L" Type="RS"/></Connections><Devices>
 <Device Id="Meter 1" Driver="MTR200" Connection="L"/>
 <Device Id="Meter 10" Driver="MTR200" Connection="L"/>
 <Device Id="Meter 2" Driver="MTR200" Connection="L"/>
 <Device Id="2009*******" Driver="MTR200" Connection="L"/>
</Devices></CommSystem></Configuration>)");
    Recorder recorder;
    Run(&recorder);
    std::vector<std::string> moves;
    std::copy_if(
        recorder.events.begin(), recorder.events.end(), std::back_inserter(moves),
        [](const std::string& e) { return e.starts_with("moved") || e.starts_with("stuck"); });
    EXPECT_EQ(moves, (std::vector<std::string>{
                         "moved METER 1_03_2008.dat", "moved METER 1_03_2008.std",
                         "moved Meter 10_03_2008.std", "moved Meter 2_04_2009.std", "moved 2009",
                         "moved Alarms_02_2008.eve", "moved X_04_2009.std"}));
    EXPECT_EQ(dir_.ReadText("data/2008/03/Meter_10_03_2008.std"), "history");
    EXPECT_TRUE(dir_.Exists("data/0009/20/_2009_______/04/Meter_2_04_2009.std"));
    EXPECT_TRUE(dir_.Exists("data/2009/04/X_04_2009.std"));
}

// Security resources carry identifiers; a second run leaves them and the main document, but
// prefixes the side files again.
TEST_F(Migration, SecurityResourcesCarryIdentifiersWhichASecondRunLeaves) {
    LoadConfiguration();
    const std::string first = Run();
    auto security = LoadFile("cfg/Security.xcfg");
    EXPECT_EQ(Get(&security->Root(), L"version"), "2.7");
    const auto resources =
        Tagged(security->Node(L"Security/Profiles/Profile/Resources"), L"Resource");
    ASSERT_EQ(resources.size(), 9u);
    std::vector<std::string> seen;
    for (const XmlNode* resource : resources) {
        const std::string id = Get(resource, L"Id");
        seen.push_back(Get(resource, L"Type") + ":" + (IsGuid(id) ? "guid" : id) + ":" +
                       Get(resource, L"Name"));
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{"Device:guid:", "Screen:guid:", "Force:guid:",
                                        "Report:guid:", "Event:HighVoltage:", "Device::Tot & Cost",
                                        "Printer::Hall", "Device::", "CalculatedVariables:guid:"}));
    auto calculated = LoadFile("cfg/default.xcal");
    EXPECT_EQ(Get(resources[8], L"Id"), Get(calculated->Node(L"variablesGroup"), L"id"));

    const std::string securityText = dir_.ReadText("cfg/Security.xcfg");
    QMTransformCfgTo27 again;
    EXPECT_TRUE(again.transform(cfg_));
    QMNarrowString second;
    EXPECT_TRUE(cfg_.CreateXmlCode(second, false));
    EXPECT_EQ(second.c_str(), first);
    EXPECT_EQ(dir_.ReadText("cfg/Security.xcfg"), securityText);
    FileLike(kGuidText + "\\." + kGuidText + R"(\.Main\.xscn)");
    EXPECT_TRUE(dir_.Exists("data/2009/04/X_04_2009.std"));
}

TEST_F(Migration, HistoryFilesMoveIntoYearAndMonthFoldersAndTheObserverHearsOfEachFile) {
    dir_.WriteText("data/X_05_2009.std", "new");
    dir_.MakeDirectory("data/2009/05");
    dir_.WriteText("data/2009/05/X_05_2009.std", "old");  // a move never replaces a file
    // With its identifier in front, this name would pass the file system's 255 bytes.
    const std::string longName = std::string(240, 'L') + ".xscn";
    dir_.WriteText("cfg/" + longName, "<screen version=\"2.5\"/>");
    LoadConfiguration();
    Recorder recorder;
    Run(&recorder);
    for (const std::string& event : std::vector<std::string>{
             "skipped Broken.xscn", "loaded Main.xscn", "rewritten Main.xscn", "renamed Main.xscn",
             "created default.xcal", "loaded Security.xcfg", "moved METER 1_03_2008.std",
             "stuck X_05_2009.std", "rewritten " + longName, "unrenamed " + longName}) {
        EXPECT_TRUE(recorder.Has(event)) << event;
    }
    EXPECT_EQ(dir_.ReadText("data/X_05_2009.std"), "new");

    // History files move into year and month folders.
    for (const char* moved :
         {"2008/03/METER_1_03_2008.std", "2008/03/METER_1_03_2008.dat", "2009/04/X_04_2009.std",
          "2008/02/Alarms_02_2008.eve", "meters/2008/05/METER_1_05_2008.std"}) {
        EXPECT_TRUE(dir_.Exists(std::string("data/") + moved)) << moved;
    }
    for (const char* kept : {"X_04_2009.dat", "Events_02_2008.eve", "X_00_2008.std",
                             "X_03_abcd.std", "virtual/CALC_01_2008.std"}) {
        EXPECT_TRUE(dir_.Exists(std::string("data/") + kept)) << kept;
    }
    EXPECT_FALSE(dir_.Exists("data/METER 1_03_2008.std"));
}

TEST_F(Migration, WithoutScadaOrCommSystemOnlyDataAndSecurityChange) {
    setup_.SetVersion(1);
    LoadConfiguration("<Configuration><ViewSetups/></Configuration>");
    Run();
    EXPECT_TRUE(dir_.Exists("cfg/Main.xscn"));
    EXPECT_FALSE(dir_.Exists("cfg/default.xcal"));
    EXPECT_TRUE(dir_.Exists("data/2009/04/X_04_2009.std"));
    auto security = LoadFile("cfg/Security.xcfg");
    const XmlNode* screen =
        security->Node(L"Security/Profiles/Profile/Resources/Resource?Type=Screen");
    EXPECT_EQ(Get(screen, L"Id") + Get(screen, L"Name"), "");
}

}  // namespace
