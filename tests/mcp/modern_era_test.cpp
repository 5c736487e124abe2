// The modern era over the stateless HTTP transport, byte for byte.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <nlohmann/json.hpp>

#include "mcp/http_request_validators.h"
#include "mcp/modern_request.h"
#include "mcp/server.h"
#include "mcp/stateless_http_server_transport.h"
#include "mcp/tool.h"

namespace mcp {
namespace {

struct Answer {
  int status = 0;
  std::string body;
};

template <class F>
void runToEnd(F body) {
  asio::io_context io;
  asio::co_spawn(io, std::move(body), [](const std::exception_ptr& failure) {
    if (failure) std::rethrow_exception(failure);
  });
  io.run_for(std::chrono::seconds(30));  // a guard against a hang, not a measure
  EXPECT_TRUE(io.stopped()) << "the exchange never finished";
}

// One exchange as the host makes it, with a tool "echo" answering its `text`; the
// names the modern hook was told are added to `clients`.
Answer exchange(HTTPRequest request, std::vector<std::string>* clients = nullptr,
                ServerConfiguration configuration = {.cacheTTLMilliseconds = 5000},
                Implementation info = {.name = "Test", .version = "1.0"}) {
  Answer answer;
  runToEnd([&]() -> asio::awaitable<void> {
    auto transport = std::make_shared<StatelessHTTPServerTransport>();
    Server server(info, {.tools = ServerCapabilities::Tools{.listChanged = false}}, configuration,
                  "Be brief.");
    server.withMethodHandler<ListTools>(
        [](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
          co_return ListTools::Result{
              .tools = {Tool{.name = "echo",
                             .description = "Echoes.",
                             .inputSchema = Value::object({{"type", "object"}})}}};
        });
    server.withMethodHandler<CallTool>(
        [](CallTool::Parameters call) -> asio::awaitable<CallTool::Result> {
          const Value arguments = call.arguments ? Value(*call.arguments) : Value();
          const Value* text = arguments.find("text");
          CallTool::Result result{
              .content = {Tool::Content::text(text ? text->description() : "")}};
          // What the tool is given of the request's `_meta`.
          if (text && text->description() == "show meta") {
            result.content = {
                Tool::Content::text(call.meta ? Value(*call.meta).toJSON().dump() : "none")};
          }
          // A result with metadata of its own keeps it beside the server's.
          if (text && text->description() == "meta") {
            result.meta = Value::object({{"com.example/trace", Value("t1")}});
          }
          co_return result;
        });
    server.onModernClient([clients](const Client::Info& client) -> asio::awaitable<void> {
      if (clients) clients->push_back(client.name);
      co_return;
    });
    co_await server.start(transport);
    const HTTPResponse response = co_await transport->handleRequest(std::move(request));
    answer = {response.statusCode(), response.bodyData().value_or("")};
    co_await server.stop();
  });
  return answer;
}

const std::string kMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientInfo":{"name":"probe","version":"2"},)"
                          R"("io.modelcontextprotocol/clientCapabilities":{}})";

// A modern request; `params` are the members besides `_meta`.
std::string body(const std::string& method, const std::string& params = "",
                 const std::string& meta = kMeta) {
  return R"({"jsonrpc":"2.0","id":7,"method":")" + method + R"(","params":{)" + params +
         (params.empty() || meta.empty() ? "" : ",") + meta + "}}";
}

// A POST with the modern headers for `method`; `changes` replace them, an empty
// value removes one.
HTTPRequest post(const std::string& method, std::string bytes, const HTTPHeaders& changes = {}) {
  HTTPHeaders headers = {{"Host", "127.0.0.1:47291"},
                         {"Accept", "application/json, text/event-stream"},
                         {"Content-Type", "application/json"},
                         {"MCP-Protocol-Version", "2026-07-28"},
                         {"Mcp-Method", method}};
  if (method == "tools/call") headers["Mcp-Name"] = "echo";
  for (const auto& [name, value] : changes) {
    if (value.empty()) {
      headers.erase(name);
    } else {
      headers[name] = value;
    }
  }
  return {"POST", std::move(headers), std::move(bytes), "/mcp"};
}

std::string failure(std::int64_t code, const std::string& message, const std::string& data = "") {
  return R"({"error":{"code":)" + std::to_string(code) +
         (data.empty() ? "" : R"(,"data":)" + data) + R"(,"message":")" + message +
         R"("},"id":7,"jsonrpc":"2.0"})";
}

