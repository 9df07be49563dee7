// The arguments of a Windows program arrive as UTF-16; the core takes its
// file names as UTF-8, which holds every name the system allows.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliMain.h"
#include "platform/windows/WideText.h"

// No wildcard expansion by the C run-time: a "*" reaches the program as it
// was typed, as from a POSIX shell in quotes.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** argv) {
    // Bytes in and out as on Linux: no CR LF translation, no end at Ctrl+Z.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(zvek::Narrow(argv[i]));
    return zvek::CliMain(std::vector<std::string_view>(args.begin(), args.end()));
}
