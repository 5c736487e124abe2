// The MCP endpoint in the modern era through the real HTTP server: the host's own
// checks first, then discover, the twenty tools and the client's name.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

using testing::HostFixture;
using testing::runOn;

struct Reply {
  std::string status;  // the status line without its end
  std::string body;
};

const std::string kMeta =
    R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
    R"("io.modelcontextprotocol/clientInfo":{"name":"probe","title":"Probe","version":"2"},)"
    R"("io.modelcontextprotocol/clientCapabilities":{}})";

std::string modern(const std::string& method, const std::string& params = "") {
  return R"({"jsonrpc":"2.0","id":5,"method":")" + method + R"(","params":{)" + params +
         (params.empty() ? "" : ",") + kMeta + "}}";
}

// One POST with the modern headers for `method` and the `extra` header lines.
Reply post(HostFixture& fixture, const std::string& method, const std::string& body,
           const std::vector<std::string>& extra, const std::string& name = "") {
  std::string request = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(fixture.port) +
                        "\r\nAccept: application/json, text/event-stream\r\n"
                        "Content-Type: application/json\r\nMCP-Protocol-Version: 2026-07-28\r\n"
                        "Mcp-Method: " +
                        method + "\r\n";
  if (!name.empty()) request += "Mcp-Name: " + name + "\r\n";
  for (const auto& header : extra) request += header + "\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  const auto received =
      testing::exchange(static_cast<std::uint16_t>(fixture.port), request).received;
  const auto line = received.find("\r\n");
  const auto end = received.find("\r\n\r\n");
  if (end == std::string::npos) return {received.substr(0, line), ""};
  return {received.substr(0, line), received.substr(end + 4)};
}

const std::string kAuthorized = "Authorization: Bearer secret";

std::optional<std::string> lastClient(HostFixture& fixture) {
  return runOn(fixture.main, [&] { return fixture.status.lastClient(); });
}

TEST(ModernEndpoint, ChecksTheTokenHostAndOriginBeforeTheModernRules) {
  HostFixture fixture;
  fixture.start();
  struct Row {
    const char* name;
    std::vector<std::string> headers;
    std::string status;
  };
  const std::vector<Row> rows = {
      {"no token", {}, "HTTP/1.1 401 Unauthorized"},
      {"wrong token", {"Authorization: Bearer nope"}, "HTTP/1.1 401 Unauthorized"},
      {"foreign Origin", {kAuthorized, "Origin: http://evil.test"}, "HTTP/1.1 403 Forbidden"},
      {"authorized", {kAuthorized}, "HTTP/1.1 400 Bad Request"},
  };
  // The method header disagrees with the body: only a request past the host's own
  // checks may learn that.
  const std::string body = modern("server/discover");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(post(fixture, "tools/list", body, row.headers).status, row.status);
  }
  const Reply mismatched = post(fixture, "tools/list", body, {kAuthorized});
  EXPECT_EQ(nlohmann::json::parse(mismatched.body).at("error").at("code"), -32020);
  EXPECT_EQ(post(fixture, "server/discover", body, {kAuthorized}).status, "HTTP/1.1 200 OK");
  const Reply unknown = post(fixture, "prompts/list", modern("prompts/list"), {kAuthorized});
  EXPECT_EQ(unknown.status, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(nlohmann::json::parse(unknown.body).at("error").at("code"), -32601);
}

TEST(ModernEndpoint, DiscoversListsAndCallsTheToolsStatelessly) {
  HostFixture fixture;
  fixture.start();
  const std::string serverInfo = R"({"name":"melodock","title":"Melodock","version":"1.0"})";

  const Reply discovered =
      post(fixture, "server/discover", modern("server/discover"), {kAuthorized});
  ASSERT_EQ(discovered.status, "HTTP/1.1 200 OK");
  const auto discover = nlohmann::json::parse(discovered.body).at("result");
  EXPECT_EQ(discover.at("supportedVersions").dump(),
            R"(["2026-07-28","2025-11-25","2025-06-18","2025-03-26","2024-11-05"])");
  EXPECT_EQ(discover.at("capabilities").dump(), R"({"tools":{"listChanged":false}})");
  EXPECT_EQ(discover.at("_meta").at("io.modelcontextprotocol/serverInfo").dump(), serverInfo);
  EXPECT_EQ(discover.at("resultType"), "complete");
  EXPECT_EQ(discover.at("ttlMs"), 3600000);
  EXPECT_EQ(discover.at("cacheScope"), "public");
  const std::string instructions = discover.at("instructions");
  EXPECT_EQ(instructions.rfind("You are the user's DJ, playing Apple Music through the Melodock "
                               "app on their computer.",
                               0),
            0U);

  const Reply listed = post(fixture, "tools/list", modern("tools/list"), {kAuthorized});
  ASSERT_EQ(listed.status, "HTTP/1.1 200 OK");
  const auto list = nlohmann::json::parse(listed.body).at("result");
  EXPECT_EQ(list.at("tools").size(), 20U);
  EXPECT_EQ(list.at("resultType"), "complete");
  EXPECT_EQ(list.at("ttlMs"), 3600000);
  EXPECT_EQ(list.at("cacheScope"), "public");
  EXPECT_EQ(list.at("_meta").at("io.modelcontextprotocol/serverInfo").dump(), serverInfo);

  const Reply called = post(fixture, "tools/call", modern("tools/call", R"("name":"now_playing")"),
                            {kAuthorized}, "now_playing");
  EXPECT_EQ(called.status, "HTTP/1.1 200 OK");
  EXPECT_EQ(called.body,
            R"({"id":5,"jsonrpc":"2.0","result":{"_meta":{"io.modelcontextprotocol/serverInfo":)" +
                serverInfo +
                R"(},"content":[{"text":"now_playing is not available yet.","type":"text"}],)"
                R"("isError":true,"resultType":"complete"}})");
}

TEST(ModernEndpoint, NamesTheClientByTheBridgeHeaderElseByItsClientInfo) {
  HostFixture fixture;
  fixture.start();
  EXPECT_EQ(post(fixture, "tools/list", modern("tools/list"), {kAuthorized}).status,
            "HTTP/1.1 200 OK");
  EXPECT_EQ(lastClient(fixture), "Probe");
  EXPECT_EQ(fixture.settings.boolean("hasConnectedClient"), std::optional(true));
  EXPECT_EQ(post(fixture, "tools/list", modern("tools/list"),
                 {kAuthorized, "X-Melodock-Client: Claude%20Desktop"})
                .status,
            "HTTP/1.1 200 OK");
  EXPECT_EQ(lastClient(fixture), "Claude Desktop");
  // A header that cannot be read names nobody, so the client's own info counts.
  EXPECT_EQ(
      post(fixture, "tools/list", modern("tools/list"), {kAuthorized, "X-Melodock-Client: %FF"})
          .status,
      "HTTP/1.1 200 OK");
  EXPECT_EQ(lastClient(fixture), "Probe");
}

}  // namespace
}  // namespace melodock
