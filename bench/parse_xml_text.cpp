// The cost of rendering a typical text template through the UTF-8 overload of ParseXMLText,
// next to a bare parse of the same text into an XmlDocument, in the same run.

#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/toolsapi/locale_info.h>
#include <qmsupport/xml/xml_document.h>

#include <benchmark/benchmark.h>

namespace {

// Five pieces: a literal, a string resource, a grouped number, a date and a message with two
// typed parameters.
const char kTemplate[] =
    "<text><textStr>Meter </textStr><textId>IDS_120</textId>"
    "<textValue value=\"1234.5678\" decimals=\"2\" thousandSeparator=\"T\"/>"
    "<textDate date=\"2026-12-06 12:00:00\" pattern=\"dd MMM yyyy HH:mm\"/>"
    "<textParams textStr=\" %s at %.1f%%\"><paramStr>load</paramStr>"
    "<paramDouble>87.25</paramDouble></textParams></text>";

void BM_RenderTemplate(benchmark::State& state) {
    SetLocaleName("en_US");
    const QMNarrowString text(kTemplate);
    QMWideString out;
    for (auto _ : state) {
        ParseXMLText(text, out);
        benchmark::DoNotOptimize(out.c_str());
    }
}
BENCHMARK(BM_RenderTemplate);

void BM_BareParse(benchmark::State& state) {
    for (auto _ : state) {
        XmlDocument document;
        bool parsed = document.Parse(kTemplate, sizeof kTemplate - 1);
        benchmark::DoNotOptimize(parsed);
    }
}
BENCHMARK(BM_BareParse);

}  // namespace

BENCHMARK_MAIN();
