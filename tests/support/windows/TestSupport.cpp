// The Windows side of the test support: folders, the environment, and the
// code sets through the system's code pages.
#include "TestSupport.h"

#include <stdlib.h>

#include <atomic>
#include <cctype>
#include <stdexcept>
#include <string>

#include "platform/windows/Win32.h"
#include "platform/FsPath.h"
#include "platform/windows/WideText.h"

namespace zvek::test {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = L"zveklc-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(::GetTickCount64() % 100000) + L"-" + std::to_wstring(counter++);
        if (::CreateDirectoryW((base / name).c_str(), nullptr)) {
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

// The C library's copy of the environment is what the core reads (getenv);
// _putenv_s keeps the system's copy, which child processes get, in step.
ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::_putenv_s(name, value ? value->c_str() : "");
}

ScopedEnv::~ScopedEnv() { ::_putenv_s(name_, old_ ? old_->c_str() : ""); }

namespace {

// The code page of an iconv name; 0 for UTF-16 and UTF-32, converted here.
unsigned CodePage(const std::string& name) {
    if (name == "CP932" || name == "SHIFT_JIS") return 932;
    if (name == "EUC-JP") return 20932;
    if (name == "ISO-2022-JP") return 50220;
    if (name == "UTF-8") return CP_UTF8;
    if (name.starts_with("UTF-16") || name.starts_with("UTF-32")) return 0;
    throw std::runtime_error("no code page for " + name);
}

std::u32string Decode(const std::string& from, std::string_view text) {
    std::u32string out;
    if (const unsigned page = CodePage(from); page != 0) {
        // A code page with shift states takes no flags.
        const DWORD flags = page == 50220 ? 0 : MB_ERR_INVALID_CHARS;
        std::wstring wide(text.size(), L'\0');
        const int size = text.empty() ? 0
                                      : ::MultiByteToWideChar(page, flags, text.data(), static_cast<int>(text.size()),
                                                              wide.data(), static_cast<int>(wide.size()));
        if (size <= 0 && !text.empty()) throw std::runtime_error("cannot read " + from);
        for (int i = 0; i < size; ++i) {
            char32_t c = wide[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size) c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
            out += c;
        }
        return out;
    }
    const std::size_t unit = from.starts_with("UTF-32") ? 4 : 2;
    if (text.size() % unit) throw std::runtime_error("a partial character");
    for (std::size_t i = 0; i < text.size(); i += unit) {
        char32_t c = 0;
        for (std::size_t k = 0; k < unit; ++k)
            c |= char32_t{static_cast<unsigned char>(text[i + k])} << 8 * (from.ends_with("BE") ? unit - 1 - k : k);
        out += c;  // UTF-16 surrogates stay as they are: they are written back the same
    }
    return out;
}

std::string Encode(const std::string& to, const std::u32string& text) {
    std::wstring wide;
    for (const char32_t c : text) {
        if (c >= 0x10000) wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        wide += static_cast<wchar_t>(c >= 0x10000 ? 0xDC00 + ((c - 0x10000) & 0x3FF) : c);
    }
    std::string out;
    if (const unsigned page = CodePage(to); page != 0) {
        const bool table = page != CP_UTF8 && page != 50220;  // only these say what they could not write
        BOOL defaulted = FALSE;
        out.resize(wide.size() * 8);
        const int size =
            wide.empty() ? 0
                         : ::WideCharToMultiByte(page, table ? WC_NO_BEST_FIT_CHARS : 0, wide.data(),
                                                 static_cast<int>(wide.size()), out.data(),
                                                 static_cast<int>(out.size()), nullptr, table ? &defaulted : nullptr);
        if ((size <= 0 && !wide.empty()) || defaulted) throw std::runtime_error("cannot write " + to);
        out.resize(static_cast<std::size_t>(size));
        return out;
    }
    const std::size_t unit = to.starts_with("UTF-32") ? 4 : 2;
    for (const char32_t c : unit == 4 ? text : std::u32string(wide.begin(), wide.end()))
        for (std::size_t k = 0; k < unit; ++k)
            out += static_cast<char>(c >> 8 * (to.ends_with("BE") ? unit - 1 - k : k));
    return out;
}

}  // namespace

std::string Iconv(const char* to, const char* from, std::string_view text) {
    const auto upper = [](std::string name) {
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    };
    return Encode(upper(to), Decode(upper(from), text));
}

}  // namespace zvek::test
