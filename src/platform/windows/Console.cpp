#include "platform/Console.h"

#include <io.h>

#include <algorithm>

#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"

namespace zvek {

namespace {

HANDLE ConsoleOf(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

}  // namespace

bool IsTerminal(int fd) { return ConsoleOf(fd) != nullptr; }

bool WriteTerminalText(int fd, std::string_view utf8) {
    HANDLE console = ConsoleOf(fd);
    if (!console || !IsUtf8(utf8)) return false;
    const std::wstring text = Wide(utf8);
    // Older consoles refuse single writes much above 64 KiB.
    for (std::size_t done = 0; done < text.size();) {
        DWORD size = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
        // A pair of surrogates goes out in one piece.
        if (size > 1 && text[done + size - 1] >= 0xD800 && text[done + size - 1] <= 0xDBFF) --size;
        DWORD written = 0;
        // Once part of it is shown, the bytes must not follow it.
        if (!::WriteConsoleW(console, text.data() + done, size, &written, nullptr) || written == 0) return done > 0;
        done += written;
    }
    return true;
}

}  // namespace zvek
