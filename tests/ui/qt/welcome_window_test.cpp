// The welcome window offscreen over the real app and panel feed: one window for two
// shows, the flag stored by either way of closing, each step's state as the snapshots
// change, and screenshots of it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/front_end.h"
#include "app/melodock_app.h"
#include "platform/app_settings.h"
#include "platform/live_settings.h"
#include "platform/settings_store.h"
#include "tests/support/await.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_clock.h"
#include "tests/ui/qt/wait_for.h"
#include "ui/panel_feed.h"
#include "ui/qt/symbols.h"
#include "ui/qt/welcome_window.h"

namespace melodock {
namespace {

using qt::WelcomeWindow;

// The texts the window shows now.
std::vector<QString> shownTexts(const QWidget& window) {
  std::vector<QString> texts;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&window) && !label->text().isEmpty()) texts.push_back(label->text());
  }
  for (const QPushButton* button : window.findChildren<QPushButton*>()) {
    if (button->isVisibleTo(&window)) texts.push_back("[" + button->text() + "]");
  }
  return texts;
}

bool shows(const QWidget& window, const QString& text) {
  const auto texts = shownTexts(window);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

QPushButton* button(const QWidget& window, const QString& text) {
  for (QPushButton* found : window.findChildren<QPushButton*>()) {
    if (found->text() == text && found->isVisibleTo(&window)) return found;
  }
  return nullptr;
}

int welcomeWindows() {
  int count = 0;
  for (const QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowTitle() == "Welcome to Melodock") ++count;
  }
  return count;
}

class Nobody final : public FrontEnd {
 public:
  std::unique_ptr<PermissionPrompt::Presentation> present(PermissionPrompt::Question q) override {
    q.onAnswer(false);
    return nullptr;
  }
  asio::awaitable<std::optional<bool>> askToSetUp() override { co_return std::nullopt; }
};

// The app with its panel feed, and the window over them.
struct WelcomeFixture {
  explicit WelcomeFixture(const std::string& stored = "{}", bool hasTray = true) {
    testing::writeFile(file, stored);
    SettingsStore store(file);
    AppSettings(store).setPort(port);
    settings.emplace(file);
    app.emplace(executor, main, *settings, status, clock, frontEnd,
                MelodockApp::Launch{.showWelcome = {},
                                    .checkForUpdates = {},
                                    .keepAwake = {},
                                    .catalogFile = MELODOCK_CATALOG_FILE,
                                    .libraryFile = dir.path() / "library.sqlite"});
    feed.emplace(
        PanelFeed::Sources{.main = main,
                           .music = app->music(),
                           .player = app->player(),
                           .network = app->networkStatus(),
                           .settings = *settings,
                           .host =
                               [this] {
                                 return PanelFeed::Host{status.running(), {}, status.lastClient()};
                               },
                           .update = {},
                           .command = "/usr/bin/melodock"});
    window.emplace(
        *feed,
        WelcomeWindow::Art{
            .appIcon = QIcon(MELODOCK_TEST_APP_ICON),
            .trayIcon = QIcon(MELODOCK_TEST_TRAY_ICON),
            .symbol = [](std::string_view symbol, int size,
                         const QColor& color) { return qt::symbolPixmap(symbol, size, color); }},
        WelcomeWindow::Actions{.setUpAppleMusic = [this] { ++setUps; },
                               .openAccess = [this] { ++accessOpened; }},
        hasTray);
    testing::awaitOn(main, app->start());
  }
  ~WelcomeFixture() {
    window.reset();
    executor.stop();
  }

  std::optional<bool> storedFlag() {
    settings->waitUntilWritten();
    return SettingsStore(file).boolean(setting::kHasSeenWelcome.name);
  }

  testing::TempDir dir;
  std::filesystem::path file = dir.path() / "settings.json";
  std::uint16_t port = testing::freePort();
  Executor executor{2};
  MainActor main{executor};
  std::optional<LiveSettings> settings;
  HostStatus status;
  ManualClock clock;
  Nobody frontEnd;
  std::optional<MelodockApp> app;
  std::optional<PanelFeed> feed;
  std::optional<WelcomeWindow> window;
  int setUps = 0;
  int accessOpened = 0;
};

