// Port, endpoint and token over a real settings file.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "platform/app_settings.h"
#include "platform/settings_store.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using testing::TempDir;
using testing::writeFile;

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
      {R"({"port":null})", std::nullopt, "http://127.0.0.1:47291/mcp"},
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

}  // namespace
}  // namespace melodock
