// Writes back its arguments as CommandLineToArgvW splits the command line,
// each in UTF-8 and ended by a NUL byte; "--exit=N" first makes it end with
// status N.
#include <string>

#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"

#include <shellapi.h>

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return 100;
    int first = 1, status = 0;
    if (argc > 1 && std::wstring_view(argv[1]).starts_with(L"--exit=")) status = std::stoi(argv[first++] + 7);
    std::string out;
    for (int i = first; i < argc; ++i) out += zvek::Narrow(argv[i]) + '\0';
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    return written == out.size() ? status : 100;
}
