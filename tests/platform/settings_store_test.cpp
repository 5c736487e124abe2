// The settings file as other processes and the user see it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/settings_store.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(SettingsStore, ReadsAMissingFileAsDefaults) {
  TempDir dir;
  SettingsStore store(dir.path() / "melodock" / "settings.json");
  EXPECT_EQ(store.read(), nlohmann::json::object());
  EXPECT_EQ(store.boolean("sharePersonalData"), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(store.file()));  // reading creates nothing
}

TEST(SettingsStore, ReadsAKeyOfTheWrongTypeAsAbsentAndKeepsIt) {
  TempDir dir;
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

}  // namespace
}  // namespace melodock
