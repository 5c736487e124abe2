// The bridge relaying modern-era lines with the headers the revision asks for.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "bridge/relay_message.h"
#include "tests/bridge/bridge_process.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using testing::Bridge;
using testing::RecordingEndpoint;
using testing::UserHome;

const std::string kMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientCapabilities":{}})";

std::string modern(const std::string& id, const std::string& method, const std::string& params) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + R"(","params":{)" + params +
         (params.empty() ? "" : ",") + kMeta + "}}";
}

TEST(RelayMessage, GivesAModernRequestTheHeadersOfItsOwnMeta) {
  using Headers = std::vector<std::string>;
  struct Row {
    const char* name;
    std::string line;
    std::optional<Headers> headers;
  };
  const std::vector<Row> rows = {
      {"discover", modern("1", "server/discover", ""),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: server/discover"}},
      {"tools/call", modern("2", "tools/call", R"("name":"now_playing")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: tools/call",
               "Mcp-Name: now_playing"}},
      {"a name outside ASCII", modern("3", "tools/call", R"("name":"café")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: tools/call",
               "Mcp-Name: =?base64?Y2Fmw6k=?="}},
      {"a name with a space at its end", modern("4", "prompts/get", R"("name":"padded ")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: prompts/get",
               "Mcp-Name: =?base64?cGFkZGVkIA==?="}},
      {"a name that looks encoded", modern("5", "tools/call", R"("name":"=?base64?literal?=")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: tools/call",
               "Mcp-Name: =?base64?PT9iYXNlNjQ/bGl0ZXJhbD89?="}},
      {"a resource", modern("6", "resources/read", R"("uri":"file:///a b")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: resources/read",
               "Mcp-Name: file:///a b"}},
      {"an unsupported version is sent as it is",
       R"({"jsonrpc":"2.0","id":7,"method":"tools/list","params":{"_meta":{)"
       R"("io.modelcontextprotocol/protocolVersion":"2099-01-01",)"
       R"("io.modelcontextprotocol/clientCapabilities":{}}}})",
       Headers{"MCP-Protocol-Version: 2099-01-01", "Mcp-Method: tools/list"}},
      {"earlier era", R"({"jsonrpc":"2.0","id":8,"method":"tools/list"})", std::nullopt},
      {"an earlier version in _meta",
       R"({"jsonrpc":"2.0","id":9,"method":"tools/list","params":{"_meta":{)"
       R"("io.modelcontextprotocol/protocolVersion":"2025-11-25"}}})",
       std::nullopt},
      {"a notification",
       R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{)" + kMeta + "}}",
       std::nullopt},
      {"no method", R"({"jsonrpc":"2.0","id":10,"params":{)" + kMeta + "}}", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(modernHeaders(nlohmann::json::parse(row.line)), row.headers);
  }
}

TEST(StdioBridge, SendsAModernLineWithItsOwnVersionBesideANegotiatedOne) {
  const std::string initialized =
      R"({"id":1,"jsonrpc":"2.0","result":{"protocolVersion":"2025-06-18"}})";
  const std::string refused =
      R"({"error":{"code":-32601,"message":"Method not found"},"id":3,"jsonrpc":"2.0"})";
  RecordingEndpoint endpoint([&](const RecordingEndpoint::Request& request) {
    if (request.body.find("initialize") != std::string::npos) return std::pair(200, initialized);
    if (request.body.find("prompts/list") != std::string::npos) return std::pair(404, refused);
    return std::pair(200, std::string(R"({"id":0,"jsonrpc":"2.0","result":{}})"));
  });
  UserHome home;
  home.storeSettings(R"({"port":)" + std::to_string(endpoint.port()) +
                     R"(,"token":"0123456789abcdef"})");

  const std::string initialize =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":"c","version":"1"}}})";
  const std::string call = modern("2", "tools/call", R"("name":"now_playing")");
  const std::string unknown = modern("3", "prompts/list", "");
  const std::string earlier = R"({"jsonrpc":"2.0","id":4,"method":"tools/list"})";
  Bridge bridge(home);
  bridge.write(initialize + "\n" + call + "\n" + unknown + "\n" + earlier + "\n");
  bridge.closeInput();
  EXPECT_EQ(bridge.readLine(10s), initialized);
  EXPECT_EQ(bridge.readLine(10s), R"({"id":0,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(bridge.readLine(10s), refused);  // a modern refusal is relayed as it came
  EXPECT_EQ(bridge.readLine(10s), R"({"id":0,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(bridge.exitStatus(10s), 0);

  const auto requests = endpoint.requests();
  ASSERT_EQ(requests.size(), 4U);
  EXPECT_EQ(requests[1].body, call);
  EXPECT_EQ(requests[1].header("MCP-Protocol-Version"), "2026-07-28");
  EXPECT_EQ(requests[1].header("Mcp-Method"), "tools/call");
  EXPECT_EQ(requests[1].header("Mcp-Name"), "now_playing");
  EXPECT_EQ(requests[1].header("X-Melodock-Client"), "c");
  EXPECT_EQ(requests[2].header("Mcp-Method"), "prompts/list");
  EXPECT_EQ(requests[2].header("Mcp-Name"), std::nullopt);
  EXPECT_EQ(requests[3].header("MCP-Protocol-Version"), "2025-06-18");
  EXPECT_EQ(requests[3].header("Mcp-Method"), std::nullopt);
}

}  // namespace
}  // namespace melodock
