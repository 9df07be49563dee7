// For the tests of both windows: the sample song in the forms they start
// from, what the core makes of a document (the expectations of the window's
// commands), and the command table as a listing of the window's controls.
#pragma once

#include <functional>
#include <string>

#include "TestSupport.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "tags/TagConversions.h"
#include "window/Controls.h"

namespace zvek::test {

inline constexpr const char* kSamplePage = ZVEKLC_SAMPLES "/sample.htm";

// What a window's host was asked and opened: each question or message,
// file dialog (title and filter) and browser address, one a line.
inline std::string Asked(const HostScript& script) {
    std::string out;
    for (const auto& m : script.messages) out += m.text + "\n";
    for (const FileDialog& d : script.dialogs) out += d.title + " " + std::to_string(d.filterIndex) + "\n";
    for (const auto& address : script.browsed) out += address + "\n";
    return out;
}

// What the core makes of `sjis` (named `fileName`) through `convert`.
struct CoreResult {
    std::string text;  // Shift-JIS, CR LF
    std::string fileName;
    bool modified, newFile;  // newFile: the undo history starts afresh
    std::string asked;
};
inline CoreResult RunCore(const std::string& sjis, const std::string& fileName,
                          const std::function<void(LyricsDocument&)>& convert, const std::string& dialogFile = {}) {
    FakeHost host;
    if (!dialogFile.empty()) host.dialogFiles.push_back(dialogFile);
    LyricsDocument doc(host);
    doc.SetText(sjis);
    doc.SetFileName(fileName);
    convert(doc);
    return {doc.Text(), doc.FileName(), doc.Modified, doc.TakeUndoRequest() == LyricsDocument::UndoRequest::NewFile,
            Asked(host)};
}

inline std::string SampleText() { return ReadBytes(ZVEKLC_SAMPLES "/sample.txt"); }
// The sample song as player lyrics, and as a tag file made from them
// against the sample page while the lyrics were named `name`.
inline std::string SampleLyrics() { return RunCore(SampleText(), "", ConvertTextToZVEK).text; }
inline std::string SampleTagFile(const std::string& name) {
    return RunCore(SampleLyrics(), name, [](LyricsDocument& d) { MakeTagFile(d, kSamplePage); }).text;
}
// A tag file that names its page: the URL= line goes into the header.
inline std::string WithUrl(const std::string& tagFile, const std::string& url) {
    return "[TagLyr]\r\nURL=" + url + "\r\n" + tagFile.substr(tagFile.find('\n') + 1);
}

// Every menu bar menu with its caption; every menu in order, each item with
// its name, caption, hint and shortcut; the tool bar's buttons with their
// hints, cursors and drop-down menus.
inline std::string TableListing() {
    std::string out;
    const auto row = [&](std::vector<std::string> fields) {
        while (fields.back().empty()) fields.pop_back();
        for (const auto& field : fields) out += (&field == &fields.front() ? "  " : " | ") + field;
        out += "\n";
    };
    for (const Menu& m : Menus())
        if (m.place == MenuPlace::MenuBar) out += std::string(m.name) + " " + m.caption + "\n";
    for (const Menu& m : Menus()) {
        out += std::string(m.name) + "\n";
        for (const MenuItem& i : m.items) i.name ? row({i.name, i.caption, i.hint, i.shortcut}) : void(out += "  -\n");
    }
    out += std::string(kToolBarName) + "\n";
    const char* modes[] = {"", "menu button", "instant"};
    for (const ToolButton& b : ToolBar())
        b.name ? row({b.name, b.hint, *b.hint ? "hand" : "arrow",
                      b.menu ? std::string(b.menu) + " " + modes[static_cast<int>(b.mode)] : ""})
               : void(out += "  -\n");
    return out;
}

}  // namespace zvek::test
