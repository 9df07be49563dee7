// The Find menu's addresses, byte for byte, and what the commands hand to
// the browser.
#include "web/SearchAddresses.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "lyrics/FindCommands.h"
#include "web/LyricsSites.h"

namespace zvek {
namespace {

// A site's host comes from its environment variable unless that is empty.
TEST(LyricsSitesTest, EnvironmentReplacesTheBuiltInHosts) {
    test::ScopedEnv empty{"ZVEKLC_HOME_HOST", ""};
    EXPECT_EQ(HomeHost(), "www.zvek.example");
}

const std::string kMap = "http://map.test/search.php?searchname=";
const std::string kNet =
    "http://net.test/members/phplib/maphp001.php3?cursession=index2&curuserid=pageone&MA_select_ga=";
const std::string kNetTail = "&MA_select_kasio=%A4%AC%B4%DE%A4%DE%A4%EC%A4%EB&MA_sousa=%B8%A1%BA%F7";

// Both sites' search addresses for `field`, with the keyword as each escapes it.
std::vector<std::string> Searches(SearchField field, const std::string& utaMap, const std::string& utaNet) {
    const bool title = field == SearchField::Title;
    return {kMap + (title ? "srtitle" : "srartist") + "&inputvalue=" + utaMap + "&act=search",
            kNet + (title ? "%B6%CA%CC%BE" : "%B2%CE%BC%EA%CC%BE") + "&MA_text1_de=" + utaNet + kNetTail};
}

TEST(SearchAddressesTest, KeywordsAreEscapedForEachSite) {
    test::ScopedEnv map{"ZVEKLC_UTAMAP_HOST", "map.test"}, net{"ZVEKLC_UTANET_HOST", "net.test"};
    // {keyword, utaMap, utaNet}
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"A B", "A+B", "%41%20%42"},
        {"\x83\x5c", "%83%5C", "%A5%BD"},                                   // ソ: its trail byte is "\"
        {"a&b=c#d%e", "a%26b%3Dc%23d%25e", "%61%26%62%3D%63%23%64%25%65"},  // no stray query parts
        {"-._~+/?", "-._~%2B%2F%3F", "%2D%2E%5F%7E%2B%2F%3F"},
        {"\t\x7f", "%09%7F", "%09%7F"},  // zero-padded below 0x10
    };
    for (const auto& [keyword, utaMap, utaNet] : cases)
        for (const SearchField field : {SearchField::Title, SearchField::Artist})
            EXPECT_EQ((std::vector{UtaMapSearchAddress(keyword, field), UtaNetSearchAddress(keyword, field)}),
                      Searches(field, utaMap, utaNet))
                << keyword;
}

// Open URL opens the address of the first URL= line, in any case, if it is a web address.
TEST(SearchAddressesTest, OpenUrlOpensTheUrlLineOrNothing) {
    test::FakeHost host;
    LyricsDocument doc(host);
    for (const char* line : {"URL=", "URL=file:///etc/hostname", "URL=javascript:alert(1)", "URL=/tmp/a.desktop"})
        doc.SetLines({line, "url=http://a.test/"}), MenuOpenURLClick(doc);
    EXPECT_TRUE(host.browsed.empty());
    doc.SetLines({"url=http://a.test/x.html?a=1&b=2", "URL=http://b.test/"});
    MenuOpenURLClick(doc);
    EXPECT_EQ(host.browsed, std::vector<std::string>{"http://a.test/x.html?a=1&b=2"});
}

}  // namespace
}  // namespace zvek
