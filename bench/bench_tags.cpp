// Making and reading tag files, in process, against a page on disk:
// a typical song (60 lines, a 40 KB page) and a large case (5,000 lines, a
// 2 MB page), with 500 lines against the same page to see how the cost grows.
// Then hostile input: pages of one repeated byte against entries half as
// long as the page and runs that never quite match, a 400,000-line tag file,
// and the reader's peak memory on a 16 MiB page (measured in a child process).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "NullHost.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsLines.h"
#include "tags/Crc32.h"
#include "tags/Fingerprint.h"
#include "tags/TagConversions.h"

namespace {

using namespace zvek;

using bench::NullHost;

// A line of Japanese-looking text: hiragana, katakana and kanji, now and
// then a few ASCII words and punctuation.
std::string RandomLine(std::mt19937& rng) {
    static const char* pieces[] = {"\x82\xa0", "\x82\xa2", "\x82\xa4", "\x82\xa9", "\x82\xb3", "\x82\xc6",
                                   "\x82\xcc", "\x82\xf0", "\x83\x41", "\x83\x4a", "\x83\x54", "\x83\x5e",
                                   "\x88\xa4", "\x89\xcc", "\x8b\xf3", "\x90\xaf", "\x96\xe9", "\x93\xfa",
                                   "\x81\x41", "\x81\x42", "love ",    "you ",     "night ",   "\x81\x40"};
    std::string line;
    const int n = 8 + static_cast<int>(rng() % 16);
    for (int i = 0; i < n; ++i) line += pieces[rng() % std::size(pieces)];
    return line;
}

struct Case {
    std::string page;                 // path of the reference page
    std::vector<std::string> lyrics;  // player lyrics made from its lines
    std::vector<std::string> tagged;  // the tag file made from them
};

Case MakeCase(std::size_t pageBytes, std::size_t lyricLines, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> pageLines;
    std::string html = "<html><head><meta charset=\"Shift_JIS\"></head><body>\n";
    for (std::size_t size = 0; size < pageBytes;) {
        pageLines.push_back(RandomLine(rng));
        html += pageLines.back() + "<br>\n";
        size += pageLines.back().size() + 5;
    }
    html += "</body></html>\n";
    Case c;
    c.page = (std::filesystem::temp_directory_path() /
              ("zveklc-bench-" + std::to_string(::getpid()) + "-" + std::to_string(seed) + ".htm"))
                 .string();
    std::ofstream(c.page, std::ios::binary) << html;
    c.lyrics = {"[Spec]", "Title=bench", "[Text]"};
    for (std::size_t i = 0; i < lyricLines; ++i)
        c.lyrics.push_back(FormatTimeTag(static_cast<int>(i * 1000)) + "=" + pageLines[rng() % pageLines.size()]);
    NullHost host;
    LyricsDocument doc(host);
    doc.SetLines(c.lyrics);
    MakeTagFile(doc, c.page);
    c.tagged = doc.Lines();
    return c;
}

const Case& Typical() {
    static const Case c = MakeCase(40 * 1024, 60, 1);
    return c;
}
const Case& Large(std::size_t lines) {
    static const Case c500 = MakeCase(2 * 1024 * 1024, 500, 2);
    static const Case c5000 = MakeCase(2 * 1024 * 1024, 5000, 3);
    return lines == 500 ? c500 : c5000;
}

void Run(benchmark::State& state, const Case& c, bool tag) {
    NullHost host;
    LyricsDocument doc(host);
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        doc.SetLines(tag ? c.lyrics : c.tagged);
        doc.SetFileName("song.lyr");
        state.ResumeTiming();
        ok = (tag ? MakeTagFile(doc, c.page) : RestoreFromTagFile(doc, c.page)) && ok;
    }
    if (!ok) state.SkipWithError("conversion failed");
    state.counters["lines"] = static_cast<double>(c.lyrics.size() - 3);
}

void BM_TagTypical(benchmark::State& state) { Run(state, Typical(), true); }
void BM_UntagTypical(benchmark::State& state) { Run(state, Typical(), false); }
void BM_TagLarge(benchmark::State& state) { Run(state, Large(static_cast<std::size_t>(state.range(0))), true); }
void BM_UntagLarge(benchmark::State& state) { Run(state, Large(static_cast<std::size_t>(state.range(0))), false); }

BENCHMARK(BM_TagTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UntagTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TagLarge)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UntagLarge)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("zveklc-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// An entry <1,N/2,a,0x1> against N bytes of "a": every place is a candidate
// as long as half the page.
void BM_HostileFragment(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const Haystack page(std::string(n, 'a'));
    for (auto _ : state) benchmark::DoNotOptimize(page.Find(1, static_cast<std::int64_t>(n / 2), 0x1, "a"));
}
BENCHMARK(BM_HostileFragment)->Arg(100000)->Arg(400000)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

// The writer: a 1 MiB page of "a" and a line of 1,000 "a" and one "b".
void BM_HostileRun(benchmark::State& state) {
    const Haystack page(std::string(1 << 20, 'a'));
    const std::string run = std::string(1000, 'a') + "b";
    for (auto _ : state) benchmark::DoNotOptimize(page.FindLongestPrefix(run));
}
BENCHMARK(BM_HostileRun)->Unit(benchmark::kMillisecond);

// Reading a tag file of many lines: the cost of showing progress every 16 lines.
void BM_UntagLines(benchmark::State& state) {
    const std::string page = TempPath("lines.txt");
    std::ofstream(page, std::ios::binary) << "xyz";
    std::vector<std::string> tagged = {"[TagLyr]", "TagVer=1000", "LyrFile=song.lyr", "", "[Spec]", "[Text]"};
    char entry[64];
    std::snprintf(entry, sizeof entry, "00:00:000=<2,1,y,0x%X>", static_cast<unsigned>(CalcCrc32(0, "y", 1)));
    tagged.resize(tagged.size() + static_cast<std::size_t>(state.range(0)), entry);
    NullHost host;
    LyricsDocument doc(host);
    for (auto _ : state) {
        state.PauseTiming();
        doc.SetLines(tagged);
        doc.SetFileName("song.TagLyr");
        state.ResumeTiming();
        if (!RestoreFromTagFile(doc, page)) state.SkipWithError("conversion failed");
    }
    std::remove(page.c_str());
}
BENCHMARK(BM_UntagLines)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

// Peak memory of the reader on a 16 MiB page (an HTML page: text and source
// are both searched) whose every folded form is built because the entry
// matches nowhere; in a child, so that nothing else counts.
void BM_UntagMemory(benchmark::State& state) {
    const char fill = static_cast<char>(state.range(0));
    const std::string page = TempPath("memory.htm");
    const std::string head = "<html><body>", tail = "</body></html>";
    {
        std::ofstream out(page, std::ios::binary);
        out << head << std::string((16u << 20) - head.size() - tail.size(), fill) << tail;
    }
    double ratio = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            NullHost host;
            LyricsDocument doc(host);
            doc.SetLines(
                {"[TagLyr]", "TagVer=1000", "LyrFile=song.lyr", "", "[Spec]", "[Text]", "00:00:000=<1,5,b,0x1>"});
            RestoreFromTagFile(doc, page);
            ::_exit(0);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        ratio = static_cast<double>(usage.ru_maxrss) * 1024 / (16 << 20);
    }
    state.counters["peak/page"] = ratio;
    std::remove(page.c_str());
}
BENCHMARK(BM_UntagMemory)->Arg('a')->Arg('<')->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    for (const Case* c : {&Typical(), &Large(500), &Large(5000)}) std::remove(c->page.c_str());
    return 0;
}
