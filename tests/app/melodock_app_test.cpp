// The launch mode and the launch sequence over a real settings file and listener.
#include <gtest/gtest.h>

#include <thread>

#include "app/front_end.h"
#include "app/launch_mode.h"
#include "app/melodock_app.h"
#include "platform/live_settings.h"
#include "platform/music/library/library.h"
#include "platform/settings_store.h"
#include "tests/platform/music/audio_files.h"
#include "tests/platform/music/music_files.h"
#include "tests/support/await.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_clock.h"

namespace melodock {
namespace {

using testing::TempDir;
using testing::writeFile;

// The app opens the user's library: every user folder lies inside a temporary one.
class UserFolders final : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR", "XDG_MUSIC_DIR"}) {
      ::setenv(name, (dir_.path() / name).c_str(), 1);
    }
  }

 private:
  TempDir dir_;
};
::testing::Environment* const kUserFolders =
    ::testing::AddGlobalTestEnvironment(new UserFolders);  // owned by GoogleTest

// An app over a settings file and a library of its own, with the built-in catalog, no
// terminal (nobody is asked) and a clock the test moves.
struct AppRun {
  TempDir dir;
  std::filesystem::path file = dir.path() / "settings.json";
  std::filesystem::path libraryFile = dir.path() / "library.sqlite";
  Executor executor{2};
  const MainActor main{executor};
  std::optional<LiveSettings> settings;
  HostStatus status;
  ManualClock clock;
  std::unique_ptr<FrontEnd> frontEnd = makeFrontEnd(-1, -1);
  std::optional<MelodockApp> app;

  // The app must outlive the pool's threads.
  ~AppRun() { executor.stop(); }

  // Opens the app over the settings file as it is now; `adjust` sets what the test
  // needs of the launch.
  MelodockApp& open(const std::function<void(MelodockApp::Launch&)>& adjust = {}) {
    MelodockApp::Launch launch;
    launch.catalogFile = MELODOCK_CATALOG_FILE;
    launch.libraryFile = libraryFile;
    if (adjust) adjust(launch);
    settings.emplace(file);
    return app.emplace(executor, main, *settings, status, clock, *frontEnd, std::move(launch));
  }
  // A second reader of the library file, seeing what the app wrote.
  [[nodiscard]] Library reader() const {
    return {libraryFile, [] { return std::chrono::system_clock::now(); }};
  }
};

TEST(LaunchMode, SelectsTheBridgeOnlyForTheExactFlag) {
  struct Row {
    std::vector<const char*> arguments;
    LaunchMode mode;
  };
  const std::vector<Row> rows = {
      {{"melodock"}, LaunchMode::app},
      {{"melodock", "--stdio"}, LaunchMode::bridge},
      {{"melodock", "-v", "--stdio", "x"}, LaunchMode::bridge},
      {{"--stdio"}, LaunchMode::bridge},
      {{"melodock", "--STDIO"}, LaunchMode::app},
      {{"melodock", "--stdio=1"}, LaunchMode::app},
      {{"melodock", "-stdio"}, LaunchMode::app},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.size() > 1 ? row.arguments[1] : row.arguments[0]);
    EXPECT_EQ(launchMode(row.arguments), row.mode);
  }
}

