// The MCP endpoint through the real HTTP server in both eras: the token check, client
// names, the handshake identity, discover and the tools, seen as bytes on the wire.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/app_settings.h"
#include "tests/host/host_fixture.h"
#include "tests/support/child_process.h"

namespace melodock {
namespace {

using testing::HostFixture;
using testing::readFile;
using testing::runOn;
using testing::writeFile;

struct Reply {
  std::string head;
  std::string body;
  [[nodiscard]] std::string status() const { return head.substr(0, head.find("\r\n")); }
};

// One POST to the fixture's host with the given extra header lines.
Reply post(HostFixture& fixture, const std::string& body, const std::vector<std::string>& headers,
           const std::string& method = "POST", const std::string& path = "/mcp") {
  std::string request =
      method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(fixture.port) + "\r\n";
  request += "Accept: application/json, text/event-stream\r\nContent-Type: application/json\r\n";
  for (const auto& header : headers) request += header + "\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  const auto received =
      testing::exchange(static_cast<std::uint16_t>(fixture.port), request).received;
  const auto end = received.find("\r\n\r\n");
  if (end == std::string::npos) return {received, ""};
  return {received.substr(0, end + 4), received.substr(end + 4)};
}

const std::string kAuthorized = "Authorization: Bearer secret";
const std::string kPing = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";

std::string initialize(const std::string& clientInfo) {
  return R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":)" +
         clientInfo + "}}";
}

std::optional<std::string> lastClient(HostFixture& fixture) {
  return runOn(fixture.main, [&] { return fixture.status.lastClient(); });
}

const std::string kMeta =
    R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
    R"("io.modelcontextprotocol/clientInfo":{"name":"probe","title":"Probe","version":"2"},)"
    R"("io.modelcontextprotocol/clientCapabilities":{}})";

std::string modernBody(const std::string& method, const std::string& params = "") {
  return R"({"jsonrpc":"2.0","id":5,"method":")" + method + R"(","params":{)" + params +
         (params.empty() ? "" : ",") + kMeta + "}}";
}

// The modern headers for `method` (and the tool `name`), then `extra`.
std::vector<std::string> modern(const std::string& method,
                                std::vector<std::string> extra = {kAuthorized},
                                const std::string& name = "") {
  extra.insert(extra.begin(), {"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: " + method});
  if (!name.empty()) extra.push_back("Mcp-Name: " + name);
  return extra;
}

TEST(MCPEndpoint, RefusesEveryAuthorizationButTheExactBearerToken) {
  HostFixture fixture;
  const std::string refusal =
      R"({"error":{"code":-32600,"message":"Invalid Request: Missing or wrong access token. )"
      R"(Copy the connection settings from the Melodock panel."},"id":null,"jsonrpc":"2.0"})";
  struct Row {
    std::vector<std::string> headers;
    bool passes;
  };
  const std::vector<Row> rows = {
      {{kAuthorized}, true},
      {{"authorization: Bearer secret"}, true},        // the name is case-insensitive
      {{"Authorization:    Bearer secret   "}, true},  // the parser trims the value
      {{}, false},
      {{"Authorization: bearer secret"}, false},
      {{"Authorization: secret"}, false},
      {{"Authorization: Bearer secreT"}, false},
      {{"Authorization: Bearer secret2"}, false},
      {{"Authorization: Bearer secre"}, false},
      {{"Authorization: Bearer"}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.headers.empty() ? "no header" : row.headers.front());
    const Reply reply = post(fixture, kPing, row.headers);
    if (row.passes) {
      EXPECT_EQ(reply.body, R"({"id":1,"jsonrpc":"2.0","result":{}})");
    } else {
      EXPECT_EQ(reply.head,
                "HTTP/1.1 401 Unauthorized\r\nContent-Type: application/json\r\nContent-Length: " +
                    std::to_string(refusal.size()) + "\r\nConnection: close\r\n\r\n");
      EXPECT_EQ(reply.body, refusal);
    }
  }
}

TEST(MCPEndpoint, DecodesTheClientHeaderBeforeAnyCheck) {
  HostFixture fixture;

  struct Row {
    std::string header;
    std::optional<std::string> expected;  // nothing: the name is left as it was
  };
  const std::vector<Row> rows = {
      // Each way of failing to decode is the percent-encoding and UTF-8 tests'.
      {"Claude%20Code", "Claude Code"},
      {"bad%zz", std::nullopt},
      {"%e2%9c%93%20ok", "\u2713 ok"},
      {"%FF", std::nullopt},  // not UTF-8 once decoded
  };
  std::optional<std::string> previous;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.header);
    // The wrong token is refused, but the name still counts.
    const Reply reply =
        post(fixture, kPing, {"Authorization: Bearer wrong", "X-Melodock-Client: " + row.header});
    EXPECT_NE(reply.head.find(" 401 "), std::string::npos);
    if (row.expected) previous = row.expected;
    EXPECT_EQ(lastClient(fixture), previous);
    EXPECT_EQ(fixture.settings.boolean(setting::kHasConnectedClient.name),
              previous ? std::optional(true) : std::nullopt);
  }
}

