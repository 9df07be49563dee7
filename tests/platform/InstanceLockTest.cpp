// Instance numbers on every system: the lowest that no holder of the name
// has, given back when released.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/FsPath.h"
#include "platform/InstanceLock.h"

namespace zvek {
namespace {

TEST(InstanceLockTest, HandsOutTheLowestFreeNumber) {
    const test::TempDir dir;
    const test::ScopedEnv runtime{"XDG_RUNTIME_DIR", PathText(dir.path())};
    const std::string name = "zveklc-test-" + PathText(dir.path().filename()) + "-";
    InstanceLock first = InstanceLock::Acquire(name), second = InstanceLock::Acquire(name);
    EXPECT_EQ(std::tuple(first.held(), first.number(), second.held(), second.number()), std::tuple(true, 0, true, 1));
    first.Release();
    EXPECT_EQ(std::tuple(InstanceLock::Acquire(name).number(), ProgramName()), std::tuple(0, "test_platform"));
}

}  // namespace
}  // namespace zvek
