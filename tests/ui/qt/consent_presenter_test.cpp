// The consent window and its notification, shown offscreen beside python-dbusmock's
// notification daemon on a private bus, answered by the user's clicks and keys or by
// the notification's actions. A waiting tool call answered this way is the desktop
// end-to-end test's.
#include <gtest/gtest.h>

#include <future>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/platform/private_bus.h"
#include "tests/support/await.h"
#include "tests/support/manual_clock.h"
#include "tests/ui/qt/wait_for.h"
#include "ui/qt/consent_presenter.h"
#include "ui/qt/permission_window.h"

namespace melodock {
namespace {

using qt::ConsentPresenter;
using qt::PermissionWindow;
using Kind = PermissionPrompt::Kind;

constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

const QIcon& appIcon() {
  static const QIcon icon(MELODOCK_TEST_APP_ICON);
  return icon;
}

// The permission windows on screen.
std::vector<PermissionWindow*> shownWindows() {
  std::vector<PermissionWindow*> found;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* window = dynamic_cast<PermissionWindow*>(widget);
    if (window != nullptr && window->isVisible()) found.push_back(window);
  }
  return found;
}

std::vector<QString> labels(const QWidget& window) {
  std::vector<QString> texts;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) texts.push_back(label->text());
  }
  return texts;
}

// Runs the GUI's events until `done` or ten seconds.
std::vector<std::vector<sdbus::Variant>> callsOf(const testing::PrivateBus& bus,
                                                 const std::string& method) {
  return testing::mockCalls(bus, kNotifications, kPath, method);
}

void invokeAction(const testing::PrivateBus& bus, std::uint32_t id, const std::string& key) {
  testing::emitFromMock(bus, kNotifications, kPath, kNotifications, "ActionInvoked", "us",
                        {sdbus::Variant(id), sdbus::Variant(key)});
}

// A desktop: the private bus with its notification daemon, and the presenter on it.
struct Desktop {
  testing::PrivateBus bus;
  testing::MockService daemon{bus, kNotifications, {"--template", "notification_daemon"}};
  testing::Pool pool;
  std::shared_ptr<DBusConnection> session = testing::systemBus(pool, false);
  DesktopNotifications notifications{session, "Melodock", "org.melodock.Melodock"};
  ConsentPresenter presenter{&notifications, appIcon()};
  Desktop() { session->start(); }
};

// The user's ways of answering in the window, and what the asker gets from each.
TEST(ConsentPresenter, EachWayOfAnsweringInTheWindowGivesItsAnswerAndClosesBoth) {
  struct Row {
    const char* name;
    std::function<void(PermissionWindow&)> act;
    bool answer;
  };
  const std::vector<Row> rows = {
      {"Turn On clicked",
       [](PermissionWindow& w) { QTest::mouseClick(w.turnOnButton(), Qt::LeftButton); }, true},
      {"Not Now clicked",
       [](PermissionWindow& w) { QTest::mouseClick(w.notNowButton(), Qt::LeftButton); }, false},
      {"Return", [](PermissionWindow& w) { QTest::keyClick(&w, Qt::Key_Return); }, true},
      {"Return with the focus on Not Now",
       [](PermissionWindow& w) {
         w.notNowButton()->setFocus();
         QTest::keyClick(w.notNowButton(), Qt::Key_Return);
       },
       true},
      {"Escape", [](PermissionWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
      {"the close button", [](PermissionWindow& w) { w.close(); }, false},
  };
  Desktop desktop;
  Executor executor(2);
  const MainActor main(executor);
  ManualClock clock;
  PermissionPrompt prompt(
      main, desktop.presenter, [] { return std::nullopt; }, clock);
  std::size_t notified = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto asked = asio::co_spawn(main.strand(), prompt.ask(Kind::changes), asio::use_future);
    ASSERT_TRUE(testing::until([] { return shownWindows().size() == 1; }));
    PermissionWindow& window = *shownWindows().front();
    EXPECT_EQ(labels(window).at(0), "Your AI wants to change your library.");
    ++notified;
    ASSERT_TRUE(testing::until([&] { return callsOf(desktop.bus, "Notify").size() == notified; }));
    row.act(window);
    ASSERT_TRUE(testing::until(
        [&] { return asked.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(asked.get(), row.answer);
    EXPECT_TRUE(testing::until([] { return shownWindows().empty(); }));
    EXPECT_TRUE(testing::until(
        [&] { return callsOf(desktop.bus, "CloseNotification").size() == notified; }));
  }
  executor.stop();
}

TEST(ConsentPresenter, TheNotificationsAnswersCloseTheWindow) {
  struct Row {
    const char* action;
    bool answer;
  };
  Desktop desktop;
  Executor executor(2);
  const MainActor main(executor);
  ManualClock clock;
  PermissionPrompt prompt(
      main, desktop.presenter, [] { return std::string("Codex"); }, clock);
  std::uint32_t id = 0;
  for (const Row row : {Row{"turn-on", true}, Row{"not-now", false}}) {
    SCOPED_TRACE(row.action);
    auto asked = asio::co_spawn(main.strand(), prompt.ask(Kind::library), asio::use_future);
    ++id;  // the mock counts its notifications from 1
    ASSERT_TRUE(testing::until([] { return shownWindows().size() == 1; }));
    const std::vector<QString> expected = {
        "Codex wants to see your library and listening history.",
        "This lets it pick music you like. Your AI's provider receives this data. You can change "
        "this anytime under Connect Your AI in the Melodock menu."};
    EXPECT_EQ(labels(*shownWindows().front()), expected);
    // The notification asks the same, with both answers.
    ASSERT_TRUE(testing::until([&] { return callsOf(desktop.bus, "Notify").size() == id; }));
    const auto notify = callsOf(desktop.bus, "Notify").back();
    EXPECT_EQ(QString::fromStdString(notify.at(3).get<std::string>()), expected[0]);
    EXPECT_EQ(QString::fromStdString(notify.at(4).get<std::string>()), expected[1]);
    EXPECT_EQ(
        notify.at(5).get<std::vector<std::string>>(),
        (std::vector<std::string>{"default", "", "not-now", "Not Now", "turn-on", "Turn On"}));
    // A click on the body only brings the window forward.
    invokeAction(desktop.bus, id, "default");
    invokeAction(desktop.bus, id, row.action);
    ASSERT_TRUE(testing::until(
        [&] { return asked.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(asked.get(), row.answer);
    EXPECT_TRUE(testing::until([] { return shownWindows().empty(); }));
  }
  executor.stop();
}

TEST(ConsentPresenter, ShowsTheWindowAloneWithoutNotifications) {
  ConsentPresenter presenter(nullptr, appIcon());
  Executor executor(2);
  const MainActor main(executor);
  ManualClock clock;
  PermissionPrompt prompt(
      main, presenter, [] { return std::nullopt; }, clock);
  auto asked = asio::co_spawn(main.strand(), prompt.ask(Kind::library), asio::use_future);
  ASSERT_TRUE(testing::until([] { return shownWindows().size() == 1; }));
  PermissionWindow& window = *shownWindows().front();
  window.grab().save(QStringLiteral(MELODOCK_SCREENSHOTS "/permission_window.png"));
  QTest::keyClick(&window, Qt::Key_Return);
  ASSERT_TRUE(testing::until(
      [&] { return asked.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
  EXPECT_TRUE(asked.get());
  executor.stop();
}

}  // namespace
}  // namespace melodock
