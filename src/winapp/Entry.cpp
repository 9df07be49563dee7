// The Windows program's entry: one window, run until it closes.
#include "platform/windows/Win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/SettingsLocation.h"
#include "platform/Version.h"
#include "platform/windows/WideText.h"
#include "text/Codec.h"
#include "winapp/MainW.h"
#include "window/Usage.h"

namespace {

std::string ProgramPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return zvek::Narrow(path);
}

// A program without a console of its own answers where it was started
// from: into a pipe or file it was given, else the console of the program
// that started it, else a message box.
int Answer(const std::string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (out && out != INVALID_HANDLE_VALUE && !GetConsoleMode(out, &mode))
        return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size()
                   ? 0
                   : 1;
    const std::wstring wide = zvek::Wide(text);
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        const bool ok = console != INVALID_HANDLE_VALUE &&
                        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        return ok ? 0 : 1;
    }
    MessageBoxW(nullptr, wide.c_str(), L"ZVEK Lyrics Converter", MB_OK | MB_ICONINFORMATION);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) arguments.push_back(zvek::Narrow(wide[i]));
    LocalFree(wide);
    // --help and --version are answered before any window exists. Every
    // other argument starting with "-" is ignored, as the program has always done.
    for (const std::string& arg : arguments) {
        if (arg == "--help") return Answer(std::string(zvek::kWindowUsage));
        if (arg == "--version") return Answer(std::string("zveklc ") + zvek::kVersionText + "\n");
    }
    // The editor needs the character tables for its first text; they are
    // built on the second core while the window is set up.
    std::thread codec(zvek::PrepareCodec);
    struct Join {
        std::thread& thread;
        ~Join() { thread.join(); }
    } join{codec};
    // The file dialogs and the shell want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 1;
    try {
        const std::string program = ProgramPath();
        zvek::FormMainW form(std::move(arguments), zvek::WindowSettingsPath(zvek::ExtractFileDir(program)), program);
        form.QuitOnDestroy();
        ShowWindow(form.Handle(), show);
        UpdateWindow(form.Handle());
        status = form.RunLoop();
    } catch (const std::exception& e) {
        MessageBoxW(nullptr, zvek::Wide(e.what()).c_str(), L"ZVEK Lyrics Converter", MB_OK | MB_ICONERROR);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
