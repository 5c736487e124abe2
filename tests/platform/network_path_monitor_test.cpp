// Low Data Mode from NetworkManager's Metered property, against a python-dbusmock
// NetworkManager on a private bus.
#include <gtest/gtest.h>

#include <future>
#include <optional>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/network_path_monitor.h"
#include "tests/platform/private_bus.h"
#include "tests/support/arrivals.h"

namespace melodock {
namespace {

using testing::MockService;
using testing::Pool;
using testing::PrivateBus;

// NetworkManager with Metered on its manager object, starting at `metered`.
std::unique_ptr<MockService> networkManager(const PrivateBus& bus, std::uint32_t metered) {
  return std::make_unique<MockService>(
      bus, "org.freedesktop.NetworkManager",
      std::vector<std::string>{"--template", MELODOCK_TEST_DATA "/metered_networkmanager.py",
                               "--parameters", R"({"Metered": )" + std::to_string(metered) + "}"});
}

void callManager(const PrivateBus& bus, const std::string& interface, const std::string& method,
                 std::uint32_t metered) {
  auto connection = bus.connect();
  auto manager = sdbus::createProxy(*connection, "org.freedesktop.NetworkManager",
                                    "/org/freedesktop/NetworkManager");
  if (method == "Set") {
    manager->callMethod("Set").onInterface(interface).withArguments(
        "org.freedesktop.NetworkManager", "Metered", sdbus::Variant(metered));
  } else {
    manager->callMethod(method).onInterface(interface).withArguments(metered);
  }
}

// What the monitor reported, in order; each report must come on `strand`.
struct Reports {
  explicit Reports(const asio::any_io_executor& pool) : strand(asio::make_strand(pool)) {}
  NetworkPathMonitor::Handler handler() {
    return [this](bool lowDataMode) {
      EXPECT_TRUE(strand.running_in_this_thread());
      values.push(lowDataMode);
    };
  }
  std::optional<bool> next() { return values.next(); }

  asio::strand<asio::any_io_executor> strand;
  testing::Arrivals<bool> values;
};

TEST(NetworkPathMonitor, FollowsMeteredFromTheFirstReadThroughEveryChange) {
  PrivateBus bus;
  auto manager = networkManager(bus, 2);
  Pool pool;
  Reports reports(pool.executor());
  auto connection = testing::systemBus(pool, false);
  NetworkPathMonitor monitor(connection, reports.strand, reports.handler());
  connection->start();
  EXPECT_EQ(reports.next(), false);

  struct Row {
    std::uint32_t metered;
    bool lowDataMode;
  };
  const std::vector<Row> rows = {{1, true}, {2, false}, {3, true}, {4, false},
                                 {3, true}, {0, false}, {1, true}, {1, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.metered);
    callManager(bus, "org.freedesktop.DBus.Properties", "Set", row.metered);
    EXPECT_EQ(reports.next(), row.lowDataMode);
  }
  // Told only that Metered changed, it reads it again.
  callManager(bus, "org.freedesktop.DBus.Mock", "SetMeteredInvalidating", 2);
  EXPECT_EQ(reports.next(), false);
  callManager(bus, "org.freedesktop.DBus.Mock", "SetMeteredInvalidating", 3);
  EXPECT_EQ(reports.next(), true);
}

TEST(NetworkPathMonitor, TurnsOffWhenNetworkManagerLeavesAndReadsItWhenItComesBack) {
  PrivateBus bus;
  auto manager = networkManager(bus, 3);
  Pool pool;
  Reports reports(pool.executor());
  auto connection = testing::systemBus(pool);
  // Built once the bus is started: it subscribes on the strand.
  NetworkPathMonitor monitor(connection, reports.strand, reports.handler());
  EXPECT_EQ(reports.next(), true);

  manager->stop();
  EXPECT_EQ(reports.next(), false);
  manager = networkManager(bus, 1);
  EXPECT_EQ(reports.next(), true);
}

TEST(NetworkPathMonitor, IsOffWhereMeteredCannotBeRead) {
  Pool pool;
  {
    Reports reports(pool.executor());
    NetworkPathMonitor monitor(nullptr, reports.strand, reports.handler());
    EXPECT_EQ(reports.values.pending().size(), 0u);  // no bus: nothing is ever reported
  }
  PrivateBus bus;
  auto connection = testing::systemBus(pool);
  {
    Reports reports(pool.executor());
    NetworkPathMonitor monitor(connection, reports.strand, reports.handler());
    EXPECT_EQ(reports.next(), false);  // nobody owns NetworkManager's name
  }
  MockService stock(bus, "org.freedesktop.NetworkManager", {"--template", "networkmanager"});
  {
    Reports reports(pool.executor());
    NetworkPathMonitor monitor(connection, reports.strand, reports.handler());
    EXPECT_EQ(reports.next(), false);  // a NetworkManager without Metered
  }
}

TEST(NetworkPathMonitor, ReportsNothingOnceDestroyed) {
  PrivateBus bus;
  auto manager = networkManager(bus, 1);
  Pool pool;
  auto connection = testing::systemBus(pool);
  Reports reports(pool.executor());
  std::promise<void> destroyed;
  {
    auto monitor =
        std::make_unique<NetworkPathMonitor>(connection, reports.strand, reports.handler());
    EXPECT_EQ(reports.next(), true);
    asio::post(reports.strand, [&] {
      callManager(bus, "org.freedesktop.DBus.Properties", "Set", 2);  // the signal is on its way
      monitor.reset();
      destroyed.set_value();
    });
    destroyed.get_future().wait();
  }
  // A later report proves the bus delivered; the destroyed monitor must have said nothing.
  NetworkPathMonitor later(connection, reports.strand, reports.handler());
  EXPECT_EQ(reports.next(), false);
  EXPECT_EQ(reports.values.pending().size(), 0u);
}

}  // namespace
}  // namespace melodock
