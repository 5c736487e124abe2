// The desktop's services against python-dbusmock on a private bus: the logind
// inhibitor held while playing; Low Data Mode from NetworkManager's Metered property;
// and desktop notifications: what Notify carries, the actions told back, and the close
// in both directions.
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <tuple>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/desktop_notifications.h"
#include "platform/keep_awake.h"
#include "platform/network_path_monitor.h"
#include "tests/platform/private_bus.h"
#include "tests/support/arrivals.h"

namespace melodock {
namespace {

using testing::eventually;
using testing::MockService;
using testing::Pool;
using testing::PrivateBus;

using Inhibitor = std::tuple<std::string, std::string, std::string, std::string>;

// What the mock logind holds: what, who, why, mode of each inhibitor.
std::vector<Inhibitor> inhibitors(const PrivateBus& bus) {
  auto connection = bus.connect();
  std::vector<sdbus::Struct<std::string, std::string, std::string, std::string, std::uint32_t,
                            std::uint32_t>>
      listed;
  sdbus::createProxy(*connection, "org.freedesktop.login1", "/org/freedesktop/login1")
      ->callMethod("ListInhibitors")
      .onInterface("org.freedesktop.login1.Manager")
      .storeResultsTo(listed);
  std::vector<Inhibitor> result;
  result.reserve(listed.size());
  for (const auto& row : listed) {
    result.emplace_back(std::get<0>(row), std::get<1>(row), std::get<2>(row), std::get<3>(row));
  }
  return result;
}

// A call to logind through `connection`, waited for: every earlier answer on
// `connection` has been handled on return.
void roundTrip(DBusConnection& connection) {
  testing::replyTo(connection, "org.freedesktop.login1", "/org/freedesktop/login1",
                   "org.freedesktop.login1.Manager", "ListInhibitors");
}

const Inhibitor kPlaying{"idle:sleep", "Melodock", "Playing music", "block"};

TEST(KeepAwake, HoldsOneInhibitorExactlyWhileAcquiredAndLetsGoWhenDestroyed) {
  PrivateBus bus;
  MockService logind(bus, "org.freedesktop.login1", {"--template", "logind"});
  Pool pool;
  auto connection = testing::systemBus(pool, false);
  std::optional<KeepAwake> keepAwake(connection);
  connection->start();

  struct Step {
    const char* name;
    std::vector<bool> calls;  // true: acquire, false: release
    std::vector<Inhibitor> held;
  };
  const std::vector<Step> steps = {
      {"acquire", {true}, {kPlaying}},
      {"acquire again", {true, true}, {kPlaying}},
      {"release", {false}, {}},
      {"release again", {false}, {}},
      {"release while the request is out", {true, false}, {}},
      {"acquire, release, acquire at once", {true, false, true}, {kPlaying}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    for (const bool acquire : step.calls) acquire ? keepAwake->acquire() : keepAwake->release();
    roundTrip(*connection);  // logind has answered every call made so far
    EXPECT_TRUE(eventually([&] { return inhibitors(bus) == step.held; }))
        << inhibitors(bus).size() << " held";
  }
  keepAwake.reset();  // while holding one
  EXPECT_TRUE(eventually([&] { return inhibitors(bus).empty(); }));
}

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

TEST(NetworkPathMonitor,
     FollowsMeteredFromTheFirstReadThroughEveryChangeAndNetworkManagersRestart) {
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
  // NetworkManager leaves: off; it comes back: read again.
  manager->stop();
  EXPECT_EQ(reports.next(), false);
  manager = networkManager(bus, 1);
  EXPECT_EQ(reports.next(), true);
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

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

std::vector<std::vector<sdbus::Variant>> callsOf(const PrivateBus& bus, const std::string& method) {
  return testing::mockCalls(bus, kName, kPath, method);
}

// The service sends a signal of its own interface, as a desktop would.
void emitFromService(const PrivateBus& bus, const std::string& signal, const std::string& signature,
                     const std::vector<sdbus::Variant>& arguments) {
  testing::emitFromMock(bus, kName, kPath, kName, signal, signature, arguments);
}
void invoke(const PrivateBus& bus, std::uint32_t id, const std::string& action) {
  emitFromService(bus, "ActionInvoked", "us", {sdbus::Variant(id), sdbus::Variant(action)});
}

// What the handlers were told, from the bus's strand.
struct Told {
  testing::Arrivals<std::string> events;
  DesktopNotifications::Handlers handlers() {
    return {.onAction = [this](const std::string& key) { events.push("action " + key); },
            .onClosed = [this] { events.push("closed"); }};
  }
  std::vector<std::string> seen() const { return events.pending(); }
};

const DesktopNotifications::Notification kQuestion{
    .summary = "Claude wants to change your library.",
    .body = "Songs & <b>playlists</b>",
    .actions = {{"not-now", "Not Now"}, {"turn-on", "Turn On"}},
    .waitsForAnswer = true};

// The mock daemon started with `parameters` (its own defaults when empty).
struct NotificationsFixture {
  explicit NotificationsFixture(const std::string& parameters = "",
                                const std::string& desktopEntry = "org.melodock.Melodock")
      : daemon(bus, kName,
               parameters.empty() ? std::vector<std::string>{"--template", "notification_daemon"}
                                  : std::vector<std::string>{"--template", "notification_daemon",
                                                             "--parameters", parameters}),
        notifications(std::in_place, connection, "Melodock", desktopEntry) {
    connection->start();
  }
  PrivateBus bus;
  MockService daemon;
  Pool pool;
  std::shared_ptr<DBusConnection> connection = testing::systemBus(pool, false);
  std::optional<DesktopNotifications> notifications;

  // The id the mock gave the `index`th notification, once it has been asked for it.
  std::uint32_t shownAs(std::size_t index) {
    EXPECT_TRUE(eventually([&] { return callsOf(bus, "Notify").size() > index; }));
    return static_cast<std::uint32_t>(index + 1);  // the mock counts from 1
  }
};

TEST(DesktopNotifications, SendsTheTextsActionsAndHintsAndTellsEachItsOwnActions) {
  NotificationsFixture fixture;
  Told told;
  const auto shown = fixture.notifications->show(kQuestion, told.handlers());
  const std::uint32_t oneID = fixture.shownAs(0);
  const auto arguments = callsOf(fixture.bus, "Notify").at(0);
  ASSERT_EQ(arguments.size(), 8U);
  EXPECT_EQ(arguments[0].get<std::string>(), "Melodock");
  EXPECT_EQ(arguments[1].get<std::uint32_t>(), 0U);  // replaces nothing
  EXPECT_EQ(arguments[3].get<std::string>(), "Claude wants to change your library.");
  // The mock announces body markup: the body's own characters are escaped.
  EXPECT_EQ(arguments[4].get<std::string>(), "Songs &amp; &lt;b&gt;playlists&lt;/b&gt;");
  EXPECT_EQ(arguments[5].get<std::vector<std::string>>(),
            (std::vector<std::string>{"not-now", "Not Now", "turn-on", "Turn On"}));
  auto hints = arguments[6].get<std::map<std::string, sdbus::Variant>>();
  EXPECT_EQ(hints.at("desktop-entry").get<std::string>(), "org.melodock.Melodock");
  EXPECT_EQ(hints.at("urgency").get<std::uint8_t>(), 2);
  EXPECT_EQ(arguments[7].get<std::int32_t>(), 0);  // never expires by itself
  EXPECT_EQ(told.seen(), std::vector<std::string>{});

  // Each notification is told the actions of its own id only.
  Told second;
  const auto two = fixture.notifications->show(kQuestion, second.handlers());
  const std::uint32_t twoID = fixture.shownAs(1);
  invoke(fixture.bus, twoID, "turn-on");
  invoke(fixture.bus, std::uint32_t{77}, "turn-on");
  invoke(fixture.bus, oneID, "not-now");
  EXPECT_TRUE(eventually([&] { return !told.seen().empty() && !second.seen().empty(); }));
  EXPECT_EQ(told.seen(), std::vector<std::string>{"action not-now"});
  EXPECT_EQ(second.seen(), std::vector<std::string>{"action turn-on"});
}

TEST(DesktopNotifications, SendsThePlainBodyWhereTheServiceReadsNoMarkup) {
  NotificationsFixture fixture(R"({"capabilities": "actions body"})", "");
  const PrivateBus& bus = fixture.bus;
  DesktopNotifications& notifications = *fixture.notifications;
  // GetCapabilities was asked first, and its answer comes before Notify's. The first
  // notification's close goes out once Notify's answer has been read here, so by then
  // the capabilities have been read too.
  auto first =
      notifications.show({.summary = "a", .body = "x", .actions = {}, .waitsForAnswer = false}, {});
  EXPECT_TRUE(eventually([&] { return callsOf(bus, "Notify").size() == 1; }));
  first.reset();
  EXPECT_TRUE(eventually([&] { return callsOf(bus, "CloseNotification").size() == 1; }));
  auto second = notifications.show(
      {.summary = "b", .body = "Songs & <b>", .actions = {}, .waitsForAnswer = false}, {});
  EXPECT_TRUE(eventually([&] { return callsOf(bus, "Notify").size() == 2; }));
  const auto arguments = callsOf(bus, "Notify").at(1);
  EXPECT_EQ(arguments[4].get<std::string>(), "Songs & <b>");
  auto hints = arguments[6].get<std::map<std::string, sdbus::Variant>>();
  EXPECT_EQ(hints.count("desktop-entry"), 0U);
  EXPECT_EQ(hints.count("urgency"), 0U);
  EXPECT_EQ(arguments[7].get<std::int32_t>(), -1);
}

// Closed here: taken off the desktop and silenced. Closed by the service: told once,
// and not closed again from here.
TEST(DesktopNotifications, ClosesOnceFromEitherSide) {
  NotificationsFixture fixture;
  Told mine;
  Told theirs;
  auto closedHere = fixture.notifications->show(kQuestion, mine.handlers());
  const std::uint32_t here = fixture.shownAs(0);
  auto closedThere = fixture.notifications->show(kQuestion, theirs.handlers());
  const std::uint32_t there = fixture.shownAs(1);
  closedHere->close();
  EXPECT_TRUE(eventually([&] { return callsOf(fixture.bus, "CloseNotification").size() == 1; }));
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").at(0).at(0).get<std::int32_t>(),
            static_cast<std::int32_t>(here));
  invoke(fixture.bus, here, "turn-on");
  for (int i = 0; i < 2; ++i) {
    emitFromService(fixture.bus, "NotificationClosed", "uu",
                    {sdbus::Variant(there), sdbus::Variant(std::uint32_t{2})});
  }
  EXPECT_TRUE(eventually([&] { return !theirs.seen().empty(); }));
  closedHere.reset();
  closedThere.reset();  // already gone: no CloseNotification
  // One more round through the service and the strand: nothing more came.
  auto later = fixture.notifications->show(kQuestion, {});
  fixture.shownAs(2);
  testing::replyTo(*fixture.connection, kName, kPath, kName, "GetServerInformation");
  EXPECT_EQ(mine.seen(), std::vector<std::string>{});
  EXPECT_EQ(theirs.seen(), std::vector<std::string>{"closed"});
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").size(), 1U);
}

TEST(DesktopNotifications, AClosingBeforeTheServiceAnswersStillReachesIt) {
  NotificationsFixture fixture;
  // Gone at once: the close is on the strand before Notify's answer.
  fixture.notifications->show(kQuestion, {}).reset();
  EXPECT_TRUE(eventually([&] { return callsOf(fixture.bus, "CloseNotification").size() == 1; }));
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").at(0).at(0).get<std::int32_t>(), 1);
}

// Without a bus, or with nobody owning a service's name, each does nothing and tells
// nothing, the connection stays open, and Low Data Mode is off.
TEST(DesktopServices, DoNothingWithoutABusOrWithoutTheirService) {
  Pool pool;
  Told told;
  {
    KeepAwake keepAwake(nullptr);
    keepAwake.acquire();
    keepAwake.release();
    Reports reports(pool.executor());
    NetworkPathMonitor monitor(nullptr, reports.strand, reports.handler());
    EXPECT_EQ(reports.values.pending().size(), 0u);  // no bus: nothing is ever reported
    DesktopNotifications none(nullptr, "Melodock", "");
    none.show(kQuestion, told.handlers())->close();
  }
  PrivateBus bus;
  auto connection = testing::systemBus(pool, false);
  {
    DesktopNotifications notifications(connection, "Melodock", "");
    connection->start();
    KeepAwake keepAwake(connection);
    keepAwake.acquire();
    keepAwake.release();
    keepAwake.acquire();
    roundTrip(*connection);  // answered with an error: nobody there
    Reports reports(pool.executor());
    NetworkPathMonitor monitor(connection, reports.strand, reports.handler());
    EXPECT_EQ(reports.next(), false);
    auto shown = notifications.show(kQuestion, told.handlers());
    testing::replyTo(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                     "org.freedesktop.DBus", "GetId");
    shown->close();
  }
  MockService stock(bus, "org.freedesktop.NetworkManager", {"--template", "networkmanager"});
  {
    Reports reports(pool.executor());
    NetworkPathMonitor monitor(connection, reports.strand, reports.handler());
    EXPECT_EQ(reports.next(), false);  // a NetworkManager without Metered
  }
  testing::runThere(*connection, [] {});
  EXPECT_TRUE(connection->isOpen());
  EXPECT_EQ(told.seen(), std::vector<std::string>{});
}

}  // namespace
}  // namespace melodock
