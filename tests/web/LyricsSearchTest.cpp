// The Find menu's addresses, byte for byte, and what the commands hand to
// the browser.
#include "web/LyricsSearch.h"

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "lyrics/LyricsSearch.h"
#include "web/LyricsSites.h"

namespace zvek {
namespace {

using test::Sjis;

// A site's host comes from its environment variable when that is set and not empty.
TEST(LyricsSitesTest, EnvironmentReplacesTheBuiltInHosts) {
    for (const char* value : {static_cast<const char*>(nullptr), "", "127.0.0.1:8080"}) {
        test::ScopedEnv env{"ZVEKLC_HOME_HOST", value ? std::optional<std::string>(value) : std::nullopt};
        EXPECT_EQ(HomeHost(), value && *value ? value : "www.zvek.example");
    }
    EXPECT_EQ(SiteAddress("127.0.0.1:8080", kUtaNetPagePath), "http://127.0.0.1:8080/phplib/");
}

const std::string kMap = "http://map.test/search.php?searchname=";
const std::string kNet = "http://net.test/members/phplib/maphp001.php3?cursession=index2&curuserid=pageone&MA_select_ga=";
const std::string kNetTail = "&MA_select_kasio=%A4%AC%B4%DE%A4%DE%A4%EC%A4%EB&MA_sousa=%B8%A1%BA%F7";
const std::string kNetTitle = "%B6%CA%CC%BE&MA_text1_de=";
const std::string kNetArtist = "%B2%CE%BC%EA%CC%BE&MA_text1_de=";

// Both sites' search addresses for `field`, with the keyword as each escapes it.
std::vector<std::string> Searches(SearchField field, const std::string& utaMap, const std::string& utaNet) {
    const bool title = field == SearchField::Title;
    return {kMap + (title ? "srtitle" : "srartist") + "&inputvalue=" + utaMap + "&act=search",
            kNet + (title ? kNetTitle : kNetArtist) + utaNet + kNetTail};
}

TEST(LyricsSearchTest, KeywordsAreEscapedForEachSite) {
    test::ScopedEnv map{"ZVEKLC_UTAMAP_HOST", "map.test"}, net{"ZVEKLC_UTANET_HOST", "net.test"};
    const struct { std::string keyword, utaMap, utaNet; } cases[] = {
        {"A B", "A+B", "%41%20%42"},
        {"\xb1", "%B1", "%8E%B1"},                                  // half-width katakana
        {"\x83\x5c", "%83%5C", "%A5%BD"},                           // ソ: its trail byte is "\"
        {"a&b=c#d%e", "a%26b%3Dc%23d%25e", "%61%26%62%3D%63%23%64%25%65"},  // no stray query parts
        {"-._~+/?", "-._~%2B%2F%3F", "%2D%2E%5F%7E%2B%2F%3F"},
        {"\t\x7f", "%09%7F", "%09%7F"},                             // zero-padded below 0x10
    };
    for (const auto& c : cases) {
        for (const SearchField field : {SearchField::Title, SearchField::Artist})
            EXPECT_EQ((std::vector{UtaMapSearchAddress(c.keyword, field), UtaNetSearchAddress(c.keyword, field)}),
                      Searches(field, c.utaMap, c.utaNet))
                << c.keyword;
    }
}

// Open URL opens the first URL= line that names something, in any case.
TEST(LyricsSearchTest, OpenUrlOpensTheUrlLineOrNothing) {
    const struct { std::vector<std::string> lines; std::vector<std::string> browsed; } cases[] = {
        {{"[Spec]", "Title=x"}, {}},
        {{"URL=", "url=http://a.test/"}, {}},
        {{"url=http://a.test/x.html?a=1&b=2", "URL=http://b.test/"}, {"http://a.test/x.html?a=1&b=2"}},
    };
    for (const auto& c : cases) {
        test::FakeHost host;
        LyricsDocument doc(host);
        doc.SetLines(c.lines);
        MenuOpenURLClick(doc);
        EXPECT_EQ(host.browsed, c.browsed) << testing::PrintToString(c.lines);
    }
}

}  // namespace
}  // namespace zvek
