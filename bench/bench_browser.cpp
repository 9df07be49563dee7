// The browser's current page from a Firefox session file (SessionFilePage:
// the LZ4 block and the walk through its JSON), in process, from memory.
//
// Budget: every session the program accepts (up to kMaxSessionBytes of
// JSON) is read in well under a second. The worst shapes sit at that cap:
// 16 MiB of numbers, of nested lists, of escaped or non-ASCII strings, put
// inside the selected entry with every position after what it selects, so
// that the walk crosses the bulk as often as it can. A real session of a
// few megabytes of history is the first case.
#include <benchmark/benchmark.h>
#include <lz4.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "web/BrowserCurrentPage.h"

namespace {

std::string MozLz4(const std::string& json) {
    std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(json.size()))), '\0');
    block.resize(static_cast<std::size_t>(LZ4_compress_default(json.data(), block.data(), static_cast<int>(json.size()),
                                                               static_cast<int>(block.size()))));
    std::string file("mozLz40\0", 8);
    for (int shift = 0; shift < 32; shift += 8) file += static_cast<char>(json.size() >> shift & 0xFF);
    return file + block;
}

// Twenty windows of thirty tabs with ten history entries each, the last
// window selected: about 3 MB, as a long-running browser keeps.
std::string RealSession() {
    std::string json = R"({"version":["sessionrestore",1],"windows":[)";
    for (int w = 0; w < 20; ++w) {
        json += w ? ",{\"tabs\":[" : "{\"tabs\":[";
        for (int t = 0; t < 30; ++t) {
            json += t ? ",{\"entries\":[" : "{\"entries\":[";
            for (int e = 0; e < 10; ++e) {
                const std::string n = std::to_string(w * 1000 + t * 10 + e);
                json += (e ? "," : "") + std::string(R"({"url":"https://lyrics.example/song.php?id=)") + n +
                        R"(&sentaku=1","title":"\u6b4c\u8a5e )" + n + R"(","cacheKey":0,"ID":)" + n +
                        R"(,"docshellUUID":"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}",)"
                        R"("scroll":"0,1200","persist":true,"referrerInfo":")" +
                        std::string(200, 'A') + R"("})";
            }
            json += R"(],"index":10,"lastAccessed":1700000000000,"hidden":false,"attributes":{},"image":null})";
        }
        json += R"(],"selected":30,"_closedTabs":[],"width":1280,"height":960,"screenX":4,"screenY":4})";
    }
    return json + R"(],"selectedWindow":20,"_closedWindows":[],"session":{"lastUpdate":1700000000000}})";
}

// `item` repeated in a list inside the selected entry, the JSON just at the cap.
std::string AtTheCap(const std::string& item) {
    const std::string head = R"({"windows":[{"tabs":[{"entries":[{"bulk":[)";
    const std::string tail = R"(0],"url":"http://worst/"}],"index":1}],"selected":1}],"selectedWindow":1})";
    std::string json = head;
    json.reserve(zvek::kMaxSessionBytes);
    while (json.size() + item.size() + 1 + tail.size() <= zvek::kMaxSessionBytes) json.append(item).append(",");
    json += tail;
    return json + std::string(zvek::kMaxSessionBytes - json.size(), ' ');
}

void Read(benchmark::State& state, const std::string& json, const char* expected) {
    const std::string file = MozLz4(json);
    for (auto _ : state) {
        const std::string url = zvek::SessionFilePage(file);
        if (url.rfind(expected, 0) != 0) throw std::runtime_error("wrong page: " + url);
        benchmark::DoNotOptimize(url);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
    state.counters["json_MB"] = static_cast<double>(json.size()) / 1e6;
    state.counters["file_KB"] = static_cast<double>(file.size()) / 1e3;
}

void BM_RealSession(benchmark::State& state) { Read(state, RealSession(), "https://lyrics.example/song.php?id=19299"); }
void BM_CapNumbers(benchmark::State& state) { Read(state, AtTheCap("0"), "http://worst/"); }
void BM_CapFloats(benchmark::State& state) { Read(state, AtTheCap("0.0"), "http://worst/"); }
void BM_CapNested(benchmark::State& state) {
    Read(state, AtTheCap("[[[[[[[[[[[[[[[[0]]]]]]]]]]]]]]]]"), "http://worst/");
}
void BM_CapEscapes(benchmark::State& state) { Read(state, AtTheCap(R"("\u6b4c\"\\")"), "http://worst/"); }
void BM_CapUtf8(benchmark::State& state) { Read(state, AtTheCap("\"\xE6\xAD\x8C\xE8\xA9\x9E\""), "http://worst/"); }

}  // namespace

BENCHMARK(BM_RealSession)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapNumbers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapFloats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapNested)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapEscapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapUtf8)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
