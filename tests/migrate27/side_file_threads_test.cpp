#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/identifiers.h>

#include "common/temp_dir.h"
#include "common/tree_snapshot.h"
#include "migrate27/layout27.h"
#include "platform/in_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Observer = QMTransformCfgTo27Observer;

// Everything the observer is told, in order, with the renames' counts.
struct Log : Observer {
    std::vector<std::string> lines;
    void OnSideFile(SideFileEvent event, const QMWideString& path,
                    const QMWideString& newPath) override {
        lines.push_back(std::to_string(static_cast<int>(event)) + " " + Name(path) + " " +
                        Name(newPath));
    }
    void OnHistoryFileMoved(const QMWideString& from, const QMWideString& to, bool moved) override {
        lines.push_back("moved " + Name(from) + " " + Name(to) + (moved ? "" : " failed"));
    }
    void OnRenamePairUsed(RenameKind kind, const RenamePair& pair, size_t uses) override {
        lines.push_back(std::to_string(static_cast<int>(kind)) + pair.oldName.c_str() + " " +
                        std::to_string(uses));
    }
    static std::string Name(const QMWideString& path) {
        const std::wstring& text = path.str();
        return std::string(text.begin() + static_cast<long>(text.rfind(L'/') + 1), text.end());
    }
};

const char* const kConfiguration = R"(<Configuration><CommSystem>
<Connections><Connection Name="Line" Type="RS"/></Connections>
<Devices><Device Id="Meter 1" Driver="MTR200" Connection="Line"/>
<Device Id="Meter 2" Driver="MTR200" Connection="Line"/>
<Device Id="Calc" Driver="VIRTUAL"><Variables><Variable Id="A"/><Variable Id="B"/></Variables>
</Device></Devices></CommSystem></Configuration>)";

// A plant of many screens, reports and styles, some of them broken, and history files,
// migrated once with the given number of threads and the same seed; returns the tree it leaves
// and what it said. `data` is the data folder: "data/", or "cfg/" to share the configuration
// folder, where the history pass must come after the side files.
std::pair<std::map<std::string, std::string>, std::vector<std::string>> Migrate(
    unsigned threads, const std::string& data = "data/") {
    TempDir dir;
    dir.MakeDirectory("cfg");
    dir.MakeDirectory("data");
    for (int i = 0; i < 30; ++i) {
        const std::string month = (i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1);
        dir.WriteText(data + "Meter " + std::to_string(i % 3) + "_" + month + "_2008.std", "h");
        dir.WriteText(data + "Totals" + std::to_string(i) + "_" + month + "_2009.std", "t");
    }
    dir.WriteText(data + "notes.txt", "left where it is");
    // A screen whose name ends as a history file's does: in a shared folder, the history pass
    // moves it once it has its identifier.
    dir.WriteText("cfg/Plan_02_2008.xscn", "<screen><page/></screen>");
    for (int i = 0; i < 12; ++i) {
        dir.WriteText("cfg/Style " + std::to_string(i) + ".xsty",
                      "<style id=\"S" + std::to_string(i) + "\"/>");
    }
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        const std::string body =
            i % 9 == 4 ? "<screen><page>"  // not well-formed: skipped
                       : "<screen><page><label style=\"S" + std::to_string(i % 14) + "\">Meter " +
                             std::to_string(i % 3) + "</label><formule><expression>[Meter 1.VI" +
                             n + "]+[Calc.A]+[Calc.B]</expression></formule></page></screen>";
        dir.WriteText("cfg/Screen " + n + ".xscn", body);
        dir.WriteText("cfg/Report " + n + ".xrpt", "<report><page><label style=\"S1\">Meter 2." +
                                                       n + "</label></page></report>");
    }
    QMTarvioSetup setup;
    setup.SetCfgPath(dir.WidePath("cfg/"));
    setup.SetDataPath(dir.WidePath(data));
    setup.SetVersion(QMTarvioSetup::kScadaEdition | 1);
    XmlDocument cfg;
    EXPECT_TRUE(cfg.Parse(kConfiguration));

    qm::migrate27::SetSideFileThreads(threads);
    const qm::ScopedGuidSeed seed(qm::GuidSeed{7});
    Log log;
    QMTransformCfgTo27 migration;
    migration.SetObserver(&log);
    migration.transform(cfg);
    qm::migrate27::SetSideFileThreads(0);
    QMNarrowString text;
    EXPECT_TRUE(cfg.CreateXmlCode(text, false));
    auto tree = Snapshot(dir.Path());
    tree["(configuration)"] = text.c_str();
    return {tree, log.lines};
}