std::string mismatch(const std::string& message) { return failure(-32020, message); }

const std::string kServerMeta =
    R"("_meta":{"io.modelcontextprotocol/serverInfo":{"name":"Test","version":"1.0"}})";
const std::string kCall = R"("name":"echo","arguments":{"text":"hi"})";

TEST(ModernEra, ServesDiscoverListAndCallStatelessly) {
  struct Row {
    const char* name;
    HTTPRequest request;
    int status;
    std::string body;
  };
  const std::vector<Row> rows = {
      {"discover", post("server/discover", body("server/discover")), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"cacheScope":"public","capabilities":{"tools":{"listChanged":false}},)"
           R"("instructions":"Be brief.","resultType":"complete","supportedVersions":)"
           R"(["2026-07-28","2025-11-25","2025-06-18","2025-03-26","2024-11-05"],"ttlMs":5000}})"},
      {"tools/list", post("tools/list", body("tools/list")), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"cacheScope":"public","resultType":"complete","tools":[{"description":"Echoes.",)"
           R"("inputSchema":{"type":"object"},"name":"echo"}],"ttlMs":5000}})"},
      {"tools/call", post("tools/call", body("tools/call", kCall)), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"content":[{"text":"hi","type":"text"}],"resultType":"complete"}})"},
      {"tools/call with a Base64 name",
       post("tools/call", body("tools/call", kCall), {{"Mcp-Name", "=?base64?ZWNobw==?="}}), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"content":[{"text":"hi","type":"text"}],"resultType":"complete"}})"},
      {"a result text full of JSON's own characters",
       post("tools/call", body("tools/call", R"("name":"echo","arguments":{"text":"}{\"],:\\"})")),
       200,
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"content":[{"text":"}{\"],:\\","type":"text"}],"resultType":"complete"}})"},
      {"a result with a _meta of its own",
       post("tools/call", body("tools/call", R"("name":"echo","arguments":{"text":"meta"})")), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{"_meta":{"com.example/trace":"t1",)"
       R"("io.modelcontextprotocol/serverInfo":{"name":"Test","version":"1.0"}},)"
       R"("content":[{"text":"meta","type":"text"}],"resultType":"complete"}})"},
      {"header names in any case",
       post("tools/list", body("tools/list"),
            {{"MCP-Protocol-Version", ""},
             {"Mcp-Method", ""},
             {"mcp-protocol-version", "2026-07-28"},
             {"MCP-METHOD", "tools/list"}}),
       200, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = exchange(row.request);
    EXPECT_EQ(answer.status, row.status);
    if (!row.body.empty()) {
      EXPECT_EQ(answer.body, row.body);
    }
  }
}

// The era's own keys are the server's; a tool still gets the rest of `_meta`, and the
// client is still named from them.
TEST(ModernEra, GivesAToolTheMetaBesidesTheErasOwnKeys) {
  struct Row {
    const char* name;
    std::string meta;
    std::string seen;
  };
  const std::string era = R"("io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientInfo":{"name":"probe","version":"2"},)"
                          R"("io.modelcontextprotocol/clientCapabilities":{})";
  const std::vector<Row> rows = {
      {"only the era's keys", R"("_meta":{)" + era + "}", "none"},
      {"a key of the client's own", R"("_meta":{"com.example/trace":"t1",)" + era + "}",
       R"({"com.example/trace":"t1"})"},
      {"a progress token", R"("_meta":{)" + era + R"(,"progressToken":5})",
       R"({"progressToken":5})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> clients;
    const Answer answer = exchange(
        post("tools/call",
             body("tools/call", R"("name":"echo","arguments":{"text":"show meta"})", row.meta)),
        &clients);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
                               R"(,"content":[{"text":")" +
                               nlohmann::json(row.seen).dump().substr(1) +
                               R"(,"type":"text"}],"resultType":"complete"}})");
    EXPECT_EQ(clients, std::vector<std::string>{"probe"});
  }
}

