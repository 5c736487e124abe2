// A bus connection waited on by Asio, and a second launch reaching the running app
// through it, on a private bus.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/app_activation.h"
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

TEST(DBusConnection, DeliversRepliesAndDeadlinesOnItsStrandWithNoThreadOfItsOwn) {
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
  // A service that owns its name and never answers: the deadline acts with nothing to read.
  auto silent = bus.connect();
  silent->requestName("org.melodock.Silent");
  EXPECT_EQ(testing::replyTo(*testing::systemBus(pool), "org.melodock.Silent", "/",
                             "org.melodock.Silent", "Wait", std::chrono::milliseconds(100)),
            "org.freedesktop.DBus.Error.NoReply");
}

TEST(DBusConnection, SetsUpAtOnceRunsPostedWorkInOrderAndFallsSilentWhenTheBusGoes) {
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
  // The bus goes away: the connection falls silent, and work still runs, for tearing down.
  EXPECT_TRUE(connection->isOpen());
  bus.stop();
  EXPECT_TRUE(eventually([&] { return !connection->isOpen(); }));
  testing::runThere(*connection, [] {});
}

TEST(AppActivation, EachWayOfAskingActivatesTheRunningAppAndNobodyAnswersWithoutOne) {
  {
    const AppActivation unpublished(nullptr, [] { FAIL() << "nobody can ask"; });
  }
  PrivateBus bus;
  EXPECT_FALSE(AppActivation::activateRunning());  // no app owns the name
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

}  // namespace
}  // namespace melodock