TEST(MCPEndpoint, NamesTheClientFromItsHandshake) {
  HostFixture fixture;
  struct Row {
    std::string clientInfo;
    std::vector<std::string> headers;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {R"({"name":"claude-code","title":"Claude Code","version":"2.0"})", {}, "Claude Code"},
      {R"({"name":"codex","version":"1"})", {}, "codex"},
      // Header first, then the handshake: the client's own info wins.
      {R"({"name":"cursor","version":"1"})", {"X-Melodock-Client: Other"}, "cursor"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.clientInfo);
    std::vector<std::string> headers = row.headers;
    headers.push_back(kAuthorized);
    const Reply reply = post(fixture, initialize(row.clientInfo), headers);
    auto result = nlohmann::json::parse(reply.body).at("result");
    const std::string instructions = result.at("instructions");
    EXPECT_TRUE(
        instructions.starts_with("You are the user's DJ, playing Apple Music through the "
                                 "Melodock app on their computer. Discover music with "
                                 "search_catalog"));
    EXPECT_NE(instructions.find(R"(play_songs(mode: "replace"))"), std::string::npos);
    EXPECT_TRUE(instructions.ends_with(
        "turning off Low Data Mode fixes it: Settings \u2192 Network \u2192 the connection "
        "(Wi-Fi, Ethernet, \u2026) \u2192 Details\u2026."));
    result.erase("instructions");
    EXPECT_EQ(result.dump(),
              R"({"capabilities":{"tools":{"listChanged":false}},"protocolVersion":"2025-06-18",)"
              R"("serverInfo":{"name":"melodock","title":"Melodock","version":"1.0"}})");
    EXPECT_EQ(lastClient(fixture), row.expected);
  }
}

// A service that answers now_playing with where it ran.
class WhereItRuns : public NullMusicOperations {
 public:
  const MainActor* main = nullptr;
  asio::awaitable<mcp::Value> nowPlayingDict() override {
    co_return mcp::Value::Object{{"on_main_actor", mcp::Value(main->isCurrent())}};
  }
};

TEST(MCPEndpoint, RunsToolWorkOnTheMainActorItWasGiven) {
  WhereItRuns service;
  HostFixture fixture({}, {}, testing::freePort(), &service);
  service.main = &fixture.main;
  fixture.start();
  const Reply reply = post(
      fixture, R"({"jsonrpc":"2.0","id":4,"method":"tools/call","params":{"name":"now_playing"}})",
      {kAuthorized});
  EXPECT_EQ(reply.body,
            R"({"id":4,"jsonrpc":"2.0","result":{"content":[{"text":"{\"on_main_actor\":true}",)"
            R"("type":"text"}],"isError":false}})");
}

TEST(MCPEndpoint, StoresThatAClientConnectedWheneverTheFileLacksIt) {
  HostFixture fixture;
  const auto file = fixture.dir.path() / "settings.json";
  post(fixture, kPing, {kAuthorized, "X-Melodock-Client: Cursor"});
  fixture.settings.waitUntilWritten();
  EXPECT_EQ(nlohmann::json::parse(readFile(file)).value("hasConnectedClient", false), true);

  // Reset by hand while the app runs: the next client that names itself stores it again.
  writeFile(file, "{}");
  testing::eventually([&] { return !fixture.settings.boolean(setting::kHasConnectedClient.name); });
  ASSERT_EQ(fixture.settings.boolean(setting::kHasConnectedClient.name), std::nullopt);
  post(fixture, kPing, {kAuthorized, "X-Melodock-Client: Cursor"});
  fixture.settings.waitUntilWritten();
  EXPECT_EQ(nlohmann::json::parse(readFile(file)).value("hasConnectedClient", false), true);
}

// Method and path are the transport's to judge, past the token.
TEST(MCPEndpoint, PassesEachRequestToTheTransport) {
  HostFixture fixture;
  const std::string list = R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})";
  EXPECT_EQ(post(fixture, list, {kAuthorized}, "POST", "/anything").status(), "HTTP/1.1 200 OK");
  const Reply get = post(fixture, "", {kAuthorized}, "GET");
  EXPECT_EQ(get.status(), "HTTP/1.1 405 Method Not Allowed");
  EXPECT_NE(get.head.find("\r\nAllow: POST\r\n"), std::string::npos);
}