TEST(WelcomeWindow, IsOneWindowForTwoShowsAndEitherWayOfClosingStoresTheFlag) {
  struct Row {
    const char* name;
    std::function<void(QWidget&)> close;
  };
  const std::vector<Row> rows = {
      {"Done", [](QWidget& w) { QTest::mouseClick(button(w, "Done"), Qt::LeftButton); }},
      {"the close button", [](QWidget& w) { w.close(); }},
  };
  WelcomeFixture fixture;
  fixture.window->show();
  QWidget* const first = fixture.window->widget();
  fixture.window->show();
  EXPECT_EQ(fixture.window->widget(), first);
  EXPECT_EQ(welcomeWindows(), 1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fixture.feed->set(AppSettings::change(setting::kHasSeenWelcome, false));
    ASSERT_TRUE(testing::until([&] { return fixture.storedFlag() == false; }));
    fixture.window->show();
    ASSERT_TRUE(testing::until([&] { return first->isVisible(); }));
    row.close(*first);
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(testing::until([&] { return fixture.storedFlag() == true; }));
    EXPECT_EQ(welcomeWindows(), 1);  // only hidden
  }
}

TEST(WelcomeWindow, FollowsAccessAndTheFirstClientWhileOpen) {
  WelcomeFixture fixture;
  fixture.window->show();
  QWidget& window = *fixture.window->widget();
  ASSERT_TRUE(testing::until([&] { return shows(window, "[Continue]"); }));
  EXPECT_TRUE(shows(window, "Waiting for your AI to connect…"));
  EXPECT_TRUE(shows(window, "Let your AI agent play Apple Music on this computer."));
  EXPECT_TRUE(shows(window, "Melodock lives in your system tray."));
  EXPECT_TRUE(shows(window, "Try “Play something upbeat” or “Build a calm evening set”."));
  window.grab().save(QStringLiteral(MELODOCK_SCREENSHOTS "/welcome_window_waiting.png"));
  QTest::mouseClick(button(window, "Continue"), Qt::LeftButton);
  EXPECT_EQ(fixture.setUps, 1);

  // Access granted and a client names itself, while the window is open.
  testing::runOn(fixture.main, [&] {
    fixture.app->music().setAuthorization(MusicAuthorization::Status::authorized);
  });
  const std::string ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
  const std::string token =
      testing::runOn(fixture.main, [&] { return fixture.app->host().token(); });
  testing::exchange(
      fixture.port,
      "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: application/json, "
      "text/event-stream\r\nContent-Type: application/json\r\nAuthorization: Bearer " +
          token + "\r\nX-Melodock-Client: Claude\r\nContent-Length: " +
          std::to_string(ping.size()) + "\r\n\r\n" + ping);
  fixture.feed->changed();  // as the app tells the feed of the host's status
  EXPECT_TRUE(testing::until([&] { return shows(window, "Connected: Claude"); }));
  EXPECT_FALSE(shows(window, "Waiting for your AI to connect…"));
  EXPECT_FALSE(shows(window, "[Continue]"));
  EXPECT_FALSE(shows(window, "Access was denied. Turn it on in Apple Music Access."));

  // The prompt goes on the clipboard, and the button says so.
  QTest::mouseClick(button(window, "Copy Prompt"), Qt::LeftButton);
  const std::string prompt =
      testing::runOn(fixture.main, [&] { return fixture.feed->take().setupPrompt; });
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), prompt);
  EXPECT_NE(prompt.find("http://127.0.0.1:" + std::to_string(fixture.port) + "/mcp"),
            std::string::npos)
      << prompt;
  EXPECT_TRUE(shows(window, "[Copied]"));
  EXPECT_FALSE(shows(window, "[Copy Prompt]"));
  window.grab().save(QStringLiteral(MELODOCK_SCREENSHOTS "/welcome_window_connected.png"));
}

TEST(WelcomeWindow, OffersTheAccessDialogOnceDeniedAndNamesTheLauncherWithoutATray) {
  WelcomeFixture fixture(R"({"musicAuthorization":"denied"})", false);
  fixture.window->show();
  QWidget& window = *fixture.window->widget();
  ASSERT_TRUE(testing::until(
      [&] { return shows(window, "Access was denied. Turn it on in Apple Music Access."); }));
  EXPECT_FALSE(shows(window, "[Continue]"));
  EXPECT_TRUE(shows(window, "Melodock lives in your app launcher."));
  window.grab().save(QStringLiteral(MELODOCK_SCREENSHOTS "/welcome_window_denied.png"));
  QTest::mouseClick(button(window, "Open Apple Music Access"), Qt::LeftButton);
  EXPECT_EQ(fixture.accessOpened, 1);
}

}  // namespace
}  // namespace melodock
