// What the window adds to a conversion: copying the editor's text into the
// document and the result back (the editor offscreen), against the same
// conversion on the document alone. A 10,000-line lyrics text, converted
// with Text->ZVEK, which changes every line and clears the undo history;
// and 200,000 lines of player lyrics made into a tag file against a page
// that holds their words, where the window also shows its progress.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <fstream>

#include "../NullHost.h"
#include "../TextLines.h"
#include "app/LyricsEdit.h"
#include "app/Main.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "tags/TagConversions.h"
#include "window/EditorAdapter.h"

namespace {

using namespace zvek;

void BM_ConversionAlone(benchmark::State& state) {
    const auto lines = bench::TextLines(static_cast<std::size_t>(state.range(0)));
    bench::NullHost host;
    LyricsDocument doc(host);
    for (auto _ : state) {
        doc.SetLines(lines);
        ConvertTextToZVEK(doc);
        benchmark::DoNotOptimize(doc.Lines().data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The command as the user starts it: the menu item, with the editor's text
// going in and the result coming back.
void BM_ConversionInTheWindow(benchmark::State& state) {
    const std::u16string text = EditorText(bench::TextLines(static_cast<std::size_t>(state.range(0))));
    TFormMain form({}, QString());
    QAction* command = form.findChild<QAction*>(QStringLiteral("MenuTextToZVEK"));
    for (auto _ : state) {
        state.PauseTiming();
        form.Editor().SetText(text, true);
        state.ResumeTiming();
        command->trigger();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The adapter's own part: editor -> document and document -> editor.
void BM_AdapterLoadAndStore(benchmark::State& state) {
    const auto lines = bench::TextLines(static_cast<std::size_t>(state.range(0)));
    const std::u16string text = EditorText(lines);
    bench::NullHost host;
    LyricsDocument doc(host);
    LyricsEdit edit;
    EditorAdapter adapter(edit, doc);
    for (auto _ : state) {
        state.PauseTiming();
        edit.SetText(text, true);
        state.ResumeTiming();
        adapter.Load();
        state.PauseTiming();
        ConvertTextToZVEK(doc);
        state.ResumeTiming();
        adapter.Store();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Player lyrics of `count` lines, and a page beside them that holds their words.
struct TagCase {
    QTemporaryDir dir;
    std::string page = dir.filePath(QStringLiteral("page.htm")).toStdString();
    std::vector<std::string> lyrics{"[Spec]", "[Text]"};

    explicit TagCase(std::size_t count) {
        const auto words = bench::TextLines(count);
        std::ofstream html(page, std::ios::binary);
        html << "<html><body>\n";
        for (std::size_t i = 0; i < words.size(); ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "%02zu:%02zu:000=", i / 60 % 100, i % 60);
            lyrics.push_back(time + words[i]);
            if (i < 5) html << words[i] << "<br>\n";
        }
        html << "</body></html>\n";
    }
};

void BM_TagFileAlone(benchmark::State& state) {
    const TagCase input(static_cast<std::size_t>(state.range(0)));
    bench::NullHost host;
    LyricsDocument doc(host);
    for (auto _ : state) {
        doc.SetLines(input.lyrics);
        doc.SetFileName("song.lyr");
        MakeTagFile(doc, input.page);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// ZVEK->Tag from its menu item, the page chosen in the dialog (scripted).
void BM_TagFileInTheWindow(benchmark::State& state) {
    const TagCase input(static_cast<std::size_t>(state.range(0)));
    const std::u16string text = EditorText(input.lyrics);
    TFormMain form({}, QString());
    form.show();
    HostScript script;
    form.Host().SetScript(&script);
    QAction* command = form.findChild<QAction*>(QStringLiteral("MenuZVEKToTag"));
    for (auto _ : state) {
        state.PauseTiming();
        form.Editor().SetText(text, true);
        form.Document().SetFileName("song.lyr");
        script.dialogFiles = {input.page};
        state.ResumeTiming();
        command->trigger();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_TagFileAlone)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagFileInTheWindow)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConversionAlone)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConversionInTheWindow)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdapterLoadAndStore)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
