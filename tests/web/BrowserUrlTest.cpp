#include <gtest/gtest.h>

#include "web/BrowserUrl.h"

namespace zvek {
namespace {

TEST(NormalizeBrowserUrl, CleansBrowserAddresses) {
    struct Case {
        const char* address;
        const char* expected;
    } cases[] = {
        {"http://www.example.com/a.htm", "http://www.example.com/a.htm"},
        {"(0022)http://www.example.com/a.htm", "http://www.example.com/a.htm"},
        {"<!-- saved from url=(0026)https://example.org/a.htm", "https://example.org/a.htm"},
        {"HTTP://X/a.php?sentaku=1&x=2", "HTTP://X/a.php?sentaku=1"},
        {"http://x/a.php?id=3&sentaku=1&x=2", "http://x/a.php?sentaku=1"},
        {"http://x/a.php?x=2&sentaku=1", "http://x/a.php?x=2&sentaku=1"},  // last parameter: whole
        {"http://x/a.php?x=2", "http://x/a.php?x=2"},
        {"http://x/sentaku/a.htm", "http://x/sentaku/a.htm"},              // no query
        {"FILE:///home/me/My%20Songs/a%41.htm", "/home/me/My Songs/a%41.htm"},
        {"file://localhost%20x", "/localhost x"},
        {"C:\\songs\\a.htm", "C:\\songs\\a.htm"},                           // neither: unchanged
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeBrowserUrl(c.address), c.expected) << c.address;
}

TEST(IsWebAddress, KnowsBothSchemesInAnyCase) {
    EXPECT_TRUE(IsWebAddress("http://x"));
    EXPECT_TRUE(IsWebAddress("HTTPS://x"));
    EXPECT_TRUE(IsWebAddress("see http:x"));
    EXPECT_FALSE(IsWebAddress("ref.htm"));
    EXPECT_FALSE(IsWebAddress("ftp://x"));
    EXPECT_EQ(FindWebScheme("xhttps://a http://b"), 1u);
}

}  // namespace
}  // namespace zvek
