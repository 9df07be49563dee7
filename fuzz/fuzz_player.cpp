// Wine's registry files, the player's path in a registry value and the
// player's settings file on hostile input: the registry reader must give a
// value or nothing, the path a drive path or nothing, and writing our tool
// entry into any settings file must leave it so that the player reads back
// exactly what we wrote, and the entry is still ours after writing it again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Player.h"
#include "platform/WineRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zvek::RegistryDefaultValues(
        text, {"software\\microsoft\\windows\\currentversion\\app paths\\zvek.exe", "software\\halde\\zvek"});

    // A registry value naming the player: a drive path within it, or nothing.
    if (const auto path = zvek::PlayerDrivePath(text); path && (path->size() < 3 || (*path)[1] != ':')) std::abort();

    const std::string name = zvek::kPlayerToolName, value = "\"Z:\\opt\\zveklc\" /ZVEK";
    zvek::PlayerToolValue(text, name);
    const auto written = zvek::WithPlayerTool(std::string(text), name, value);
    if (!written || zvek::PlayerToolValue(*written, name) != value) std::abort();
    const auto again = zvek::WithPlayerTool(*written, name, "v2");
    if (!again || zvek::PlayerToolValue(*again, name) != "v2") std::abort();
    return 0;
}
