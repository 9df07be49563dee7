// The search addresses of the two lyrics sites. The program never reads the
// results; the user's browser shows them.
//
// Keywords come in as Shift-JIS bytes. Both addresses are plain ASCII: every
// byte of the keyword that could break the query is percent-encoded.
#pragma once

#include <string>
#include <string_view>

namespace zvek {

enum class SearchField { Title = 0, Artist = 1 };

// UtaMap takes the Shift-JIS keyword itself: spaces become "+", ASCII
// letters, digits and "-._~" stay, every other byte becomes "%XX".
std::string UtaMapSearchAddress(std::string_view keywordSjis, SearchField field);
// UtaNet takes the keyword in EUC-JP with every byte, ASCII too, as "%XX";
// asks for entries whose title (or singer name) contains it.
std::string UtaNetSearchAddress(std::string_view keywordSjis, SearchField field);

}  // namespace zvek
