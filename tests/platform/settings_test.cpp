// The settings file as other processes and the user see it; the port, endpoint and
// token read from it; and the app's live copy of it, which other writers change too.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <regex>
#include <set>

#include "platform/app_settings.h"
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

TEST(SettingsStore, ReadsAMissingFileAsDefaultsAndAKeyOfTheWrongTypeAsAbsentAndKeepsIt) {
  TempDir dir;
  {
    SettingsStore missing(dir.path() / "melodock" / "settings.json");
    EXPECT_EQ(missing.read(), nlohmann::json::object());
    EXPECT_EQ(missing.boolean("sharePersonalData"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(missing.file()));  // reading creates nothing
  }
  const auto file = dir.path() / "settings.json";
  writeFile(file, R"({"port":"8080","token":7,"hasSeenWelcome":1,"lastUpdateCheck":12.5,)"
                  R"("big":18446744073709551615,"ok":true})");
  SettingsStore store(file);
  EXPECT_EQ(store.integer("port"), std::nullopt);
  EXPECT_EQ(store.string("token"), std::nullopt);
  EXPECT_EQ(store.boolean("hasSeenWelcome"), std::nullopt);
  EXPECT_EQ(store.integer("big"), std::nullopt);
  EXPECT_EQ(store.number("lastUpdateCheck"), 12.5);
  EXPECT_EQ(store.boolean("ok"), true);

  store.set("connectSection", "tools");
  const auto stored = nlohmann::json::parse(readFile(file));
  EXPECT_EQ(stored.at("port"), "8080");
  EXPECT_EQ(stored.at("token"), 7);
  EXPECT_EQ(stored.at("connectSection"), "tools");
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".corrupt"));
}

TEST(SettingsStore, KeepsACopyOfACorruptFileBeforeWritingOverIt) {
  const std::vector<std::string> corrupt = {"{\"token\": \"abc\", ", "[1,2,3]", "\xff\xfe", "null"};
  for (const std::string& text : corrupt) {
    SCOPED_TRACE(text);
    TempDir dir;
    const auto file = dir.path() / "settings.json";
    writeFile(file, text);
    SettingsStore store(file);
    EXPECT_EQ(store.read(), nlohmann::json::object());
    EXPECT_EQ(readFile(file), text);  // reading never rewrites

    store.set("hasSeenWelcome", true);
    EXPECT_EQ(readFile(file.string() + ".corrupt"), text);
    EXPECT_EQ(nlohmann::json::parse(readFile(file)), nlohmann::json({{"hasSeenWelcome", true}}));
  }
}

TEST(SettingsStore, LosesNoWriteOfTwoProcessesWritingAtOnce) {
  TempDir dir;
  const auto file = dir.path() / "melodock" / "settings.json";
  constexpr int kWrites = 150;
  std::vector<pid_t> children;
  for (const char* prefix : {"app", "bridge"}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SettingsStore store(file);
      for (int i = 0; i < kWrites; ++i) store.set(prefix + std::to_string(i), i);
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const nlohmann::json stored = SettingsStore(file).read();
  EXPECT_EQ(stored.size(), 2u * kWrites);
  EXPECT_EQ(stored.value("app149", -1), 149);
  EXPECT_EQ(stored.value("bridge0", -1), 0);
}

TEST(AppSettings, ComputesTheEndpointFromTheStoredPort) {
  struct Row {
    const char* stored;
    std::optional<std::int64_t> port;
    std::string endpoint;
  };
  const std::vector<Row> rows = {
      {"{}", 47291, "http://127.0.0.1:47291/mcp"},
      {R"({"port":0})", 47291, "http://127.0.0.1:47291/mcp"},
      {R"({"port":8080})", 8080, "http://127.0.0.1:8080/mcp"},
      {R"({"port":"8080"})", std::nullopt, "http://127.0.0.1:47291/mcp"},
      {R"({"port":8080.0})", std::nullopt, "http://127.0.0.1:47291/mcp"},
      {R"({"port":70000})", 70000, "http://127.0.0.1:70000/mcp"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored);
    TempDir dir;
    writeFile(dir.path() / "settings.json", row.stored);
    SettingsStore store(dir.path() / "settings.json");
    AppSettings settings(store);
    EXPECT_EQ(settings.port(), row.port);
    EXPECT_EQ(settings.endpoint(), row.endpoint);
  }
}

TEST(AppSettings, CreatesTheTokenOnceAndKeepsWhateverIsStored) {
  const std::regex format("[0-9a-f]{48}");
  TempDir dir;
  SettingsStore store(dir.path() / "settings.json");
  AppSettings settings(store);
  const std::string token = settings.token();
  EXPECT_TRUE(std::regex_match(token, format)) << token;
  EXPECT_EQ(store.string("token"), token);
  EXPECT_EQ(settings.token(), token);
  EXPECT_EQ(AppSettings(store).token(), token);  // another reader agrees

  store.set("token", "");
  EXPECT_EQ(settings.token(), "");  // an empty token is a stored token

  store.set("token", 12);
  const std::string replaced = settings.token();
  EXPECT_TRUE(std::regex_match(replaced, format)) << replaced;
  EXPECT_EQ(store.string("token"), replaced);

  std::set<std::string> tokens;
  for (int i = 0; i < 50; ++i) {
    const std::string fresh = AppSettings::randomToken();
    EXPECT_TRUE(std::regex_match(fresh, format)) << fresh;
    tokens.insert(fresh);
  }
  EXPECT_EQ(tokens.size(), 50u);
}

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
