#include "cli/ConsoleHost.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Console.h"
#include "platform/Files.h"

namespace zvek {

namespace {

// The length of the well-formed UTF-8 character at the start of `s`, or 0.
std::size_t Utf8Length(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, c = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, c = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, c = lead & 0x07;
    else return 0;
    if (s.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    const bool invalid = c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF);
    return overlong || invalid ? 0 : length;
}

// Whether anything went to standard output, whose closing then has to be
// checked too.
bool stdoutWritten = false;

bool ReportStdoutError(int error) {
    const std::string text = std::string("標準出力に書き込めません（") + std::strerror(error) + "）\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return false;
}

}  // namespace

bool WriteStdout(std::string_view bytes) {
    stdoutWritten = true;
    if (WriteTerminalText(STDOUT_FILENO, bytes)) return true;
    const int error = WriteAll(STDOUT_FILENO, bytes);
    return error == 0 || ReportStdoutError(error);
}

bool CloseStdout() {
    if (!stdoutWritten || ::close(STDOUT_FILENO) == 0 || errno == EINTR) return true;
    return ReportStdoutError(errno);
}

std::string EscapeForTerminal(std::string_view text, bool oneLine) {
    std::string out;
    out.reserve(text.size() + 1);
    const auto escape = [&](unsigned char byte) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // Message texts break lines with CR LF; a terminal wants LF.
        if (!oneLine && byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (!oneLine && byte == '\n') {
            out.push_back('\n');
            ++i;
            continue;
        }
        // Paths and addresses come from files that anybody may have written;
        // a terminal would obey the controls in them (set its title, clear
        // the screen), C1 ones included, and a stray byte may start one.
        const std::size_t length = Utf8Length(text.substr(i));
        const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || byte < 0x20 || byte == 0x7F || c1) {
            for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k)
                escape(static_cast<unsigned char>(text[i + k]));
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

void ConsoleHost::Print(std::string_view text) const {
    std::string out = EscapeForTerminal(text);
    out.push_back('\n');
    if (WriteTerminalText(STDERR_FILENO, out)) return;
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

MsgResult ConsoleHost::MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    if (!quiet_ || kind == MsgKind::Error || kind == MsgKind::Warning) Print(text);
    return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
}

void ConsoleHost::SetStatusText(std::string_view text) {
    if (quiet_ || text.empty() || text == lastStatus_) return;
    lastStatus_ = text;
    Print(text);
}

}  // namespace zvek
