#include "ui/client_setup.h"

#include <nlohmann/json.hpp>

#include "platform/executable_path.h"

namespace melodock {
namespace {

enum class Form { command, json, http };

struct Description {
  std::string_view rawValue;
  std::string_view name;
  std::string_view hint;
  Form form;
  std::string_view prefix;  // command forms: what precedes the quoted path
  std::string_view topKey;  // JSON forms
};

// Indexed by ClientSetup::Case.
constexpr std::array<Description, 9> kDescriptions = {{
    {"claudeCode", "Claude Code", "Run this in Terminal.", Form::command,
     "claude mcp add --scope user melodock -- ", ""},
    {"claudeDesktop", "Claude Desktop",
     "Add to claude_desktop_config.json (Settings \u2192 Developer \u2192 Edit Config), then "
     "restart Claude.",
     Form::json, "", "mcpServers"},
    {"codex", "Codex CLI", "Run this in Terminal.", Form::command, "codex mcp add melodock -- ",
     ""},
    {"geminiCLI", "Gemini CLI", "Add to ~/.gemini/settings.json.", Form::json, "", "mcpServers"},
    {"cursor", "Cursor", "Add to ~/.cursor/mcp.json.", Form::json, "", "mcpServers"},
    {"vsCode", "VS Code",
     "Add to .vscode/mcp.json in your workspace, or run \u201cMCP: Open User Configuration\u201d.",
     Form::json, "", "servers"},
    {"windsurf", "Windsurf", "Add to ~/.codeium/windsurf/mcp_config.json.", Form::json, "",
     "mcpServers"},
    {"otherHTTP", "Other app (HTTP)",
     "For apps that connect to a Streamable HTTP MCP server. Send the token as an "
     "Authorization header.",
     Form::http, "", ""},
    {"otherCommand", "Other app (command)",
     "For apps that launch an MCP server as a command (stdio). No token needed.", Form::command, "",
     ""},
}};

// One shell word: single quotes around it, each quote inside closed, escaped, reopened.
std::string shellQuoted(std::string_view path) {
  std::string quoted = "'";
  for (const char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Pretty-printed the way the clients' own examples are: two spaces a level, sorted
// keys (nlohmann keeps objects sorted), " : " between key and value, "/" unescaped.
// Throws when a text is not UTF-8.
void writePretty(const nlohmann::json& value, int depth, std::string& out) {
  const std::string inner(static_cast<std::size_t>(depth + 1) * 2, ' ');
  const std::string outer(static_cast<std::size_t>(depth) * 2, ' ');
  if (value.is_object()) {
    out += "{\n";
    std::size_t left = value.size();
    for (const auto& [key, member] : value.items()) {
      out += inner + nlohmann::json(key).dump() + " : ";
      writePretty(member, depth + 1, out);
      out += --left > 0 ? ",\n" : "\n";
    }
    out += outer + "}";
  } else if (value.is_array()) {
    out += "[\n";
    std::size_t left = value.size();
    for (const auto& element : value) {
      out += inner;
      writePretty(element, depth + 1, out);
      out += --left > 0 ? ",\n" : "\n";
    }
    out += outer + "]";
  } else {
    out += value.dump();
  }
}

std::string jsonSnippet(std::string_view topKey, bool typed, std::string_view command) {
  nlohmann::json entry = {{"command", command}, {"args", {"--stdio"}}};
  if (typed) entry["type"] = "stdio";
  const nlohmann::json document = {{std::string(topKey), {{"melodock", entry}}}};
  try {
    std::string text;
    writePretty(document, 0, text);
    return text;
  } catch (const nlohmann::json::exception&) {
    return "{}";
  }
}

}  // namespace

const std::array<ClientSetup, 9>& ClientSetup::allCases() {
  static constexpr std::array<ClientSetup, 9> kAll = {
      claudeCode, claudeDesktop, codex,     geminiCLI,    cursor,
      vsCode,     windsurf,      otherHTTP, otherCommand,
  };
  return kAll;
}

std::optional<ClientSetup> ClientSetup::fromRawValue(std::string_view raw) {
  for (const ClientSetup setup : allCases()) {
    if (setup.rawValue() == raw) return setup;
  }
  return std::nullopt;
}

std::string_view ClientSetup::rawValue() const { return kDescriptions.at(value_).rawValue; }
std::string_view ClientSetup::name() const { return kDescriptions.at(value_).name; }
std::string_view ClientSetup::hint() const { return kDescriptions.at(value_).hint; }

std::string ClientSetup::snippet(std::string_view command, AppSettings& settings) const {
  const Description& description = kDescriptions.at(value_);
  switch (description.form) {
    case Form::command:
      return std::string(description.prefix) + shellQuoted(command) + " --stdio";
    case Form::json:
      return jsonSnippet(description.topKey, value_ == vsCode, command);
    case Form::http:
      return "URL: " + settings.endpoint() + "\nHeader: Authorization: Bearer " + settings.token();
  }
  return {};
}

std::string ClientSetup::setupPrompt(std::string_view command, const AppSettings& settings) {
  return "Please connect yourself to Melodock, a local MCP server on this computer that lets you "
         "search Apple Music and play songs for me.\n\nAdd an MCP server named \"melodock\" to "
         "your own MCP configuration, using the format and config location your app "
         "expects:\n\n- Preferred, stdio: run the command " +
         shellQuoted(command) +
         " with the single argument --stdio.\n- Only if you can't launch commands, Streamable "
         "HTTP: URL " +
         settings.endpoint() +
         " with an \"Authorization: Bearer <token>\" header. Ask me for the token: it's under "
         "Manual Setup \u2192 Other app (HTTP) in the Melodock panel.\n\nKeep every "
         "other server in the config as it is. Then tell me whether I need to restart the app or "
         "reload its MCP servers before the music tools show up.\n\nIf you can't change your own "
         "settings, give me short step-by-step instructions for your app instead.";
}

std::string ClientSetup::commandPath() {
  return runningExecutable().value_or(installedExecutable()).string();
}

}  // namespace melodock
