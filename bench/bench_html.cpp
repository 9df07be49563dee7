// Page text of a large generated lyrics page (10 MB in Shift_JIS) in each
// input code set, in MB/s of input, by both routes: LoadTokens + PageText
// (the tag conversions) and LoadHtmlFile (opening a page in the editor).
//
// Budget: at least 150 MB/s for Shift_JIS input (LoadTokens + PageText), and
// EUC-JP input at least as fast as iconv converting the same file from EUC-JP
// to CP932. The EUC-JP runs report how many times faster they are than the
// iconv program run on the file ("x_iconv_prog") and than glibc iconv(3)
// converting the bytes already in memory into a buffer made beforehand
// ("x_iconv3"); above 1 is faster.
//
// Freed memory is kept in the process (see main): repeated runs then time the
// converter rather than the first touch of fresh pages, which on some virtual
// machines costs more than the work itself. ZVEKLC_BENCH_FRESH_HEAP=1 runs
// with the C library's default behaviour instead.
#include <benchmark/benchmark.h>

#include <iconv.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "web/Html.h"

namespace {

using zvek::hlvHtml;
using zvek::TokenList;

constexpr std::size_t kPageSize = 10 * 1024 * 1024;

// `text` converted with iconv(3) into `out`, which must be large enough;
// throws when a character does not convert. Returns the size written.
std::size_t IconvInto(const std::string& text, std::string& out, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* o = out.data();
    std::size_t outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) throw std::runtime_error(std::string("iconv to ") + to);
    return out.size() - outLeft;
}

std::string Iconv(const std::string& text, const char* to, const char* from) {
    std::string out(text.size() * 2 + 64, '\0');
    out.resize(IconvInto(text, out, to, from));
    return out;
}

// A lyrics site's page (UTF-8, with a charset placeholder):
// mostly Japanese lines between <br> tags, some table rows, list items and
// comments, CR LF line ends.
std::string GeneratePage(bool withMeta) {
    std::string page = "<html>\r\n<head>\r\n";
    if (withMeta) page += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=@\">\r\n";
    page += "<title>歌詞検索 - 春の歌</title>\r\n</head>\r\n<body bgcolor=\"#FFFFFF\">\r\n";
    const std::string block =
        "<table width=\"100%\" border=\"0\"><tr><td class=\"title\">春の風　作詞：山田太郎</td></tr></table>\r\n"
        "<!-- 歌詞ここから -->\r\n"
        "<p>春の風が吹いて　君の名前を呼んだ<br>\r\n"
        "夜空に光る星たちよ、どうか届けてこの想い<br>\r\n"
        "<b>ラララ</b> 遠い街まで歩いていこう &amp; 歌おう<br>\r\n"
        "窓を開ければ聞こえてくる　あの日の約束と笑い声<br></p>\r\n"
        "<ul><li>カラオケ配信中<li type=\"square\">着うた配信中</ul>\r\n"
        "<blockquote>いつまでも忘れないで、二人で見た海の色を</blockquote>\r\n"
        "<ol><li>春の風<li>夏の空</ol>\r\n";
    // Sized to 10 MB in Shift_JIS; the other code sets come out a little longer.
    const std::size_t repeats = kPageSize / Iconv(block, "CP932", "UTF-8").size();
    for (std::size_t i = 0; i < repeats; ++i) page += block;
    page += "</body>\r\n</html>\r\n";
    return page;
}

struct Page {
    std::string path;
    std::string bytes;
};

// Writes each page once into a private temporary folder, removed at exit.
class Pages {
public:
    Pages() {
        std::string templ = (std::filesystem::temp_directory_path() / "zveklc-bench-XXXXXX").string();
        if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp");
        dir_ = templ;
        const std::string withMeta = GeneratePage(true), bare = GeneratePage(false);
        Add("sjis", Iconv(Label(withMeta, "Shift_JIS"), "CP932", "UTF-8"));
        Add("euc", Iconv(Label(withMeta, "EUC-JP"), "EUC-JP", "UTF-8"));
        Add("euc-nometa", Iconv(bare, "EUC-JP", "UTF-8"));
        Add("jis", Iconv(Label(withMeta, "ISO-2022-JP"), "ISO-2022-JP", "UTF-8"));
        Add("utf8", Label(withMeta, "UTF-8"));
    }
    ~Pages() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const Page& operator[](const std::string& name) const { return pages_.at(name); }

private:
    static std::string Label(std::string page, const char* charset) {
        return page.replace(page.find("charset=@") + 8, 1, charset);
    }
    void Add(const std::string& name, std::string bytes) {
        Page page{(dir_ / (name + ".html")).string(), std::move(bytes)};
        std::ofstream(page.path, std::ios::binary)
            .write(page.bytes.data(), static_cast<std::streamsize>(page.bytes.size()));
        pages_[name] = std::move(page);
    }
    std::filesystem::path dir_;
    std::map<std::string, Page> pages_;
};

