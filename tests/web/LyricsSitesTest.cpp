#include "web/LyricsSites.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace zvek {
namespace {

TEST(LyricsSitesTest, BusyTextIsTheShiftJisOfTheSitesMessage) {
    EXPECT_EQ(kSiteBusyText, test::Sjis("大変混み合っております"));
}

TEST(LyricsSitesTest, EnvironmentReplacesTheBuiltInHosts) {
    struct Setting {
        const char* variable;
        std::string (*host)();
        std::string built;
    } settings[] = {
        {"ZVEKLC_UTANET_HOST", UtaNetHost, "www.uta-net.com"},
        {"ZVEKLC_UTAMAP_HOST", UtaMapHost, "www.utamap.com"},
        {"ZVEKLC_HOME_HOST", HomeHost, "www.zvek.example"},
    };
    for (const auto& s : settings) {
        {
            test::ScopedEnv unset{s.variable, std::nullopt};
            EXPECT_EQ(s.host(), s.built);
        }
        {
            test::ScopedEnv local{s.variable, "127.0.0.1:8080"};
            EXPECT_EQ(s.host(), "127.0.0.1:8080");
        }
        test::ScopedEnv empty{s.variable, ""};  // set but empty counts as not set
        EXPECT_EQ(s.host(), s.built);
    }
    EXPECT_EQ(SiteAddress("127.0.0.1:8080", kUtaNetPagePath), "http://127.0.0.1:8080/phplib/");
}

}  // namespace
}  // namespace zvek