TEST(MCPEndpoint, ChecksTheTokenHostAndOriginBeforeTheModernRules) {
  HostFixture fixture;
  struct Row {
    const char* name;
    std::vector<std::string> headers;
    std::string status;
  };
  const std::vector<Row> rows = {
      {"no token", {}, "HTTP/1.1 401 Unauthorized"},
      {"foreign Origin", {kAuthorized, "Origin: http://evil.test"}, "HTTP/1.1 403 Forbidden"},
      {"authorized", {kAuthorized}, "HTTP/1.1 400 Bad Request"},
  };
  // The method header disagrees with the body: only a request past the host's own
  // checks may learn that.
  const std::string body = modernBody("server/discover");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(post(fixture, body, modern("tools/list", row.headers)).status(), row.status);
  }
  const Reply mismatched = post(fixture, body, modern("tools/list"));
  EXPECT_EQ(nlohmann::json::parse(mismatched.body).at("error").at("code"), -32020);
  EXPECT_EQ(post(fixture, body, modern("server/discover")).status(), "HTTP/1.1 200 OK");
}

TEST(MCPEndpoint, DiscoversListsAndCallsTheToolsInTheModernEra) {
  HostFixture fixture;
  const std::string serverInfo = R"({"name":"melodock","title":"Melodock","version":"1.0"})";
  const std::string cache = R"("cacheScope":"public",)";
  auto discover = nlohmann::json::parse(
                      post(fixture, modernBody("server/discover"), modern("server/discover")).body)
                      .at("result");
  EXPECT_TRUE(discover["instructions"].get<std::string>().starts_with(
      "You are the user's DJ, playing Apple Music through the Melodock app on their computer."));
  discover.erase("instructions");
  EXPECT_EQ(discover.dump(),
            R"({"_meta":{"io.modelcontextprotocol/serverInfo":)" + serverInfo + "}," + cache +
                R"("capabilities":{"tools":{"listChanged":false}},"resultType":"complete",)"
                R"("supportedVersions":["2026-07-28","2025-11-25","2025-06-18","2025-03-26",)"
                R"("2024-11-05"],"ttlMs":3600000})");
  auto list =
      nlohmann::json::parse(post(fixture, modernBody("tools/list"), modern("tools/list")).body)
          .at("result");
  EXPECT_EQ(list["tools"].size(), 20U);
  list.erase("tools");
  EXPECT_EQ(list.dump(), R"({"_meta":{"io.modelcontextprotocol/serverInfo":)" + serverInfo + "}," +
                             cache + R"("resultType":"complete","ttlMs":3600000})");
  const Reply called = post(fixture, modernBody("tools/call", R"("name":"now_playing")"),
                            modern("tools/call", {kAuthorized}, "now_playing"));
  EXPECT_EQ(called.status(), "HTTP/1.1 200 OK");
  EXPECT_EQ(called.body,
            R"({"id":5,"jsonrpc":"2.0","result":{"_meta":{"io.modelcontextprotocol/serverInfo":)" +
                serverInfo +
                R"(},"content":[{"text":"now_playing is not available yet.","type":"text"}],)"
                R"("isError":true,"resultType":"complete"}})");
}

TEST(MCPEndpoint, NamesAModernClientByTheBridgeHeaderElseByItsClientInfo) {
  HostFixture fixture;
  EXPECT_EQ(post(fixture, modernBody("tools/list"), modern("tools/list")).status(),
            "HTTP/1.1 200 OK");
  EXPECT_EQ(lastClient(fixture), "Probe");
  EXPECT_EQ(fixture.settings.boolean(setting::kHasConnectedClient.name), std::optional(true));
  EXPECT_EQ(post(fixture, modernBody("tools/list"),
                 modern("tools/list", {kAuthorized, "X-Melodock-Client: Claude%20Desktop"}))
                .status(),
            "HTTP/1.1 200 OK");
  EXPECT_EQ(lastClient(fixture), "Claude Desktop");
  // A header that cannot be read names nobody, so the client's own info counts.
  EXPECT_EQ(post(fixture, modernBody("tools/list"),
                 modern("tools/list", {kAuthorized, "X-Melodock-Client: %FF"}))
                .status(),
            "HTTP/1.1 200 OK");
  EXPECT_EQ(lastClient(fixture), "Probe");
}

}  // namespace
}  // namespace melodock
