#include "web/LyricsSites.h"

#include <cstdlib>

#include "text/Sjis.h"

// The build configuration names the hosts (CMake cache variables).
#if !defined(ZVEKLC_UTANET_HOST) || !defined(ZVEKLC_UTAMAP_HOST) || !defined(ZVEKLC_HOME_HOST)
#error "ZVEKLC_UTANET_HOST, ZVEKLC_UTAMAP_HOST and ZVEKLC_HOME_HOST come from the build configuration"
#endif

namespace zvek {

namespace {

std::string HostSetting(const char* variable, const char* built) {
    const char* value = std::getenv(variable);
    return (value && *value) ? value : built;
}

}  // namespace

std::string UtaNetHost() { return HostSetting("ZVEKLC_UTANET_HOST", ZVEKLC_UTANET_HOST); }
std::string UtaMapHost() { return HostSetting("ZVEKLC_UTAMAP_HOST", ZVEKLC_UTAMAP_HOST); }
std::string HomeHost() { return HostSetting("ZVEKLC_HOME_HOST", ZVEKLC_HOME_HOST); }

std::string UtaNetMembersAddress(std::string_view url) {
    const std::string host = UtaNetHost();
    const std::string page = "//" + host + std::string(kUtaNetPagePath);
    const std::size_t at = FindText(url, page);
    if (at == std::string_view::npos) return {};
    std::string members(url);
    members.replace(at, page.size(), "//" + host + std::string(kUtaNetMembersPagePath));
    return members;
}

std::string SiteAddress(std::string_view host, std::string_view path) {
    std::string address(kSiteScheme);
    address += host;
    address += path;
    return address;
}

}  // namespace zvek
