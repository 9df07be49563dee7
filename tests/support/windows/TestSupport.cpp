// The Windows side of the test support: folders, the environment, and the
// code sets through the system's code pages.
#include "TestSupport.h"

#include <stdlib.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "platform/FsPath.h"
#include "platform/windows/WideText.h"
#include "platform/windows/Win32.h"

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

std::string Upper(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

// The code page of an iconv name; 0 for the Unicode forms converted here.
unsigned CodePage(const std::string& name) {
    if (name == "CP932" || name == "SHIFT_JIS" || name == "SJIS") return 932;
    if (name == "EUC-JP") return 20932;
    if (name == "ISO-2022-JP") return 50220;
    if (name == "UTF-8") return CP_UTF8;
    if (name == "UTF-16LE" || name == "UTF-16BE" || name == "UTF-32LE" || name == "UTF-32BE") return 0;
    throw std::runtime_error("no code page for " + name);
}

// The text as UTF-16 from `from`.
std::wstring Decode(const std::string& from, std::string_view text) {
    const unsigned page = CodePage(from);
    std::wstring out;
    if (page == 0) {
        const std::size_t unit = from.starts_with("UTF-32") ? 4 : 2;
        const bool big = from.ends_with("BE");
        if (text.size() % unit) throw std::runtime_error("a partial character");
        for (std::size_t i = 0; i < text.size(); i += unit) {
            char32_t c = 0;
            for (std::size_t k = 0; k < unit; ++k)
                c |= char32_t{static_cast<unsigned char>(text[i + k])} << 8 * (big ? unit - 1 - k : k);
            if (c >= 0x10000) {
                out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
                c = 0xDC00 + ((c - 0x10000) & 0x3FF);
            }
            out += static_cast<wchar_t>(c);
        }
        return out;
    }
    if (text.empty()) return out;
    // A code page with shift states takes no flags.
    const DWORD flags = page == 50220 ? 0 : MB_ERR_INVALID_CHARS;
    const int size = ::MultiByteToWideChar(page, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) throw std::runtime_error("cannot read " + from);
    out.resize(static_cast<std::size_t>(size));
    ::MultiByteToWideChar(page, flags, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::string Encode(const std::string& to, std::wstring_view text) {
    const unsigned page = CodePage(to);
    std::string out;
    if (page == 0) {
        const std::size_t unit = to.starts_with("UTF-32") ? 4 : 2;
        const bool big = to.ends_with("BE");
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (unit == 4 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            for (std::size_t k = 0; k < unit; ++k) out += static_cast<char>(c >> 8 * (big ? unit - 1 - k : k));
        }
        return out;
    }
    if (text.empty()) return out;
    const bool tableOnly = page != CP_UTF8 && page != 50220;
    BOOL defaulted = FALSE;
    const int size = ::WideCharToMultiByte(page, tableOnly ? WC_NO_BEST_FIT_CHARS : 0, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr,
                                           tableOnly ? &defaulted : nullptr);
    if (size <= 0 || defaulted) throw std::runtime_error("cannot write " + to);
    out.resize(static_cast<std::size_t>(size));
    ::WideCharToMultiByte(page, tableOnly ? WC_NO_BEST_FIT_CHARS : 0, text.data(), static_cast<int>(text.size()),
                          out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace

std::string Iconv(const char* to, const char* from, std::string_view text) {
    return Encode(Upper(to), Decode(Upper(from), text));
}

}  // namespace zvek::test
