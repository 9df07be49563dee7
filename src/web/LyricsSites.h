// What the program relies on from the two lyrics sites and the maker's home
// page: host names, paths, query keys and the text of the sites' busy page.
//
// The host names are build configuration (CMake cache variables of the same
// names) and can be replaced at run time through the environment variables
// ZVEKLC_UTANET_HOST, ZVEKLC_UTAMAP_HOST and ZVEKLC_HOME_HOST, for example to
// point the program at a local copy ("127.0.0.1:8080"). The environment is
// read on every call, so a change takes effect at once.
#pragma once

#include <string>
#include <string_view>

namespace zvek {

std::string UtaNetHost();
std::string UtaMapHost();
std::string HomeHost();

// The sites are reached over plain http.
inline constexpr std::string_view kSiteScheme = "http://";
// "http://" + host + path.
std::string SiteAddress(std::string_view host, std::string_view path);

// Every site's top page.
inline constexpr std::string_view kTopPagePath = "/";

// A UtaNet lyrics page answers under one of two paths; the one that
// answers 200 is the one to use.
inline constexpr std::string_view kUtaNetPagePath = "/phplib/";
inline constexpr std::string_view kUtaNetMembersPagePath = "/members/phplib/";
// `url` with its first "//" + UtaNet host + "/phplib/" turned into the
// "/members/phplib/" path; empty when `url` holds no such page address.
std::string UtaNetMembersAddress(std::string_view url);

// UtaNet search: the path ends with "MA_select_ga=", to which the field
// number is appended; the keyword (EUC-JP, percent-encoded) and the mode
// follow under their own keys.
inline constexpr std::string_view kUtaNetSearchPath =
    "/members/phplib/maphp001.php3?cursession=index2&curuserid=pageone&MA_select_ga=";
inline constexpr std::string_view kUtaNetKeyKeyword = "MA_text1_de";
inline constexpr std::string_view kUtaNetKeyField = "MA_select_kasio";
inline constexpr std::string_view kUtaNetKeyMode = "MA_sousa";

// UtaMap search: "/search.php?" with the field, the keyword and the action.
inline constexpr std::string_view kUtaMapSearchPath = "/search.php?";
inline constexpr std::string_view kUtaMapKeyField = "searchname";
inline constexpr std::string_view kUtaMapFieldTitle = "srtitle";
inline constexpr std::string_view kUtaMapFieldArtist = "srartist";
inline constexpr std::string_view kUtaMapKeyKeyword = "inputvalue";
inline constexpr std::string_view kUtaMapKeyAct = "act";
inline constexpr std::string_view kUtaMapActSearch = "search";

// "大変混み合っております" in Shift-JIS: a page whose text holds it is the
// page a site sends when it is overloaded.
inline constexpr std::string_view kSiteBusyText{
    "\x91\xe5\x95\xcf\x8d\xac\x82\xdd\x8d\x87\x82\xc1\x82\xc4\x82\xa8\x82\xe8\x82\xdc\x82\xb7", 22};

}  // namespace zvek
