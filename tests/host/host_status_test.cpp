// The host status record and its observers.
#include <gtest/gtest.h>

#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

TEST(HostStatus, FollowsTheListenerStates) {
  HostStatus status;
  int notified = 0;
  status.observe([&] { ++notified; });

  status.update(ListenerState::setup, 47291);
  EXPECT_FALSE(status.running());
  EXPECT_EQ(notified, 0);

  status.update(ListenerState::failed, 47291, "Address already in use");
  EXPECT_EQ(status.problem(), "Port 47291: Address already in use");
  EXPECT_EQ(notified, 1);  // running was already false

  status.update(ListenerState::ready, 47291);
  EXPECT_TRUE(status.running());
  EXPECT_EQ(status.problem(), std::nullopt);
  EXPECT_EQ(notified, 3);

  status.update(ListenerState::ready, 47291);
  EXPECT_EQ(notified, 3);  // nothing changed, nobody told

  status.setProblem("kept");
  status.update(ListenerState::cancelled, 47291);
  EXPECT_FALSE(status.running());
  EXPECT_EQ(status.problem(), "kept");

  status.setLastClient("Claude Code");
  status.setLastClient("Claude Code");
  EXPECT_EQ(status.lastClient(), "Claude Code");
  EXPECT_EQ(notified, 6);
}

}  // namespace
}  // namespace melodock
