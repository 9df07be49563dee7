// LRC in and out on a generated 200,000-line file, in lines per second.
// The input is shaped like real files: header tags, an offset, now and then
// a line with two stamps or word times.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "NullHost.h"
#include "TextLines.h"
#include "lyrics/Lrc.h"
#include "lyrics/LyricsDocument.h"
#include "web/Code.h"

namespace {

using namespace zvek;

constexpr std::size_t kLines = 200000;

std::vector<std::string> LrcLines(std::size_t count) {
    std::vector<std::string> lines = bench::TextLines(count);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const unsigned cs = static_cast<unsigned>(i * 137 % 3600000);
        char tag[48];
        if (i % 10 == 3)
            std::snprintf(tag, sizeof tag, "[%02u:%02u.%02u][%02u:%02u.%02u]", cs / 6000, cs / 100 % 60, cs % 100,
                          cs / 6000 + 1, cs / 100 % 60, cs % 100);
        else if (i % 10 == 7)
            std::snprintf(tag, sizeof tag, "[%02u:%02u.%02u] <%02u:%02u.%02u>", cs / 6000, cs / 100 % 60, cs % 100,
                          cs / 6000, cs / 100 % 60, cs % 100);
        else std::snprintf(tag, sizeof tag, "[%02u:%02u.%02u]", cs / 6000, cs / 100 % 60, cs % 100);
        lines[i] = tag + lines[i];
    }
    lines.insert(lines.begin(), {"[ti:Song]", "[ar:Someone]", "[offset:+120]", "[length:03:20]"});
    return lines;
}

void BM_LrcToZVEK(benchmark::State& state) {
    const auto lines = LrcLines(kLines);
    bench::NullHost host;
    LyricsDocument doc(host);
    for (auto _ : state) {
        state.PauseTiming();
        doc.SetLines(lines);
        doc.SetFileName("song.lrc");
        state.ResumeTiming();
        ConvertLrcToZVEK(doc);
        benchmark::DoNotOptimize(doc.Lines().data());
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lines.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ZVEKToLrc(benchmark::State& state) {
    LrcReadCounts invalid;
    const auto lyrics = LrcToZVEK(LrcLines(kLines), invalid);
    for (auto _ : state) {
        int skipped = 0;
        const std::string bytes = ZVEKToLrc(lyrics, {}, skipped);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lyrics.size()), benchmark::Counter::kIsIterationInvariantRate);
}

// Telling the code set of a 50,000-line file's bytes, and converting them:
// Shift-JIS (the EUC-JP reading fails at the first kana), EUC-JP (the
// Shift-JIS reading fails within a few lines), and EUC-JP whose every line
// also reads as Shift-JIS, so that both readings are scored to the end.
void BM_LrcTextFromBytes(benchmark::State& state) {
    constexpr std::size_t kFileLines = 50000;
    std::string bytes;
    if (state.range(0) == 2) {
        // "[00:18.32]「思い出も変わらない」" in EUC-JP.
        const std::string line =
            "[00:18.32]\xA1\xD6\xBB\xD7\xA4\xA4\xBD\xD0\xA4\xE2\xCA\xD1\xA4\xEF\xA4\xE9\xA4\xCA\xA4\xA4\xA1\xD7\r\n";
        for (std::size_t i = 0; i < kFileLines; ++i) bytes += line;
    } else {
        for (const std::string& line : LrcLines(kFileLines)) bytes += line + "\r\n";
        if (state.range(0) == 1) bytes = SjisToEucString(bytes);
    }
    for (auto _ : state) {
        std::size_t replaced = 0;
        const std::string text = LrcTextFromBytes(bytes, replaced);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(kFileLines), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_LrcTextFromBytes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LrcToZVEK)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZVEKToLrc)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