const Pages& AllPages() {
    static const Pages pages;
    return pages;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// iconv(3) alone: the output buffer is made and touched beforehand.
double SecondsOfIconv3(const std::string& bytes) {
    std::string out(bytes.size() + 64, '\0');
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(IconvInto(bytes, out, "CP932", "EUC-JP"));
    return Seconds(start);
}

extern "C" char** environ;

// The iconv program converting the file into another file beside it.
double SecondsOfIconvProgram(const std::string& path) {
    const std::string out = path + ".out";
    const char* argv[] = {"iconv", "-f", "EUC-JP", "-t", "CP932", "-o", out.c_str(), path.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "iconv", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        throw std::runtime_error("cannot run iconv");
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("iconv failed");
    std::filesystem::remove(out);
    return seconds;
}

// Times `run` on the page `name` in wall-clock time. For EUC-JP each run is
// followed (outside the timing) by iconv(3) and the iconv program on the same
// page, and the counters give the ratios of the summed times: runs side by
// side stay comparable on a machine whose speed drifts.
template <class Run>
void Measure(benchmark::State& state, const std::string& name, Run run) {
    const Page& page = AllPages()[name];
    const bool compare = name.rfind("euc", 0) == 0;
    double ours = 0, inMemory = 0, program = 0;
    std::size_t lines = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        lines = run(page);
        ours += Seconds(start);
        if (compare) {
            state.PauseTiming();
            inMemory += SecondsOfIconv3(page.bytes);
            program += SecondsOfIconvProgram(page.path);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.bytes.size()));
    state.counters["lines"] = static_cast<double>(lines);
    if (compare) {
        state.counters["x_iconv3"] = inMemory / ours;
        state.counters["x_iconv_prog"] = program / ours;
    }
}

// The tag conversions' path: a token list, then the page text.
void BM_LoadTokensPageText(benchmark::State& state, const std::string& name) {
    Measure(state, name, [](const Page& page) {
        hlvHtml html;
        TokenList tokens;
        html.LoadTokens(page.path, tokens);
        return hlvHtml::PageText(tokens).size();
    });
}

// The editor's path: opening a .html file.
void BM_LoadHtmlFile(benchmark::State& state, const std::string& name) {
    Measure(state, name, [](const Page& page) { return zvek::LoadHtmlFile(page.path).size(); });
}

void BM_Iconv3EucJp(benchmark::State& state) {
    const Page& page = AllPages()["euc"];
    std::string out(page.bytes.size() + 64, '\0');
    for (auto _ : state) benchmark::DoNotOptimize(IconvInto(page.bytes, out, "CP932", "EUC-JP"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.bytes.size()));
}

void BM_IconvProgramEucJp(benchmark::State& state) {
    const Page& page = AllPages()["euc"];
    for (auto _ : state) SecondsOfIconvProgram(page.path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.bytes.size()));
}

void BM_SourceLines(benchmark::State& state) {
    const Page& page = AllPages()["sjis"];
    hlvHtml html;
    TokenList tokens;
    html.LoadTokensFromBytes(page.bytes, tokens);
    for (auto _ : state) benchmark::DoNotOptimize(hlvHtml::SourceLines(tokens));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.bytes.size()));
}

}  // namespace

BENCHMARK(BM_Iconv3EucJp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IconvProgramEucJp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadTokensPageText, ShiftJis, std::string("sjis"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadTokensPageText, EucJp, std::string("euc"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadTokensPageText, EucJpNoMeta, std::string("euc-nometa"))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadTokensPageText, Iso2022Jp, std::string("jis"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadTokensPageText, Utf8, std::string("utf8"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHtmlFile, ShiftJis, std::string("sjis"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHtmlFile, EucJp, std::string("euc"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHtmlFile, EucJpNoMeta, std::string("euc-nometa"))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHtmlFile, Iso2022Jp, std::string("jis"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadHtmlFile, Utf8, std::string("utf8"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SourceLines)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (!std::getenv("ZVEKLC_BENCH_FRESH_HEAP")) {
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
