#include "web/SearchAddresses.h"

#include "web/Code.h"
#include "web/LyricsSites.h"

namespace zvek {

namespace {

// UtaNet's fixed query values are EUC-JP text, percent-encoded:
// 曲名 (song title), 歌手名 (singer name), が含まれる (contains), 検索 (search).
constexpr std::string_view kUtaNetFieldTitle = "%B6%CA%CC%BE";
constexpr std::string_view kUtaNetFieldArtist = "%B2%CE%BC%EA%CC%BE";
constexpr std::string_view kUtaNetContains = "%A4%AC%B4%DE%A4%DE%A4%EC%A4%EB";
constexpr std::string_view kUtaNetSearch = "%B8%A1%BA%F7";

void AppendEscaped(std::string& out, unsigned char byte) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::string UtaMapSearchAddress(std::string_view keywordSjis, SearchField field) {
    std::string path(kUtaMapSearchPath);
    path += kUtaMapKeyField;
    path += '=';
    path += field == SearchField::Artist ? kUtaMapFieldArtist : kUtaMapFieldTitle;
    path += '&';
    path += kUtaMapKeyKeyword;
    path += '=';
    // Byte by byte: the site reads the keyword as Shift-JIS, and a trail
    // byte may well be "&", "=" or "%".
    for (const char c : keywordSjis) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') path.push_back('+');
        else if (IsUnreserved(byte)) path.push_back(c);
        else AppendEscaped(path, byte);
    }
    path += '&';
    path += kUtaMapKeyAct;
    path += '=';
    path += kUtaMapActSearch;
    return SiteAddress(UtaMapHost(), path);
}

std::string UtaNetSearchAddress(std::string_view keywordSjis, SearchField field) {
    std::string path(kUtaNetSearchPath);
    path += field == SearchField::Artist ? kUtaNetFieldArtist : kUtaNetFieldTitle;
    path += '&';
    path += kUtaNetKeyKeyword;
    path += '=';
    for (const char c : SjisToEucString(keywordSjis)) AppendEscaped(path, static_cast<unsigned char>(c));
    path += '&';
    path += kUtaNetKeyField;
    path += '=';
    path += kUtaNetContains;
    path += '&';
    path += kUtaNetKeyMode;
    path += '=';
    path += kUtaNetSearch;
    return SiteAddress(UtaNetHost(), path);
}

}  // namespace zvek
