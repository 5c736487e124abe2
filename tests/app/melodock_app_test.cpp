// The launch mode and the launch sequence over a real settings file and listener.
#include <gtest/gtest.h>

#include "app/launch_mode.h"
#include "app/melodock_app.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using testing::TempDir;
using testing::writeFile;

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
    TempDir dir;
    writeFile(dir.path() / "settings.json", row.stored);
    SettingsStore store(dir.path() / "settings.json");
    store.set("port", testing::freePort());
    Executor executor(2);
    HostStatus status;
    bool welcome = false;
    bool updateCheck = false;
    MelodockApp app(executor, store, status,
                    {[&] { welcome = true; }, [&] { updateCheck = true; }, [&] { return now; }});
    app.waitUntilStarted();
    asio::post(executor.mainActor(), asio::use_future).get();
    EXPECT_EQ(welcome, row.welcome);
    EXPECT_EQ(updateCheck, row.updateCheck);
    EXPECT_TRUE(status.running());
  }
}

TEST(MelodockApp, TokenResetStoresANewTokenAndRestartsTheHost) {
  TempDir dir;
  SettingsStore store(dir.path() / "settings.json");
  store.set("port", testing::freePort());
  Executor executor(2);
  HostStatus status;
  MelodockApp app(executor, store, status, {});
  app.waitUntilStarted();
  const std::string old = app.host().token();
  EXPECT_EQ(store.string("token"), old);

  asio::co_spawn(executor.mainActor(), app.resetToken(), asio::use_future).get();
  const std::string renewed = app.host().token();
  EXPECT_NE(renewed, old);
  EXPECT_EQ(store.string("token"), renewed);
  EXPECT_TRUE(status.running());
}

}  // namespace
}  // namespace melodock
