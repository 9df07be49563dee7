// Desktop entries and browser addresses on hostile input. The first line is
// the address, the rest a desktop entry whose Exec line (or, without one,
// the rest itself) is turned into the browser's command for that address.
// The gate's output holds nothing a shell acts on and passes the gate again
// unchanged; a refused address builds no command; and an accepted one only
// ever stands as a whole argument: the command is the one a plain address
// gives, with that address in the same places.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DesktopEntry.h"
#include "platform/ShowInBrowser.h"

namespace {

constexpr std::string_view kShellBytes = "$`\\\"';|<>(){}[]*!^";
const std::string kPlain = "http://plain.invalid/";

// Brackets stand only around an IPv6 host.
bool SafeForShell(std::string_view address) {
    if (!address.starts_with("http://") && !address.starts_with("https://")) return false;
    const std::size_t path = address.find_first_of("/?#", address.find("//") + 2);
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        const bool bracket = c == '[' || c == ']';
        if (c <= ' ' || c >= '\x7f' || (kShellBytes.find(c) != std::string_view::npos && (i >= path || !bracket)))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    const std::string_view url = input.substr(0, cut);
    const std::string_view text = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

    const auto address = zvek::BrowserAddress(url);
    if (address && (!SafeForShell(*address) || zvek::BrowserAddress(*address) != address)) std::abort();

    const zvek::DesktopEntryFile file = zvek::ParseDesktopEntry(text);
    const std::string* exec = file.Find("Exec");
    const std::string_view line = exec ? std::string_view(*exec) : text;
    const std::vector<std::string> command = zvek::BrowserCommand(line, url);
    if (!address) {
        if (!command.empty()) std::abort();
        return 0;
    }
    const std::vector<std::string> plain = zvek::BrowserCommand(line, kPlain);
    if (command.size() != plain.size()) std::abort();
    for (std::size_t i = 0; i < command.size(); ++i)
        if (command[i] != plain[i] && (command[i] != *address || plain[i] != kPlain)) std::abort();
    if (!command.empty() && std::find(command.begin(), command.end(), *address) == command.end()) std::abort();
    return 0;
}