TEST(SideFileThreads, GiveTheSameTreeAndReportAsOneThread) {
    for (const std::string data : {"cfg/", "data/"}) {
        SCOPED_TRACE(data);
        const auto one = Migrate(1, data);
        for (unsigned threads : {2u, 5u}) {
            SCOPED_TRACE(threads);
            const auto many = Migrate(threads, data);
            EXPECT_EQ(many.first, one.first);
            EXPECT_EQ(many.second, one.second);
        }
        // The history pass moved the side file that looks like a history file only when it
        // shares its folder.
        const bool plan = std::any_of(one.first.begin(), one.first.end(), [](const auto& file) {
            return file.first.find("2008/02/") != std::string::npos &&
                   file.first.find(".Plan_02_2008.xscn") != std::string::npos;
        });
        EXPECT_EQ(plan, data == "cfg/");
    }
    const auto one = Migrate(1);
    // The run did rewrite, rename and skip files, and counted renames.
    size_t skipped = 0;
    for (const std::string& line : one.second) {
        skipped += line.rfind(std::to_string(static_cast<int>(Observer::SideFileEvent::Skipped)) +
                                  " Screen",
                              0) == 0;
    }
    EXPECT_EQ(skipped, 4u);
    EXPECT_NE(std::find(one.second.begin(), one.second.end(), "1Calc.B 36"), one.second.end());
}

TEST(RunInOrder, DeliversInOrderAndPassesTurnsInOrder) {
    for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        qm::platform::InTurn turn;
        std::vector<size_t> entered;
        std::vector<size_t> delivered;
        qm::platform::RunInOrder(
            50, threads,
            [&](size_t item) {
                qm::platform::InTurn::Ticket ticket(turn, item);
                if (item % 4 != 1) {  // the others pass without entering
                    ticket.Take([&] { entered.push_back(item); });
                }
            },
            [&](size_t item) { delivered.push_back(item); });
        ASSERT_EQ(delivered.size(), 50u);
        for (size_t i = 0; i < delivered.size(); ++i) {
            EXPECT_EQ(delivered[i], i);
        }
        EXPECT_EQ(entered.size(), 37u);
        EXPECT_TRUE(std::is_sorted(entered.begin(), entered.end()));
    }
}

TEST(RunInOrder, ThrowsAWorkersExceptionWhereItsItemIsDelivered) {
    for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        qm::platform::InTurn turn;
        std::vector<size_t> delivered;
        EXPECT_THROW(qm::platform::RunInOrder(
                         40, threads,
                         [&](size_t item) {
                             qm::platform::InTurn::Ticket ticket(turn, item);
                             if (item == 7) {
                                 throw std::runtime_error("item 7");  // leaves without its turn
                             }
                             ticket.Take([] {});
                         },
                         [&](size_t item) { delivered.push_back(item); }),
                     std::runtime_error);
        EXPECT_EQ(delivered, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6}));
    }
}

TEST(RunInOrder, SharesOfABudgetTakenInOrderStayWithinItAndNeverDeadlockWithTurns) {
    qm::platform::InTurn turn;
    qm::platform::OrderedBudget budget(10);
    std::mutex mutex;
    size_t held = 0;
    size_t most = 0;
    size_t alone = 0;
    const std::vector<size_t> amounts = {3, 4, 12, 2, 5, 5, 0, 9, 30, 1, 1, 6, 4, 4, 3};
    qm::platform::RunInOrder(
        amounts.size(), 4,
        [&](size_t item) {
            const qm::platform::OrderedBudget::Share share(budget, item, amounts[item]);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                held += amounts[item];
                most = std::max(most, amounts[item] > 10 ? 0 : held);
                alone += amounts[item] > 10 && held == amounts[item];
            }
            qm::platform::InTurn::Ticket(turn, item).Take([] {});
            const std::lock_guard<std::mutex> lock(mutex);
            held -= amounts[item];
        },
        [](size_t) {});
    EXPECT_LE(most, 10u);
    EXPECT_EQ(alone, 2u);  // the two shares larger than the budget ran alone
}

}  // namespace