TEST(ModernEra, RefusesWhatTheRevisionRefusesWithItsCodesAndStatuses) {
  struct Row {
    const char* name;
    HTTPRequest request;
    int status;
    std::string body;
  };
  const std::string noVersion = R"("_meta":{"io.modelcontextprotocol/clientCapabilities":{}})";
  const std::string noCapabilities =
      R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28"})";
  const std::string future = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2099-01-01",)"
                             R"("io.modelcontextprotocol/clientCapabilities":{}})";
  const std::vector<Row> rows = {
      {"no protocol version in _meta", post("tools/list", body("tools/list", "", noVersion)), 400,
       failure(
           -32602,
           "Invalid params: Missing required _meta field io.modelcontextprotocol/protocolVersion",
           R"({"detail":"Missing required _meta field io.modelcontextprotocol/protocolVersion"})")},
      {"no client capabilities in _meta",
       post("tools/list", body("tools/list", "", noCapabilities)), 400,
       failure(
           -32602,
           "Invalid params: Missing required _meta field "
           "io.modelcontextprotocol/clientCapabilities",
           R"({"detail":"Missing required _meta field io.modelcontextprotocol/clientCapabilities"})")},
      {"modern header, no _meta", post("tools/list", body("tools/list", "", "")), 400,
       failure(
           -32602,
           "Invalid params: Missing required _meta field io.modelcontextprotocol/protocolVersion",
           R"({"detail":"Missing required _meta field io.modelcontextprotocol/protocolVersion"})")},
      {"discover without params",
       post("server/discover", R"({"jsonrpc":"2.0","id":7,"method":"server/discover"})"), 400,
       failure(
           -32602,
           "Invalid params: Missing required _meta field io.modelcontextprotocol/protocolVersion",
           R"({"detail":"Missing required _meta field io.modelcontextprotocol/protocolVersion"})")},
      {"unsupported version",
       post("server/discover", body("server/discover", "", future),
            {{"MCP-Protocol-Version", "2099-01-01"}}),
       400,
       failure(-32022, "Unsupported protocol version",
               R"({"requested":"2099-01-01","supported":["2026-07-28","2025-11-25",)"
               R"("2025-06-18","2025-03-26","2024-11-05"]})")},
      {"unsupported version, header disagreeing",
       post("server/discover", body("server/discover", "", future)), 400,
       mismatch("Header mismatch: MCP-Protocol-Version header value '2026-07-28' does not match "
                "body value '2099-01-01'")},
      {"no version header", post("tools/list", body("tools/list"), {{"MCP-Protocol-Version", ""}}),
       400, mismatch("Header mismatch: Missing required MCP-Protocol-Version header")},
      {"earlier version header",
       post("tools/list", body("tools/list"), {{"MCP-Protocol-Version", "2025-11-25"}}), 400,
       mismatch("Header mismatch: MCP-Protocol-Version header value '2025-11-25' does not match "
                "body value '2026-07-28'")},
      {"no method header", post("tools/list", body("tools/list"), {{"Mcp-Method", ""}}), 400,
       mismatch("Header mismatch: Missing required Mcp-Method header")},
      {"method header of another method",
       post("tools/list", body("tools/list"), {{"Mcp-Method", "tools/call"}}), 400,
       mismatch("Header mismatch: Mcp-Method header value 'tools/call' does not match body "
                "value 'tools/list'")},
      {"method header in another case",
       post("tools/list", body("tools/list"), {{"Mcp-Method", "Tools/List"}}), 400,
       mismatch("Header mismatch: Mcp-Method header value 'Tools/List' does not match body "
                "value 'tools/list'")},
      {"no name header", post("tools/call", body("tools/call", kCall), {{"Mcp-Name", ""}}), 400,
       mismatch("Header mismatch: Missing required Mcp-Name header")},
      {"name header of another tool",
       post("tools/call", body("tools/call", kCall), {{"Mcp-Name", "play_songs"}}), 400,
       mismatch("Header mismatch: Mcp-Name header value 'play_songs' does not match body value "
                "'echo'")},
      {"name header not Base64",
       post("tools/call", body("tools/call", kCall), {{"Mcp-Name", "=?base64?e!?="}}), 400,
       mismatch("Header mismatch: Mcp-Name header value is not valid Base64")},
      {"unknown method", post("prompts/list", body("prompts/list")), 404,
       failure(-32601, "Method not found: Unknown method: prompts/list",
               R"({"detail":"Unknown method: prompts/list"})")},
      {"initialize is not modern", post("initialize", body("initialize")), 404,
       failure(-32601, "Method not found: Unknown method: initialize",
               R"({"detail":"Unknown method: initialize"})")},
      {"ping is not modern", post("ping", body("ping")), 404,
       failure(-32601, "Method not found: Unknown method: ping",
               R"({"detail":"Unknown method: ping"})")},
      {"Origin checked first",
       post("tools/list", body("tools/list"),
            {{"Origin", "http://evil.test"}, {"MCP-Protocol-Version", ""}}),
       403,
       R"({"error":{"code":-32600,"message":"Invalid Request: Forbidden: Origin not allowed"},)"
       R"("id":null,"jsonrpc":"2.0"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = exchange(row.request);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_EQ(answer.body, row.body);
  }
}

TEST(ModernEra, LeavesRequestsWithoutTheModernMetaToTheEarlierEra) {
  const std::string earlier = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2025-11-25",)"
                              R"("io.modelcontextprotocol/clientCapabilities":{}})";
  const std::string listed =
      R"({"id":7,"jsonrpc":"2.0","result":{"tools":[{"description":"Echoes.",)"
      R"("inputSchema":{"type":"object"},"name":"echo"}]}})";
  struct Row {
    const char* name;
    HTTPRequest request;
    std::string body;
  };
  const std::vector<Row> rows = {
      {"no _meta",
       post("tools/list", body("tools/list", "", ""),
            {{"Mcp-Method", ""}, {"MCP-Protocol-Version", ""}}),
       listed},
      {"a progress token only",
       post("tools/list", body("tools/list", "", R"("_meta":{"progressToken":1})"),
            {{"MCP-Protocol-Version", "2025-06-18"}}),
       listed},
      {"an earlier version in _meta",
       post("tools/list", body("tools/list", "", earlier),
            {{"MCP-Protocol-Version", "2025-11-25"}}),
       listed},
      {"ping", post("ping", body("ping", "", ""), {{"MCP-Protocol-Version", ""}}),
       R"({"id":7,"jsonrpc":"2.0","result":{}})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = exchange(row.request);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, row.body);
  }
}

TEST(ModernEra, NeedsNoHandshakeEvenFromAStrictServer) {
  const Answer answer = exchange(post("tools/call", body("tools/call", kCall)), nullptr,
                                 {.strict = true, .cacheTTLMilliseconds = 0, .cachePublic = false});
  EXPECT_EQ(answer.status, 200);
  EXPECT_NE(answer.body.find(R"("resultType":"complete")"), std::string::npos) << answer.body;
  const Answer listed = exchange(post("tools/list", body("tools/list")), nullptr,
                                 {.strict = true, .cacheTTLMilliseconds = 0, .cachePublic = false});
  EXPECT_NE(listed.body.find(R"("cacheScope":"private")"), std::string::npos) << listed.body;
  EXPECT_NE(listed.body.find(R"("ttlMs":0)"), std::string::npos) << listed.body;
}

// Servers made one after another, each named in its own results.
TEST(ModernEra, NamesEachServerInItsResults) {
  for (const char* name : {"First", "Second", "First"}) {
    SCOPED_TRACE(name);
    const Answer answer = exchange(post("tools/list", body("tools/list")), nullptr,
                                   {.cacheTTLMilliseconds = 5000}, {.name = name, .version = "2"});
    EXPECT_NE(
        answer.body.find(R"(/serverInfo":{"name":")" + std::string(name) + R"(","version":"2"})"),
        std::string::npos)
        << answer.body;
  }
}

TEST(ModernEra, TellsTheHookTheClientOfEachRequestThatNamesOne) {
  std::vector<std::string> clients;
  (void)exchange(post("tools/list", body("tools/list")), &clients);
  const std::string anonymous =
      R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
      R"("io.modelcontextprotocol/clientCapabilities":{}})";
  (void)exchange(post("tools/list", body("tools/list", "", anonymous)), &clients);
  (void)exchange(post("tools/list", body("tools/list"), {{"Mcp-Method", ""}}), &clients);
  EXPECT_EQ(clients, std::vector<std::string>{"probe"});
}

TEST(ModernEra, ErrorsReadBackFromTheirWireForm) {
  struct Row {
    const char* name;
    MCPError error;
    std::string written;
  };
  const std::vector<Row> rows = {
      {"header mismatch", MCPError::headerMismatch("Header mismatch: x"),
       R"({"code":-32020,"message":"Header mismatch: x"})"},
      {"unsupported version", MCPError::unsupportedProtocolVersion("1900-01-01", {"2026-07-28"}),
       R"({"code":-32022,"data":{"requested":"1900-01-01","supported":["2026-07-28"]},)"
       R"("message":"Unsupported protocol version"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.error.toJSON().dump(), row.written);
    EXPECT_EQ(MCPError::fromJSON(nlohmann::json::parse(row.written)), row.error);
  }
}

}  // namespace
}  // namespace mcp
