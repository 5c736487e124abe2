#include "ui/qt/panel_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <string>
#include <utility>
#include <vector>

namespace melodock::qt {
namespace {

// What the panel asked of the app, and the snapshot the app answers with.
struct App {
  PanelSnapshot snapshot;
  int requests = 0;
  std::vector<std::string> calls;
  std::vector<double> seeks;
  std::vector<std::string> jumps;
  std::vector<std::pair<std::string, nlohmann::json>> stored;
  std::vector<std::string> opened;

  PanelActions actions() {
    auto call = [this](const char* name) { return [this, name] { calls.emplace_back(name); }; };
    return {.request =
                [this](const std::function<void(PanelSnapshot)>& deliver) {
                  ++requests;
                  deliver(snapshot);
                },
            .playPause = call("playPause"),
            .next = call("next"),
            .previous = call("previous"),
            .seek = [this](double seconds) { seeks.push_back(seconds); },
            .jump = [this](std::string id) { jumps.push_back(std::move(id)); },
            .set =
                [this](SettingChange change) {
                  stored.emplace_back(std::string(change.key), std::move(change.value));
                },
            .setUpAppleMusic = call("setUpAppleMusic"),
            .resetToken = call("resetToken"),
            .checkForUpdates = call("checkForUpdates"),
            .showWelcome = call("showWelcome"),
            .openNetworkSettings = call("openNetworkSettings"),
            .openURL = [this](const std::string& url) { opened.push_back(url); },
            .quit = call("quit"),
            .system = {}};
  }
};

void settle() {
  for (int round = 0; round < 5; ++round) QCoreApplication::processEvents();
}

PanelSnapshot connected() {
  PanelSnapshot snapshot;
  snapshot.running = true;
  snapshot.lastClient = "Claude Code";
  snapshot.port = 47291;
  snapshot.authorization = MusicAuthorization::Status::authorized;
  snapshot.canPlayCatalog = true;
  snapshot.hasConnectedClient = true;
  snapshot.setupPrompt = "Connect yourself to Melodock at http://127.0.0.1:47291/mcp";
  for (const ClientSetup client : ClientSetup::allCases()) {
    snapshot.snippets.at(client.value()) = "settings for " + std::string(client.rawValue());
  }
  return snapshot;
}

NowPlayingSnapshot playing(std::size_t count, std::size_t current) {
  NowPlayingSnapshot player;
  const char* titles[] = {"Stairway to Heaven", "Hotel California", "Comfortably Numb",
                          "Go Your Own Way",    "Dream On",         "Born to Run",
                          "Baba O'Riley",       "Sweet Emotion"};
  for (std::size_t index = 0; index < count; ++index) {
    player.entries.push_back({.id = "q" + std::to_string(index),
                              .title = titles[index % 8],
                              .subtitle = "Classic Rock — Radio Hits",
                              .artworkURL = {},
                              .duration = 200});
  }
  player.current = current;
  player.playing = true;
  player.playbackTime = 75;
  return player;
}

// The widget of type W under `root`, shown, whose accessible name is `name`.
template <typename W = QWidget>
W* named(QWidget& root, const QString& name) {
  for (W* widget : root.findChildren<W*>()) {
    if (widget->accessibleName() == name && widget->isVisibleTo(&root)) return widget;
  }
  return nullptr;
}

bool showsText(QWidget& root, const QString& text) {
  for (QLabel* label : root.findChildren<QLabel*>()) {
    if (label->text() == text && label->isVisibleTo(&root)) return true;
  }
  return false;
}

void screenshot(PanelWindow& panel, const QString& name) {
  // The picture shows the panel as it opens, without a focus mark left by the test.
  if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
  settle();
  ASSERT_TRUE(QDir().mkpath(QStringLiteral("screenshots")));
  const QPixmap shot = panel.content()->grab();
  EXPECT_EQ(shot.width(), PanelWindow::kWidth);
  EXPECT_TRUE(shot.save(QStringLiteral("screenshots/panel-%1.png").arg(name)));
}

class Panel : public testing::Test {
 protected:
  void open(PanelSnapshot snapshot) {
    app.snapshot = std::move(snapshot);
    panel.show();
    settle();
  }
  void publish(PanelSnapshot snapshot) {
    app.snapshot = std::move(snapshot);
    panel.refresh();
    settle();
  }
  void click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {},
                      QPoint(widget->width() / 2, widget->height() / 2));
    settle();
  }

