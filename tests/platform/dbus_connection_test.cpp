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

// Runs `work` on the connection's strand and waits for it.
void runThere(DBusConnection& connection, const std::function<void()>& work) {
  std::promise<void> done;
  connection.post([&] {
    work();
    done.set_value();
  });
  done.get_future().wait();
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

    std::promise<std::string> id;
    std::unique_ptr<sdbus::IProxy> daemon;
    connection->post([&] {
      daemon = sdbus::createProxy(connection->connection(), "org.freedesktop.DBus",
                                  "/org/freedesktop/DBus");
      daemon->callMethodAsync("GetId")
          .onInterface("org.freedesktop.DBus")
          .uponReplyInvoke([&](const sdbus::Error* error, const std::string& answer) {
            EXPECT_TRUE(connection->strand().running_in_this_thread());
            id.set_value(error != nullptr ? "error: " + error->getName() : answer);
          });
    });
    auto answer = id.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    std::string expected;
    auto own = bus.connect();
    sdbus::createProxy(*own, "org.freedesktop.DBus", "/org/freedesktop/DBus")
        ->callMethod("GetId")
        .onInterface("org.freedesktop.DBus")
        .storeResultsTo(expected);
    EXPECT_EQ(answer.get(), expected);
    EXPECT_EQ(threadCount(), threads);
    runThere(*connection, [&] { daemon.reset(); });
  }
}

TEST(DBusConnection, ActsOnAReplyDeadlineWithNothingToRead) {
  PrivateBus bus;
  // A service that owns its name and never answers.
  auto silent = bus.connect();
  silent->requestName("org.melodock.Silent");
  Pool pool;
  auto connection = testing::systemBus(pool);

  std::promise<std::string> outcome;
  std::unique_ptr<sdbus::IProxy> proxy;
  connection->post([&] {
    proxy = sdbus::createProxy(connection->connection(), "org.melodock.Silent", "/");
    proxy->callMethodAsync("Wait")
        .onInterface("org.melodock.Silent")
        .withTimeout(std::chrono::milliseconds(100))
        .uponReplyInvoke([&](const sdbus::Error* error) {
          outcome.set_value(error != nullptr ? error->getName() : "answered");
        });
  });
  auto name = outcome.get_future();
  ASSERT_EQ(name.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(name.get(), "org.freedesktop.DBus.Error.NoReply");
  runThere(*connection, [&] { proxy.reset(); });
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
  bool ran = false;
  runThere(*connection, [&] { ran = true; });  // work still runs, for tearing down
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace melodock
