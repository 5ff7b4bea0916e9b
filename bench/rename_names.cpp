// Device renames applied to a large screen: the one-scan engine against the literal
// one-pattern-at-a-time algorithm, on the same text. The text is about 1 MB and mentions
// 2,000 device names; 2,000 rename pairs are applied, of which 500 occur in the text.
#include "common/rename_literal.h"
#include "migrate27/rename_engine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kNames = 2000;
constexpr int kRenamedNames = 500;
constexpr size_t kTextSize = 1 << 20;

struct Workload {
    std::string text;
    std::vector<RenamePair> pairs;
};

// Names 0 to 499 are not valid identifiers ("Meter 7") and get renamed; the others are valid
// ("Feeder7"). Pairs 500 to 1999 rename devices that the screen does not show.
std::string DeviceName(int i) {
    return i < kRenamedNames ? "Meter " + std::to_string(i) : "Feeder" + std::to_string(i);
}

Workload MakeWorkload() {
    Workload work;
    for (int i = 0; i < kNames; ++i) {
        std::string oldName = i < kRenamedNames ? DeviceName(i) : "Spare unit " + std::to_string(i);
        std::string newName = oldName;
        for (char& c : newName) {
            c = c == ' ' ? '_' : c;
        }
        work.pairs.push_back({QMNarrowString(oldName), QMNarrowString(newName)});
    }
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pick(0, kNames - 1);
    std::string& text = work.text;
    text = "<screen version=\"2.5\" name=\"Overview\">";
    for (int page = 0; text.size() < kTextSize; ++page) {
        text += "<page number=\"" + std::to_string(page) + "\">";
        for (int control = 0; control < 20; ++control) {
            const std::string a = DeviceName(pick(random));
            const std::string b = DeviceName(pick(random));
            text += "<label left=\"12.50\" top=\"40.00\" style=\"Normal\" var=\"" + a +
                    ".VI1\"><text>Voltage of the incoming line</text></label>";
            text += "<formule style=\"Large\"><expr>[" + a + ".PA]+[" + b +
                    ".PA]*0.5</expr><device>" + b + "</device></formule>";
        }
        text += "</page>";
    }
    text += "</screen>";
    return work;
}

const Workload& Work() {
    static const Workload work = [] {
        Workload made = MakeWorkload();
        std::string fast = made.text;
        std::string literal = made.text;
        qm::migrate27::ApplyRenames(fast, made.pairs, '.', '<');
        qm::migrate27::LiteralApplyRenames(literal, made.pairs, '.', '<');
        if (fast != literal || fast == made.text) {
            std::fprintf(stderr, "the two algorithms disagree\n");
            std::exit(1);
        }
        return made;
    }();
    return work;
}

void BM_RenameFast(benchmark::State& state) {
    const Workload& work = Work();
    for (auto _ : state) {
        std::string text = work.text;
        benchmark::DoNotOptimize(qm::migrate27::ApplyRenames(text, work.pairs, '.', '<'));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * work.text.size()));
}

void BM_RenameLiteral(benchmark::State& state) {
    const Workload& work = Work();
    for (auto _ : state) {
        std::string text = work.text;
        benchmark::DoNotOptimize(qm::migrate27::LiteralApplyRenames(text, work.pairs, '.', '<'));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * work.text.size()));
}

}  // namespace

BENCHMARK(BM_RenameFast)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_RenameLiteral)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

BENCHMARK_MAIN();