TEST(MelodockApp, ShowsTheWelcomeAndChecksForUpdatesOnlyWhenDue) {
  using namespace std::chrono;
  const auto now = system_clock::time_point(seconds(1'800'000'000));
  struct Row {
    const char* name;
    std::string stored;
    bool welcome;
    bool updateCheck;
  };
  const std::vector<Row> rows = {
      {"first launch", "{}", true, true},
      {"welcome seen, checked 10 s ago", R"({"hasSeenWelcome":true,"lastUpdateCheck":1799999990})",
       false, false},
      {"checked exactly a day ago", R"({"hasSeenWelcome":true,"lastUpdateCheck":1799913600})",
       false, false},
      {"checked a day and a second ago", R"({"lastUpdateCheck":1799913599})", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AppRun run;
    writeFile(run.file, row.stored);
    SettingsStore(run.file).set("port", testing::freePort());
    bool welcome = false;
    bool updateCheck = false;
    testing::awaitOn(run.main, run.open([&](MelodockApp::Launch& launch) {
                                    launch.showWelcome = [&] { welcome = true; };
                                    launch.checkForUpdates = [&] { updateCheck = true; };
                                    launch.now = [&] { return now; };
                                  })
                                   .start());
    EXPECT_EQ(welcome, row.welcome);
    EXPECT_EQ(updateCheck, row.updateCheck);
    EXPECT_TRUE(run.status.running());
  }
}

TEST(MelodockApp, TokenResetStoresANewTokenAndRestartsTheHost) {
  AppRun run;
  SettingsStore(run.file).set("port", testing::freePort());
  MelodockApp& app = run.open();
  testing::awaitOn(run.main, app.start());
  const std::string old = app.host().token();
  run.settings->waitUntilWritten();
  EXPECT_EQ(SettingsStore(run.file).string("token"), old);

  testing::awaitOn(run.main, app.resetToken());
  const std::string renewed = app.host().token();
  EXPECT_NE(renewed, old);
  run.settings->waitUntilWritten();
  EXPECT_EQ(SettingsStore(run.file).string("token"), renewed);
  EXPECT_TRUE(run.status.running()) << run.status.problem().value_or("no problem reported");
}

TEST(MelodockApp, PlaysFromTheBuiltInCatalogAndKeepsEachStartedSongInThePlayHistory) {
  AppRun run;
  writeFile(run.file, R"({"musicAuthorization":"authorized"})");
  MelodockApp& app = run.open();
  const MainActor& main = run.main;
  testing::awaitOn(main, app.music().refreshSubscription());
  // Two songs of "For Those About To Rock We Salute You": the first lasts 343.719 s.
  const std::string answer = testing::awaitOn(
      main, app.music().playSongs({"1100000001", "1100000006"}, "replace", std::nullopt));
  EXPECT_NE(answer.find(R"x("id":"1100000001","name":"For Those About To Rock (We Salute You)")x"),
            std::string::npos)
      << answer;
  run.clock.advance(std::chrono::milliseconds(343'719));
  Library history = run.reader();
  std::vector<std::string> played;
  for (int tries = 0; tries < 5000 && played.size() < 2; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    played.clear();
    for (const Song& song : testing::awaitOn(main, history.recentlyPlayed(10))) {
      played.push_back(song.title);
    }
  }
  EXPECT_EQ(played, (std::vector<std::string>{"Put The Finger On You",
                                              "For Those About To Rock (We Salute You)"}));
}

// A built-in catalog song that a file of the user's music matches plays that file. The
// app's clock never moves here: only the file, which GStreamer plays as fast as it can,
// can bring the song to its end.
TEST(MelodockApp, PlaysACatalogSongFromTheUsersFileThatMatchesIt) {
  AppRun run;
  writeFile(run.file, R"({"musicAuthorization":"authorized"})");
  const MainActor& main = run.main;
  // "Now Sports" by Body Count lasts 4.884 s in the catalog; the file, 2 s.
  ReadMusicFile read{.path = (run.dir.path() / "now sports.flac").string()};
  testing::writeTone(read.path, testing::AudioFormat::flac, 2000);
  read.tags.song = Song{.title = "NOW SPORTS!",
                        .artistName = "body count",
                        .duration = std::chrono::milliseconds(2000)};
  testing::awaitOn(main, run.reader().storeMusicFiles({.read = {read}}));
  std::vector<std::string> log;  // on the main actor
  MelodockApp& app = run.open([&log](MelodockApp::Launch& launch) {
    launch.audio = {.sink = "fakesink",
                    .log = [&log](const std::string& line) { log.push_back(line); }};
  });
  testing::awaitOn(main, app.music().refreshSubscription());
  testing::awaitOn(main, app.music().playSongs({"1100000168"}, "replace", std::nullopt));
  auto playing = [&] {
    return testing::runOn(main,
                          [&] { return app.player().status() == MusicPlayer::Status::playing; });
  };
  for (int tries = 0; tries < 10000 && playing(); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(playing());
  EXPECT_EQ(testing::runOn(main, [&] { return log; }), std::vector<std::string>{});
}

TEST(MelodockApp, FollowsAChangeOfTheMusicFoldersWhileRunning) {
  AppRun run;
  SettingsStore(run.file).set("port", testing::freePort());
  const auto extra = run.dir.path() / "Extra";
  makeMusicFile(extra / "a.mp3", audioFormat("MP3"), {{"TITLE", "Extra Song"}});
  testing::awaitOn(
      run.main,
      run.open([](MelodockApp::Launch& launch) { launch.followMusicFolders = true; }).start());
  Library library = run.reader();
  const MainActor& main = run.main;
  auto titles = [&] {
    std::vector<std::string> found;
    for (const Song& song : testing::awaitOn(main, library.searchSongs("", 10))) {
      found.push_back(song.title);
    }
    return found;
  };

  // The user adds a folder to the settings file, then takes it out again.
  SettingsStore(run.file).set("musicFolders", nlohmann::json::array({extra.string()}));
  EXPECT_TRUE(
      testing::eventually([&] { return titles() == std::vector<std::string>{"Extra Song"}; }));
  SettingsStore(run.file).set("musicFolders", nlohmann::json::array());
  EXPECT_TRUE(testing::eventually([&] { return titles().empty(); }));
}

}  // namespace
}  // namespace melodock