  App app;
  PanelWindow panel{app.actions()};
};

TEST_F(Panel, NothingPlayingAsksForMusicAndCannotSkip) {
  open(connected());
  NowPlayingView& view = *panel.nowPlaying();
  EXPECT_EQ(view.titleLabel()->text(), "Nothing playing");
  EXPECT_EQ(view.subtitleLabel()->text(), "Ask your AI to play something");
  EXPECT_FALSE(view.nextButton()->isEnabled());
  EXPECT_TRUE(showsText(panel, "Connected: Claude Code"));
  EXPECT_FALSE(view.noteLabel()->isVisibleTo(&panel));
  EXPECT_FALSE(view.lowDataModeHint()->isVisibleTo(&panel));
  screenshot(panel, QStringLiteral("nothing-playing"));
}

TEST_F(Panel, PlayingWithANoteAndTheQueueExpanded) {
  PanelSnapshot snapshot = connected();
  snapshot.nowPlaying = playing(8, 2);
  snapshot.nowPlaying.note =
      "A slow warm-up first, then something to sing along to on the drive home";
  open(snapshot);
  NowPlayingView& view = *panel.nowPlaying();
  EXPECT_EQ(view.titleLabel()->text(), "Comfortably Numb");
  EXPECT_TRUE(view.noteLabel()->isVisibleTo(&panel));
  EXPECT_TRUE(view.noteLabel()->scrolling()) << "a note longer than its line scrolls";
  EXPECT_EQ(view.playPauseButton()->accessibleName(), "Pause");
  EXPECT_FALSE(view.queueList()->isVisibleTo(&panel));

  QTest::mouseClick(view.songBlock(), Qt::LeftButton, {}, QPoint(3, 3));
  settle();
  ASSERT_TRUE(view.queueList()->isVisibleTo(&panel));
  EXPECT_EQ(view.queueList()->height(), 187) << "five and a half rows of 34";
  EXPECT_EQ(view.songBlock()->accessibleName(), "Show less");
  const std::vector<UpNextRow*> rows = view.queueRows();
  ASSERT_EQ(rows.size(), 8U);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i]->row().isPlayed, i < 2);
    EXPECT_EQ(rows[i]->row().isCurrent, i == 2);
    EXPECT_EQ(rows[i]->row().isCurrent && rows[i]->row().isPlaying, i == 2);
  }
  screenshot(panel, QStringLiteral("playing-queue-expanded"));

  click(rows[2]);
  EXPECT_TRUE(app.jumps.empty()) << "the current row changes nothing";
  click(rows[5]);
  EXPECT_EQ(app.jumps, std::vector<std::string>{"q5"});

  // The transport buttons and the track reach the player.
  click(view.previousButton());
  click(view.playPauseButton());
  click(view.nextButton());
  EXPECT_EQ(app.calls, (std::vector<std::string>{"previous", "playPause", "next"}));

  ProgressTrack* track = view.progressTrack();
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(0, track->height() / 2));
  const int middle = track->width() / 2;
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(middle, track->height() / 2));
  ASSERT_EQ(app.seeks.size(), 2U);
  EXPECT_EQ(app.seeks[0], 0);
  EXPECT_DOUBLE_EQ(app.seeks[1], 200.0 * middle / track->width());
}

