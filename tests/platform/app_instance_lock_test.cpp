// One app per user.
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/app_instance_lock.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

TEST(AppInstanceLock, HoldsUntilReleasedAndNamesItsHolder) {
  testing::TempDir dir;
  const auto file = dir.path() / "melodock" / "app.lock";
  EXPECT_EQ(AppInstanceLock::holder(file), std::nullopt);
  {
    auto first = AppInstanceLock::acquire(file);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(AppInstanceLock::holder(file), ::getpid());
    EXPECT_FALSE(AppInstanceLock::acquire(file).has_value());
  }
  EXPECT_EQ(AppInstanceLock::holder(file), std::nullopt);
  EXPECT_TRUE(AppInstanceLock::acquire(file).has_value());
  // A folder that cannot be made still lets the app run.
  EXPECT_TRUE(AppInstanceLock::acquire("/proc/melodock/app.lock").has_value());
}

}  // namespace
}  // namespace melodock
