// Desktop notifications against python-dbusmock's notification daemon on a private
// bus: what Notify carries, the actions told back, and the close in both directions.
#include <gtest/gtest.h>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/desktop_notifications.h"
#include "tests/platform/private_bus.h"
#include "tests/support/arrivals.h"

namespace melodock {
namespace {

using testing::eventually;
using testing::MockService;
using testing::Pool;
using testing::PrivateBus;

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

TEST(DesktopNotifications, SendsTheTextsActionsAndHintsOfTheNotification) {
  NotificationsFixture fixture;
  Told told;
  const auto shown = fixture.notifications->show(kQuestion, told.handlers());
  fixture.shownAs(0);
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
}

TEST(DesktopNotifications, SendsThePlainBodyWhereTheServiceReadsNoMarkup) {
  NotificationsFixture fixture(R"({"capabilities": "actions body"})", "");
  const PrivateBus& bus = fixture.bus;
  DesktopNotifications& notifications = *fixture.notifications;
  // GetCapabilities was asked first, and its answer comes before Notify's.
  auto first =
      notifications.show({.summary = "a", .body = "x", .actions = {}, .waitsForAnswer = false}, {});
  EXPECT_TRUE(eventually([&] { return callsOf(bus, "Notify").size() == 1; }));
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

TEST(DesktopNotifications, TellsTheActionsOfItsOwnNotificationOnly) {
  NotificationsFixture fixture;
  Told first;
  Told second;
  const auto one = fixture.notifications->show(kQuestion, first.handlers());
  const std::uint32_t oneID = fixture.shownAs(0);
  const auto two = fixture.notifications->show(kQuestion, second.handlers());
  const std::uint32_t twoID = fixture.shownAs(1);

  emitFromService(fixture.bus, "ActionInvoked", "us",
                  {sdbus::Variant(twoID), sdbus::Variant(std::string("turn-on"))});
  emitFromService(fixture.bus, "ActionInvoked", "us",
                  {sdbus::Variant(std::uint32_t{77}), sdbus::Variant(std::string("turn-on"))});
  emitFromService(fixture.bus, "ActionInvoked", "us",
                  {sdbus::Variant(oneID), sdbus::Variant(std::string("not-now"))});
  EXPECT_TRUE(eventually([&] { return !first.seen().empty() && !second.seen().empty(); }));
  EXPECT_EQ(first.seen(), std::vector<std::string>{"action not-now"});
  EXPECT_EQ(second.seen(), std::vector<std::string>{"action turn-on"});
}

TEST(DesktopNotifications, ClosingTakesItOffTheDesktopAndSilencesIt) {
  NotificationsFixture fixture;
  Told told;
  auto shown = fixture.notifications->show(kQuestion, told.handlers());
  const std::uint32_t id = fixture.shownAs(0);
  shown->close();
  EXPECT_TRUE(eventually([&] { return callsOf(fixture.bus, "CloseNotification").size() == 1; }));
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").at(0).at(0).get<std::int32_t>(),
            static_cast<std::int32_t>(id));
  emitFromService(fixture.bus, "ActionInvoked", "us",
                  {sdbus::Variant(id), sdbus::Variant(std::string("turn-on"))});
  shown.reset();
  // One more round through the service and the strand: nothing came of the action.
  auto later = fixture.notifications->show(kQuestion, {});
  fixture.shownAs(1);
  testing::replyTo(*fixture.connection, kName, kPath, kName, "GetServerInformation");
  EXPECT_EQ(told.seen(), std::vector<std::string>{});
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").size(), 1U);
}

TEST(DesktopNotifications, AClosingBeforeTheServiceAnswersStillReachesIt) {
  NotificationsFixture fixture;
  // Gone at once: the close is on the strand before Notify's answer.
  fixture.notifications->show(kQuestion, {}).reset();
  EXPECT_TRUE(eventually([&] { return callsOf(fixture.bus, "CloseNotification").size() == 1; }));
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").at(0).at(0).get<std::int32_t>(), 1);
}

TEST(DesktopNotifications, TellsOnceWhenTheServiceClosesItAndThenLeavesItAlone) {
  NotificationsFixture fixture;
  Told told;
  auto shown = fixture.notifications->show(kQuestion, told.handlers());
  const std::uint32_t id = fixture.shownAs(0);
  for (int i = 0; i < 2; ++i) {
    emitFromService(fixture.bus, "NotificationClosed", "uu",
                    {sdbus::Variant(id), sdbus::Variant(std::uint32_t{2})});
  }
  EXPECT_TRUE(eventually([&] { return !told.seen().empty(); }));
  shown.reset();  // already gone: no CloseNotification
  auto later = fixture.notifications->show(kQuestion, {});
  fixture.shownAs(1);
  testing::replyTo(*fixture.connection, kName, kPath, kName, "GetServerInformation");
  EXPECT_EQ(told.seen(), std::vector<std::string>{"closed"});
  EXPECT_EQ(callsOf(fixture.bus, "CloseNotification").size(), 0U);
}

TEST(DesktopNotifications, DoesNothingWithoutABusOrWithoutTheService) {
  Told told;
  {
    DesktopNotifications none(nullptr, "Melodock", "");
    none.show(kQuestion, told.handlers())->close();
  }
  PrivateBus bus;  // nobody owns org.freedesktop.Notifications here
  Pool pool;
  auto connection = testing::systemBus(pool, false);
  {
    DesktopNotifications notifications(connection, "Melodock", "");
    connection->start();
    auto shown = notifications.show(kQuestion, told.handlers());
    testing::replyTo(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                     "org.freedesktop.DBus", "GetId");
    shown->close();
  }
  testing::runThere(*connection, [] {});
  EXPECT_TRUE(connection->isOpen());
  EXPECT_EQ(told.seen(), std::vector<std::string>{});
}

}  // namespace
}  // namespace melodock