TEST_F(Panel, AccessDeniedOffersTheAccessDialogInsteadOfTheRequest) {
  PanelSnapshot snapshot = connected();
  snapshot.authorization = MusicAuthorization::Status::denied;
  open(snapshot);
  EXPECT_TRUE(showsText(panel, "Access was denied. Turn it on in Apple Music Access."));
  EXPECT_EQ(named(panel, "Set Up Apple Music"), nullptr);
  EXPECT_FALSE(panel.nowPlaying()->isVisibleTo(&panel));
  screenshot(panel, QStringLiteral("access-denied"));
  click(named<QAbstractButton>(panel, "Open Apple Music Access"));
  EXPECT_EQ(app.calls, std::vector<std::string>{"setUpAppleMusic"});

  snapshot.authorization = MusicAuthorization::Status::notDetermined;
  publish(snapshot);
  EXPECT_EQ(named(panel, "Open Apple Music Access"), nullptr);
  auto* setUp = named<MenuRow>(panel, "Set Up Apple Music");
  ASSERT_NE(setUp, nullptr);
  EXPECT_EQ(setUp->subtitle(), "Lets your AI search Apple Music and play songs on this computer.");
}

TEST_F(Panel, TheUpdateRowFollowsTheCheck) {
  struct Row {
    const char* name;
    UpdateState state;
    QString title;
    QString subtitle;
    std::vector<std::string> calls;
    std::vector<std::string> opened;
  };
  const std::vector<Row> rows = {
      {"never checked", {}, "Check for Updates…", "", {"checkForUpdates"}, {}},
      {"checking", {.kind = UpdateState::Kind::checking}, "Checking for Updates…", "", {}, {}},
      {"current",
       {.kind = UpdateState::Kind::current},
       "Check for Updates…",
       "Melodock is up to date.",
       {"checkForUpdates"},
       {}},
      {"failed",
       {.kind = UpdateState::Kind::failed},
       "Check for Updates…",
       "Couldn't check. Try again later.",
       {"checkForUpdates"},
       {}},
      {"available",
       {.kind = UpdateState::Kind::available, .version = "1.3", .page = "https://example.org/get"},
       "Update Available",
       "Version 1.3 is ready. Click to open the download page.",
       {},
       {"https://example.org/get"}},
  };
  open(connected());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PanelSnapshot snapshot = connected();
    snapshot.update = row.state;
    publish(snapshot);
    auto* update = named<MenuRow>(panel, row.title);
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(update->subtitle(), row.subtitle);
    if (row.state.kind == UpdateState::Kind::available) {
      EXPECT_EQ(update->icon(), "arrow.down.circle");
      screenshot(panel, QStringLiteral("update-available"));
    }
    app.calls.clear();
    app.opened.clear();
    click(update);
    EXPECT_EQ(app.calls, row.calls);
    EXPECT_EQ(app.opened, row.opened);
  }
}

TEST_F(Panel, ResettingTheTokenAsksFirstThenShowsTheNewTokenLine) {
  PanelSnapshot snapshot = connected();
  snapshot.hasConnectedClient = false;
  open(snapshot);
  click(named(panel, "Manual Setup"));
  EXPECT_EQ(named(panel, "Reset the access token?"), nullptr);
  click(named(panel, "Reset Access Token…"));
  EXPECT_TRUE(showsText(panel, "Reset the access token?"));
  EXPECT_TRUE(showsText(
      panel, "Every connected AI app is disconnected until you give it the new settings."));
  EXPECT_EQ(named(panel, "Reset Access Token…"), nullptr);
  screenshot(panel, QStringLiteral("reset-confirming"));

  click(named<QAbstractButton>(panel, "Cancel"));
  EXPECT_TRUE(app.calls.empty());
  click(named(panel, "Reset Access Token…"));
  click(named<QAbstractButton>(panel, "Reset"));
  EXPECT_EQ(app.calls, std::vector<std::string>{"resetToken"});
  EXPECT_TRUE(showsText(
      panel, "New access token created. Paste the setup prompt into your AI apps again."));
  EXPECT_NE(named(panel, "Reset Access Token…"), nullptr);
}

