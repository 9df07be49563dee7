// Width folding over a whole page's worth of text: the tag reader folds every
// page text twice (and the page source twice) before it searches them, so
// both foldings must keep up with a 10 MB page. Budget: 200 MB/s each.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "web/Code.h"

namespace {

// About 10 MB of lyrics-like Shift_JIS: kanji and kana, ASCII words and
// digits, full-width letters, half-width katakana with sound marks, lines of
// 10 to 60 characters ending in CR LF.
std::string MakePage(std::size_t size) {
    std::mt19937 rng(932);
    auto pick = [&rng](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(rng); };
    std::string page;
    page.reserve(size + 256);
    auto pair = [&page](unsigned lead, unsigned trail) {
        page += static_cast<char>(lead);
        page += static_cast<char>(trail);
    };
    while (page.size() < size) {
        const unsigned length = pick(10, 60);
        for (unsigned k = 0; k < length; ++k) {
            const unsigned kind = pick(0, 99);
            if (kind < 30) {  // kanji, level 1 and 2
                unsigned trail = pick(0x40, 0xFB);
                if (trail >= 0x7F) ++trail;
                pair(pick(0x89, 0x97), trail);
            } else if (kind < 50) {  // hiragana
                pair(0x82, pick(0x9F, 0xF1));
            } else if (kind < 60) {  // katakana
                const unsigned trail = pick(0x40, 0x96);
                pair(0x83, trail == 0x7F ? 0x80 : trail);
            } else if (kind < 64) {  // full-width letters and digits
                pair(0x82, pick(0x60, 0x79));
            } else if (kind < 66) {  // full-width space and punctuation
                pair(0x81, pick(0x40, 0x49));
            } else if (kind < 90) {  // ASCII letters, digits, blanks, punctuation
                page += static_cast<char>(pick(0x20, 0x7E));
            } else {  // half-width katakana, some with a sound mark
                page += static_cast<char>(pick(0xA6, 0xDD));
                if (pick(0, 3) == 0) page += static_cast<char>(pick(0xDE, 0xDF));
            }
        }
        page += "\r\n";
    }
    return page;
}

const std::string& Page() {
    static const std::string page = MakePage(10 * 1000 * 1000);
    return page;
}

void BM_ToFullWidth(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        std::string out = zvek::ToFullWidth(page);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_ToFullWidth)->Unit(benchmark::kMillisecond);

void BM_ToHalfWidth(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        std::string out = zvek::ToHalfWidth(page);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_ToHalfWidth)->Unit(benchmark::kMillisecond);

void BM_SjisToEucString(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        std::string out = zvek::SjisToEucString(page);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_SjisToEucString)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
