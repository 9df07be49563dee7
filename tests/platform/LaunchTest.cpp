// Starting programs without a shell, on every system: each argument arrives
// as exactly one, as it was, whatever a shell or a command line would make
// of it.
#include <gtest/gtest.h>

#include <chrono>

#include "TestSupport.h"
#include "platform/Launch.h"

namespace zvek {
namespace {

using namespace std::chrono_literals;

TEST(LaunchTest, EveryArgumentArrivesAsItWas) {
    const std::vector<std::string> args = {"plain",
                                           "two words",
                                           "say \"hi\"",
                                           "&|^%PATH%!<>()",
                                           "tail\\",
                                           "\\\"",
                                           "",
                                           "a\\\\\"b",
                                           "\t",
                                           "*?[a]",
                                           "'single' $HOME `id`;",
                                           "日本語 ファイル",
                                           "https://example.com/a b?c=d&e=%41"};
    std::vector<std::string> argv = {ZVEKLC_ECHO_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string expected;
    for (const std::string& arg : args) expected += arg + '\0';
    EXPECT_EQ(RunProgramOutput(argv, 10s, expected.size()), expected);
    EXPECT_EQ(RunProgramOutput(argv, 10s, expected.size() - 1), std::nullopt);  // more than it may write

    EXPECT_EQ(RunProgram({ZVEKLC_ECHO_PATH, "--exit=3"}), 3);
    EXPECT_EQ(RunProgramOutput({ZVEKLC_ECHO_PATH, "--exit=3", "x"}, 10s, 100), std::nullopt);
    const test::TempDir dir;
    EXPECT_EQ(RunProgram({dir / "missing"}), -1);
    EXPECT_EQ(RunProgramOutput({dir / "missing"}, 10s, 100), std::nullopt);
    EXPECT_TRUE(!StartProgram({dir / "missing"}) && StartProgram({ZVEKLC_ECHO_PATH}));
}

}  // namespace
}  // namespace zvek