TEST_F(Panel, LowDataModeShowsTheHintAndItsExplanation) {
  PanelSnapshot snapshot = connected();
  snapshot.lowDataMode = true;
  snapshot.nowPlaying = playing(4, 1);
  open(snapshot);
  QAbstractButton* hint = panel.nowPlaying()->lowDataModeHint();
  ASSERT_TRUE(hint->isVisibleTo(&panel));
  EXPECT_EQ(hint->text(), "Low Data Mode is on. Playback may stutter.");
  screenshot(panel, QStringLiteral("low-data-mode"));
  click(hint);
  auto* open = qobject_cast<QAbstractButton*>([&]() -> QWidget* {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isVisible()) {
        if (QWidget* found = named<QAbstractButton>(*widget, "Open Network Settings")) return found;
      }
    }
    return nullptr;
  }());
  ASSERT_NE(open, nullptr);
  click(open);
  EXPECT_EQ(app.calls, std::vector<std::string>{"openNetworkSettings"});

  snapshot.lowDataMode = false;
  publish(snapshot);
  EXPECT_FALSE(hint->isVisibleTo(&panel));
}

TEST_F(Panel, CopiedShowsOnlyOnTheLastRowCopied) {
  PanelSnapshot snapshot = connected();
  snapshot.hasConnectedClient = false;
  snapshot.client = ClientSetup::cursor;
  open(snapshot);
  click(named(panel, "Copy Setup Prompt"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(snapshot.setupPrompt));
  EXPECT_NE(named(panel, "Copied"), nullptr);

  click(named(panel, "Manual Setup"));
  click(named(panel, "Copy Settings"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "settings for cursor");
  EXPECT_NE(named(panel, "Copy Setup Prompt"), nullptr) << "the prompt's mark went";
  auto* copied = named<MenuRow>(panel, "Copied");
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->icon(), "checkmark");
}

TEST_F(Panel, TheConnectSectionAndTheSwitchesStoreTheUsersChoice) {
  PanelSnapshot snapshot = connected();
  snapshot.hasConnectedClient = false;
  open(snapshot);
  ASSERT_NE(named(panel, "Copy Setup Prompt"), nullptr) << "open before any client connected";
  click(named(panel, "Share Library & History"));
  click(named(panel, "Connect Your AI"));
  EXPECT_EQ(named(panel, "Copy Setup Prompt"), nullptr);
  EXPECT_EQ(app.stored, (std::vector<std::pair<std::string, nlohmann::json>>{
                            {"sharePersonalData", true}, {"connectSection", "closed"}}));
}

TEST_F(Panel, RereadsOnlyWhileVisibleAndEscapeClosesAndCtrlQQuits) {
  open(connected());
  EXPECT_TRUE(panel.rereading());
  const int whileOpen = app.requests;
  EXPECT_GE(whileOpen, 1);
  panel.changed();
  settle();
  EXPECT_EQ(app.requests, whileOpen + 1);

  QApplication::setActiveWindow(&panel);
  QTest::keyClick(&panel, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(app.calls, std::vector<std::string>{"quit"});
  QTest::keyClick(&panel, Qt::Key_Escape);
  EXPECT_FALSE(panel.isVisible());
  EXPECT_FALSE(panel.rereading());
  panel.changed();
  settle();
  EXPECT_EQ(app.requests, whileOpen + 1) << "a closed panel reads nothing";
}

TEST_F(Panel, TabReachesEveryControlAndEachHasAName) {
  PanelSnapshot snapshot = connected();
  snapshot.hasConnectedClient = false;
  snapshot.nowPlaying = playing(3, 1);
  open(snapshot);
  click(named(panel, "Manual Setup"));
  QApplication::setActiveWindow(&panel);
  panel.nowPlaying()->songBlock()->setFocus();
  std::vector<QString> reached;
  for (int step = 0; step < 40; ++step) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_FALSE(focus->accessibleName().isEmpty()) << focus->metaObject()->className();
    reached.push_back(focus->accessibleName());
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  for (const char* control : {"Show more", "Next", "Copy Setup Prompt", "AI app",
                              "Allow Library Changes", "Quit Melodock"}) {
    EXPECT_NE(std::find(reached.begin(), reached.end(), QString::fromUtf8(control)), reached.end())
        << control;
  }
}

}  // namespace
}  // namespace melodock::qt
