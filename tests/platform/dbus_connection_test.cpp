// A bus connection waited on by Asio, on a private bus.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/dbus_connection.h"
#include "tests/platform/private_bus.h"

namespace melodock {
namespace {

using testing::eventually;
using testing::Pool;
using testing::PrivateBus;

std::size_t threadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

TEST(DBusConnection, ReturnsNothingWhereNoBusAnswers) {
  testing::TempDir dir;
  const std::string nowhere = "unix:path=" + (dir.path() / "no-bus").string();
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", nowhere.c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), 1);
  Pool pool;
  EXPECT_EQ(DBusConnection::open(DBusConnection::Bus::kSystem, pool.executor()), nullptr);
  EXPECT_EQ(DBusConnection::open(DBusConnection::Bus::kSession, pool.executor()), nullptr);
}

TEST(DBusConnection, DeliversRepliesOnItsStrandWithNoThreadOfItsOwn) {
  PrivateBus bus;
  Pool pool;
  const std::size_t threads = threadCount();
  for (const auto which : {DBusConnection::Bus::kSystem, DBusConnection::Bus::kSession}) {
    auto connection = DBusConnection::open(which, pool.executor());
    ASSERT_NE(connection, nullptr);
    connection->start();

    std::string expected;
    sdbus::createProxy(*bus.connect(), "org.freedesktop.DBus", "/org/freedesktop/DBus")
        ->callMethod("GetId")
        .onInterface("org.freedesktop.DBus")
        .storeResultsTo(expected);
    EXPECT_EQ(testing::replyTo(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId"),
              expected);
    EXPECT_EQ(threadCount(), threads);
  }
}

TEST(DBusConnection, ActsOnAReplyDeadlineWithNothingToRead) {
  PrivateBus bus;
  // A service that owns its name and never answers.
  auto silent = bus.connect();
  silent->requestName("org.melodock.Silent");
  Pool pool;
  auto connection = testing::systemBus(pool);

  EXPECT_EQ(testing::replyTo(*connection, "org.melodock.Silent", "/", "org.melodock.Silent", "Wait",
                             std::chrono::milliseconds(100)),
            "org.freedesktop.DBus.Error.NoReply");
}

TEST(DBusConnection, SetsUpAtOnceAndRunsPostedWorkInOrderOnceStarted) {
  PrivateBus bus;
  Pool pool;
  auto connection = testing::systemBus(pool, false);
  std::vector<int> order;  // on the strand once started
  std::promise<void> done;
  connection->post([&] { order.push_back(1); });
  connection->setUp([&] { order.push_back(0); });  // before start: here and now
  EXPECT_EQ(order, std::vector<int>{0});
  connection->post([&] { order.push_back(2); });
  connection->start();
  connection->setUp([&] { order.push_back(3); });  // after start: posted
  connection->post([&] {
    order.push_back(4);
    done.set_value();
  });
  ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(DBusConnection, FallsSilentWhenTheBusGoesAway) {
  PrivateBus bus;
  Pool pool;
  auto connection = testing::systemBus(pool);
  EXPECT_TRUE(connection->isOpen());
  bus.stop();
  EXPECT_TRUE(eventually([&] { return !connection->isOpen(); }));
  testing::runThere(*connection, [] {});  // work still runs, for tearing down
}

}  // namespace
}  // namespace melodock
