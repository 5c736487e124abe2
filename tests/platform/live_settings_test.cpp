// The app's settings copy against a real file that other writers change too.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>

#include "platform/live_settings.h"
#include "platform/settings_store.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using testing::eventually;  // the settings thread reloads on its own time
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(LiveSettings, ChangesAtOnceWritesBehindAndKeepsOtherWritersKeys) {
  TempDir dir;
  const auto file = dir.path() / "melodock" / "settings.json";
  LiveSettings settings(file);
  settings.set("token", "abc");
  EXPECT_EQ(settings.string("token"), "abc");  // before any disk write finished
  settings.waitUntilWritten();
  EXPECT_EQ(nlohmann::json::parse(readFile(file)), nlohmann::json({{"token", "abc"}}));

  // Another process (the bridge, say) adds a key: the copy follows, and the next write
  // here keeps it.
  SettingsStore(file).set("port", 8080);
  EXPECT_TRUE(eventually([&] { return settings.integer("port") == 8080; }));
  settings.set("hasSeenWelcome", true);
  settings.waitUntilWritten();
  EXPECT_EQ(nlohmann::json::parse(readFile(file)),
            nlohmann::json({{"token", "abc"}, {"port", 8080}, {"hasSeenWelcome", true}}));

  // Edited by hand, in place.
  writeFile(file, R"({"token":"edited"})");
  EXPECT_TRUE(eventually([&] { return settings.string("token") == "edited"; }));
  EXPECT_EQ(settings.value("port"), std::nullopt);
  EXPECT_EQ(settings.problem(), std::nullopt);
}

TEST(LiveSettings, KeepsWorkingWithAFileItCannotWriteAndSaysSoOnce) {
  TempDir dir;
  const auto file = dir.path() / "settings.json";
  std::filesystem::create_directory(file);  // a directory where the file should be
  LiveSettings settings(file);
  std::atomic<int> reports = 0;
  settings.onProblem([&](const std::string& problem) {
    ++reports;
    EXPECT_EQ(problem.rfind("Melodock cannot save its settings (", 0), 0u) << problem;
    EXPECT_TRUE(problem.ends_with("); it keeps the current ones until it quits.")) << problem;
  });
  for (int i = 0; i < 3; ++i) {
    settings.set("count", i);
    settings.waitUntilWritten();
  }
  EXPECT_EQ(reports.load(), 1);
  EXPECT_EQ(settings.integer("count"), 2);
  EXPECT_TRUE(settings.problem().has_value());

  // Once the way is clear, the next write saves what could not be saved before.
  std::filesystem::remove(file);
  settings.set("other", true);
  settings.waitUntilWritten();
  EXPECT_EQ(nlohmann::json::parse(readFile(file)), nlohmann::json({{"count", 2}, {"other", true}}));
  EXPECT_EQ(reports.load(), 1);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"settings.json", "settings.json.lock"}));
}

TEST(LiveSettings, TellsObserversOfChangesMadeHereAndElsewhereUntilTheyLeave) {
  TempDir dir;
  const auto file = dir.path() / "settings.json";
  LiveSettings settings(file);
  std::atomic<int> told = 0;
  std::optional<nlohmann::json> seen;
  std::mutex seenMutex;
  {
    const Settings::Subscription subscription = settings.observe([&] {
      const std::lock_guard lock(seenMutex);
      seen = settings.value("musicFolders");
      ++told;
    });
    // Here: told at once, the new value already in place.
    settings.set("musicFolders", nlohmann::json::array({"/a"}));
    EXPECT_EQ(told.load(), 1);
    settings.waitUntilWritten();

    // By another process: told once the copy holds it.
    SettingsStore(file).set("musicFolders", nlohmann::json::array({"/b"}));
    EXPECT_TRUE(eventually([&] {
      const std::lock_guard lock(seenMutex);
      return seen == nlohmann::json::array({"/b"});
    }));
  }
  const int before = told.load();
  settings.set("musicFolders", nlohmann::json::array());
  SettingsStore(file).set("port", 1234);
  EXPECT_TRUE(eventually([&] { return settings.integer("port") == 1234; }));
  EXPECT_EQ(told.load(), before);
}

}  // namespace
}  // namespace melodock
