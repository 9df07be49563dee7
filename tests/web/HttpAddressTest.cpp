#include "web/HttpAddress.h"

#include <gtest/gtest.h>

namespace zvek {
namespace {

// A redirect's Location is resolved as a browser resolves a link, "." and
// ".." segments removed and the fragment dropped (the common examples of
// the URI standard, from http://a/b/c/d;p?q).
TEST(HttpAddressTest, LocationsResolveAgainstTheAddressThatAnswered) {
    // {reference, expected}
    const std::tuple<const char*, const char*> cases[] = {{"g", "http://a/b/c/g"},
                                                          {"./g", "http://a/b/c/g"},
                                                          {"g/", "http://a/b/c/g/"},
                                                          {"/g", "http://a/g"},
                                                          {"//g", "http://g"},
                                                          {"?y", "http://a/b/c/d;p?y"},
                                                          {"g?y", "http://a/b/c/g?y"},
                                                          {"#s", "http://a/b/c/d;p?q"},
                                                          {"g#s", "http://a/b/c/g"},
                                                          {"", "http://a/b/c/d;p?q"},
                                                          {".", "http://a/b/c/"},
                                                          {"..", "http://a/b/"},
                                                          {"../g", "http://a/b/g"},
                                                          {"../..", "http://a/"},
                                                          {"../../../g", "http://a/g"},
                                                          {"/./g", "http://a/g"},
                                                          {"g;x=1/../y", "http://a/b/c/y"},
                                                          {"g/./h", "http://a/b/c/g/h"},
                                                          {"https://x/../y?z", "https://x/y?z"},
                                                          {"file:///etc/passwd", "file:///etc/passwd"},
                                                          {"Z39.50s://h/x", "Z39.50s://h/x"}};
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(ResolveReference("http://a/b/c/d;p?q", reference), expected) << reference;
    EXPECT_EQ(ResolveReference("http://h:8080", "p"), "http://h:8080/p");
}

// What goes into the request line is ASCII: bytes above 0x7F (Shift-JIS
// here), backslashes and, from a server, blanks percent-encoded; control
// characters, and blanks in our own addresses, make no address at all.
TEST(HttpAddressTest, RequestAddressesAreAsciiWithoutFragment) {
    EXPECT_EQ(RequestAddress("http://h/\x83\x5C?q=\x93\xFA#top", false), "http://h/%83%5C?q=%93%FA");
    EXPECT_EQ(RequestAddress("http://h/a b", true), "http://h/a%20b");
    EXPECT_EQ(RequestAddress("http://h/a b", false), std::nullopt);
    EXPECT_EQ(RequestAddress("http://h/a\r\nX: y", true), std::nullopt);
    EXPECT_EQ(RequestAddress("http://h/%41~!$&'()*+,;=:@", false), "http://h/%41~!$&'()*+,;=:@");
}

}  // namespace
}  // namespace zvek
