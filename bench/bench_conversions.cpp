// The three document conversions on large generated documents, in lines per
// second, at 10,000, 100,000 and 1,000,000 lines to see how the cost grows.
#include <benchmark/benchmark.h>

#include "NullHost.h"
#include "TextLines.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsLines.h"

namespace {

using namespace zvek;

using bench::NullHost;
using bench::TextLines;

std::vector<std::string> PlayerLines(std::size_t count) {
    NullHost host;
    LyricsDocument doc(host);
    doc.SetLines(TextLines(count));
    ConvertTextToZVEK(doc);
    std::vector<std::string> lines = doc.Lines();
    for (std::size_t i = 15; i < lines.size(); ++i) {
        std::string words;
        SplitLyricsLine(lines[i], words, true);
        lines[i] = FormatTimeTag(static_cast<int>(i * 1000)) + "=" + words;
    }
    return lines;
}

std::vector<std::string> WinAmpLines(std::size_t count) {
    std::vector<std::string> lines = TextLines(count);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const unsigned cs = static_cast<unsigned>(i * 137 % 360000);
        char tag[32];
        std::snprintf(tag, sizeof tag, "[%02u:%02u.%02u]", cs / 6000, cs / 100 % 60, cs % 100);
        lines[i] = tag + lines[i];
    }
    lines.insert(lines.begin(), {"[[[Music Info]]]", "[ar:Someone]"});
    return lines;
}

void Run(benchmark::State& state, std::vector<std::string> (*make)(std::size_t), void (*convert)(LyricsDocument&)) {
    const auto lines = make(static_cast<std::size_t>(state.range(0)));
    NullHost host;
    LyricsDocument doc(host);
    for (auto _ : state) {
        state.PauseTiming();
        doc.SetLines(lines);
        doc.SetFileName("song.txt");
        state.ResumeTiming();
        convert(doc);
        benchmark::DoNotOptimize(doc.Lines().data());
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lines.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_TextToZVEK(benchmark::State& state) { Run(state, TextLines, ConvertTextToZVEK); }
void BM_ZVEKToText(benchmark::State& state) { Run(state, PlayerLines, ConvertZVEKToText); }
void BM_WinAmpToZVEK(benchmark::State& state) { Run(state, WinAmpLines, ConvertWinAmpToZVEK); }

BENCHMARK(BM_TextToZVEK)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZVEKToText)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WinAmpToZVEK)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
