// The window's settings file on hostile input: whatever it holds, the
// settings read from it are written back into it so that reading the
// result gives the same settings, and the file grows by no more than one
// line break per line and the section itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "window/Settings.h"

namespace {

bool Same(const zvek::WindowSettings& a, const zvek::WindowSettings& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height && a.openDir == b.openDir &&
           a.saveDir == b.saveDir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const zvek::WindowSettings read = zvek::SettingsFromIni(text);
    const std::string written = zvek::IniWithSettings(text, read);
    if (!Same(zvek::SettingsFromIni(written), read)) std::abort();
    if (written.size() > 2 * size + 200 + read.openDir.size() + read.saveDir.size()) std::abort();
    // Written again, the file stays as it is.
    if (zvek::IniWithSettings(written, read) != written) std::abort();
    return 0;
}
