// Whole-document conversions as the editor does them: about 10 MB of lyrics
// lines mixing ASCII time tags, kana, kanji and half-width katakana.
#include <benchmark/benchmark.h>

#include <string>

#include "text/Codec.h"

namespace {

const std::string& Document() {
    static const std::string doc = [] {
        // "[00:12.34]" + "さくら咲く春の日に" + " ｻｸﾗ" + a few ASCII words, CR LF.
        const std::string line =
            "[00:12.34]\x82\xb3\x82\xad\x82\xe7\x8d\xe7\x82\xad\x8f\x74\x82\xcc\x93\xfa\x82\xc9"
            " \xbb\xb8\xd7 sakura no hana\r\n";
        std::string text;
        while (text.size() < 10 * 1000 * 1000) text += line;
        return text;
    }();
    return doc;
}

// The look-up tables are built on first use, once per process: registered
// first, this is the one run that builds them.
void BM_FirstUse(benchmark::State& state) {
    for (auto _ : state) zvek::PrepareCodec();
}
BENCHMARK(BM_FirstUse)->Iterations(1)->Unit(benchmark::kMicrosecond);

void BM_SjisToUtf16(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) benchmark::DoNotOptimize(zvek::SjisToUtf16(doc));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_SjisToUtf16)->Unit(benchmark::kMillisecond);

void BM_Utf16ToSjis(benchmark::State& state) {
    const std::u16string text = zvek::SjisToUtf16(Document());
    for (auto _ : state) benchmark::DoNotOptimize(zvek::Utf16ToSjis(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Document().size()));
}
BENCHMARK(BM_Utf16ToSjis)->Unit(benchmark::kMillisecond);

void BM_SjisToUtf8(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) benchmark::DoNotOptimize(zvek::SjisToUtf8(doc));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_SjisToUtf8)->Unit(benchmark::kMillisecond);

void BM_Utf8ToSjis(benchmark::State& state) {
    const std::string text = zvek::SjisToUtf8(Document());
    for (auto _ : state) benchmark::DoNotOptimize(zvek::Utf8ToSjis(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Document().size()));
}
BENCHMARK(BM_Utf8ToSjis)->Unit(benchmark::kMillisecond);

void BM_LooksLikeUtf8(benchmark::State& state) {
    const std::string text = zvek::SjisToUtf8(Document());
    for (auto _ : state) benchmark::DoNotOptimize(zvek::LooksLikeUtf8(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LooksLikeUtf8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
