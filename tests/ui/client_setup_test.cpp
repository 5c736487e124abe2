// The setup texts, byte for byte, for executable paths that need quoting.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "platform/settings_store.h"
#include "tests/support/loopback.h"
#include "ui/client_setup.h"

namespace melodock {
namespace {

using testing::TempDir;

const std::string kSpaces = "/opt/My Apps/Melodock/melodock";
const std::string kQuote = "/home/o'brien/bin/melodock";

struct StoredSettings {
  explicit StoredSettings(const std::string& stored)
      : store((testing::writeFile(dir.path() / "settings.json", stored),
               dir.path() / "settings.json")),
        settings(store) {}
  TempDir dir;
  SettingsStore store;
  AppSettings settings;
};

std::string jsonForm(const std::string& top, const std::string& path, bool typed) {
  return "{\n  \"" + top +
         "\" : {\n    \"melodock\" : {\n      \"args\" : [\n        \"--stdio\"\n      ],\n"
         "      \"command\" : \"" +
         path + (typed ? "\",\n      \"type\" : \"stdio\"\n" : "\"\n") + "    }\n  }\n}";
}

// The words sh makes of `text`.
std::vector<std::string> shellWords(const std::string& text) {
  const std::string script = "for word in " + text + "; do printf '%s\\n' \"$word\"; done";
  std::vector<std::string> words;
  FILE* out = ::popen(script.c_str(), "r");
  char line[4096];
  while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
    words.emplace_back(line, std::strlen(line) - 1);
  }
  if (out != nullptr) ::pclose(out);
  return words;
}

TEST(ClientSetup, ListsTheNineClientsInOrderByRawValue) {
  std::string raw;
  for (const ClientSetup setup : ClientSetup::allCases()) {
    raw += std::string(setup.rawValue()) + " ";
    EXPECT_EQ(ClientSetup::fromRawValue(setup.rawValue()), setup);
  }
  EXPECT_EQ(
      raw,
      "claudeCode claudeDesktop codex geminiCLI cursor vsCode windsurf otherHTTP otherCommand ");
  EXPECT_EQ(ClientSetup::fromRawValue("ClaudeCode"), std::nullopt);
}

TEST(ClientSetup, WritesEachSnippetForPathsWithSpacesAndQuotes) {
  StoredSettings stored(R"({"port":8080,"token":"0f0f"})");
  struct Row {
    ClientSetup setup;
    std::string path, snippet;
    std::vector<std::string> words;  // for the command forms: what sh makes of it
  };
  const std::vector<Row> rows = {
      {ClientSetup::claudeCode,
       kSpaces,
       "claude mcp add --scope user melodock -- '/opt/My Apps/Melodock/melodock' --stdio",
       {"claude", "mcp", "add", "--scope", "user", "melodock", "--", kSpaces, "--stdio"}},
      {ClientSetup::claudeCode,
       kQuote,
       R"(claude mcp add --scope user melodock -- '/home/o'\''brien/bin/melodock' --stdio)",
       {"claude", "mcp", "add", "--scope", "user", "melodock", "--", kQuote, "--stdio"}},
      {ClientSetup::codex,
       kQuote,
       R"(codex mcp add melodock -- '/home/o'\''brien/bin/melodock' --stdio)",
       {"codex", "mcp", "add", "melodock", "--", kQuote, "--stdio"}},
      {ClientSetup::otherCommand,
       kQuote,
       R"('/home/o'\''brien/bin/melodock' --stdio)",
       {kQuote, "--stdio"}},
      {ClientSetup::claudeDesktop, kSpaces, jsonForm("mcpServers", kSpaces, false), {}},
      {ClientSetup::windsurf, kQuote, jsonForm("mcpServers", kQuote, false), {}},
      {ClientSetup::geminiCLI,
       R"(/opt/a "b"\c/melodock)",
       jsonForm("mcpServers", R"(/opt/a \"b\"\\c/melodock)", false),
       {}},
      {ClientSetup::vsCode, kSpaces, jsonForm("servers", kSpaces, true), {}},
      {ClientSetup::vsCode, kQuote, jsonForm("servers", kQuote, true), {}},
      {ClientSetup::otherHTTP,
       kQuote,
       "URL: http://127.0.0.1:8080/mcp\nHeader: Authorization: Bearer 0f0f",
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.setup.rawValue()) + " " + row.path);
    const std::string snippet = row.setup.snippet(row.path, stored.settings);
    EXPECT_EQ(snippet, row.snippet);
    if (!row.words.empty()) {
      EXPECT_EQ(shellWords(snippet), row.words);
    }
  }
  // After a token reset only the HTTP form changes.
  const std::string token = stored.settings.storeNewToken();
  EXPECT_EQ(ClientSetup(ClientSetup::otherHTTP).snippet(kQuote, stored.settings),
            "URL: http://127.0.0.1:8080/mcp\nHeader: Authorization: Bearer " + token);
  EXPECT_EQ(ClientSetup(ClientSetup::cursor).snippet(kQuote, stored.settings),
            jsonForm("mcpServers", kQuote, false));
  // A path that is not UTF-8 cannot be written as JSON.
  EXPECT_EQ(ClientSetup(ClientSetup::cursor).snippet("/opt/\xff/melodock", stored.settings), "{}");
}

TEST(ClientSetup, SetupPromptNamesTheCommandAndTheEndpointButNotTheToken) {
  StoredSettings stored(R"({"port":8080,"token":"0f0f0f0f"})");
  EXPECT_EQ(
      ClientSetup::setupPrompt(kQuote, stored.settings),
      "Please connect yourself to Melodock, a local MCP server on this computer that lets you "
      "search Apple Music and play songs for me.\n\nAdd an MCP server named \"melodock\" to your "
      "own MCP configuration, using the format and config location your app expects:\n\n"
      "- Preferred, stdio: run the command '/home/o'\\''brien/bin/melodock' with the single "
      "argument --stdio.\n- Only if you can't launch commands, Streamable HTTP: URL "
      "http://127.0.0.1:8080/mcp with an \"Authorization: Bearer <token>\" header. Ask me for the "
      "token: it's under Manual Setup → Other app (HTTP) in the Melodock panel.\n\nKeep "
      "every other server in the config as it is. Then tell me whether I need to restart the app "
      "or reload its MCP servers before the music tools show up.\n\nIf you can't change your own "
      "settings, give me short step-by-step instructions for your app instead.");
}

}  // namespace
}  // namespace melodock
