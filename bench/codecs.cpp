// Throughput of the conversions that run per value or per template piece: base64 of image
// data, UTF-8 to wide text and back, and locale number formatting.
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/date_time.h>
#include <qmsupport/toolsapi/locale_info.h>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> SampleBytes(size_t n) {
    std::vector<unsigned char> bytes(n);
    uint32_t x = 12345;
    for (auto& b : bytes) {
        x = x * 1103515245 + 12345;
        b = static_cast<unsigned char>(x >> 16);
    }
    return bytes;
}

void BM_EncodeBase64(benchmark::State& state) {
    auto bytes = SampleBytes(static_cast<size_t>(state.range(0)));
    QMWideString out;
    for (auto _ : state) {
        EncodeBase64(out, bytes.data(), bytes.size());
        benchmark::DoNotOptimize(out.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_EncodeBase64)->Arg(1 << 20);

void BM_DecodeBase64(benchmark::State& state) {
    auto bytes = SampleBytes(static_cast<size_t>(state.range(0)));
    QMWideString text;
    EncodeBase64(text, bytes.data(), bytes.size());
    std::vector<unsigned char> buffer(DecodedBase64Size(text.c_str(), text.Length()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeBase64(buffer.data(), text.c_str()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeBase64)->Arg(1 << 20);

void BM_Utf8ToUtf16(benchmark::State& state) {
    std::string text;
    while (text.size() < 4096) {
        text += state.range(0) ? "Zählerstand Größe € " : "Meter reading value ";
    }
    QMWideString out;
    for (auto _ : state) {
        Utf8ToUtf16(out, text.c_str(), text.size());
        benchmark::DoNotOptimize(out.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8ToUtf16)->Arg(0)->Arg(1);

void BM_Utf16ToUtf8(benchmark::State& state) {
    std::wstring text;
    while (text.size() < 4096) {
        text += L"Zählerstand Größe € ";
    }
    QMNarrowString out;
    for (auto _ : state) {
        Utf16ToUtf8(out, text.c_str(), text.size());
        benchmark::DoNotOptimize(out.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf16ToUtf8);

void BM_FormatNumber(benchmark::State& state) {
    SetLocaleName("de_DE");
    QMWideString out;
    double value = 1234567.891;
    for (auto _ : state) {
        FormatNumber(out, value, 2, state.range(0) != 0);
        benchmark::DoNotOptimize(out.c_str());
        value += 0.37;
    }
    SetLocaleName("");
}
BENCHMARK(BM_FormatNumber)->Arg(0)->Arg(1);

void BM_LocaleInformation(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(LocaleInformationWide().decimalSeparator.c_str());
    }
}
BENCHMARK(BM_LocaleInformation);

void BM_String2DateTime(benchmark::State& state) {
    QMDateTime t;
    for (auto _ : state) {
        benchmark::DoNotOptimize(String2DateTime(t, L"2024-02-29 13:05:09.042"));
    }
}
BENCHMARK(BM_String2DateTime);

}  // namespace

BENCHMARK_MAIN();
