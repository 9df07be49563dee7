// The page a command reads beside its document: the reference of a tag
// conversion, the page the browser shows. It is found or fetched once, and
// read once, into one value that the command hands on; nothing downstream
// asks again whether it is a web page, whether it exists or how to decode it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zvek {

class LyricsDocument;

// How a web address is fetched.
enum class Fetch : std::uint8_t {
    // Without a word on the status line, the window painting meanwhile; a
    // UtaNet page that does not come is tried at its members address, and a
    // failure is reported with its reason (the tag maker).
    Quiet,
    // With the address and the progress on the status line (FetchPage, which
    // reports a failure itself). The command keeps the status line, so it is
    // cleared before a missing file is reported.
    Shown,
};

// What is made of the bytes.
enum class PageReading : std::uint8_t {
    Bytes,          // nothing: the bytes as they came
    Text,           // the text; a saved page's address from its "saved from" comment
    TextAndSource,  // the text and a page's Shift_JIS source
};

struct ReferencePage {
    bool web = false;     // downloaded; always read as a page
    bool page = false;    // read as an HTML page: downloaded, or a .htm/.html file
    std::string path;     // the local file, read by ReadReferencePage
    std::string address;  // the address that gave the page, or the one a saved page names
    std::string bytes;    // given up once the text is made
    std::string text;     // a page's text, or a text file's lines, each followed by CR LF
    std::string source;   // a page's source in Shift_JIS, each line followed by CR LF
};

// Finds the file `reference`, or with `web` downloads the address into
// memory (through a file of the private temporary folder, removed at once).
// Nothing after a failure, already reported, with the document's ResultCode
// set: 12 for a page that did not come, 2 for a missing file.
std::optional<ReferencePage> OpenReferencePage(LyricsDocument& doc, const std::string& reference, bool web,
                                               Fetch fetch);

// Reads a local file's bytes (no more than a download may bring: a larger
// one throws FileError, as does one that cannot be read) and makes `what`
// of them. A text file's UTF-8 and UTF-16 are read as such.
void ReadReferencePage(ReferencePage& page, PageReading what);

}  // namespace zvek
