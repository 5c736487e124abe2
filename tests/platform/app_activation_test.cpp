// A second launch reaching the running app over a private session bus.
#include "platform/app_activation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "tests/platform/private_bus.h"

namespace melodock {
namespace {

using testing::Pool;
using testing::PrivateBus;

TEST(AppActivation, EachWayOfAskingActivatesTheRunningApp) {
  PrivateBus bus;
  Pool pool;
  auto connection = DBusConnection::open(DBusConnection::Bus::kSession, pool.executor());
  ASSERT_TRUE(connection);
  std::atomic<int> activated{0};
  const AppActivation activation(connection, [&activated] { ++activated; });
  connection->start();

  // The running app answers before the reply goes out.
  ASSERT_TRUE(AppActivation::activateRunning());
  EXPECT_EQ(activated, 1);

  auto caller = bus.connect();
  auto proxy = sdbus::createProxy(*caller, AppActivation::kBusName, AppActivation::kPath);
  const std::map<std::string, sdbus::Variant> none;
  proxy->callMethod("Open")
      .onInterface("org.freedesktop.Application")
      .withArguments(std::vector<std::string>{"file:///tmp/x.mp3"}, none);
  EXPECT_EQ(activated, 2);
  proxy->callMethod("ActivateAction")
      .onInterface("org.freedesktop.Application")
      .withArguments(std::string("quit"), std::vector<sdbus::Variant>{}, none);
  EXPECT_EQ(activated, 3);
}

TEST(AppActivation, NobodyAnswersWhenNoAppOwnsTheName) {
  PrivateBus bus;
  EXPECT_FALSE(AppActivation::activateRunning());
}

TEST(AppActivation, WithoutABusNothingIsPublished) {
  const AppActivation activation(nullptr, [] { FAIL() << "nobody can ask"; });
}

}  // namespace
}  // namespace melodock
