// The stateless HTTP transport in both eras, byte for byte, as the host drives it.
#include "mcp/stateless_http_server_transport.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <nlohmann/json.hpp>

#include "mcp/http_request_validators.h"
#include "mcp/modern_request.h"
#include "mcp/server.h"
#include "mcp/tool.h"

namespace mcp {
namespace {

struct Answer {
  int status = 0;
  HTTPHeaders headers;
  std::string body;
};

Answer answerOf(const HTTPResponse& response) {
  return {response.statusCode(), response.headers(), response.bodyData().value_or("")};
}

template <class F>
void runToEnd(F body) {
  asio::io_context io;
  asio::co_spawn(io, std::move(body), [](const std::exception_ptr& failure) {
    if (failure) std::rethrow_exception(failure);
  });
  io.run_for(std::chrono::seconds(30));  // a guard against a hang, not a measure
  EXPECT_TRUE(io.stopped()) << "the exchange never finished";
}

// One exchange as the host makes it: fresh transport and server, start, handle, stop.
// The tool "echo" answers its `text` and the X-Client header; "show meta" shows the
// `_meta` it was given, "meta" adds a `_meta` of its own, "structured" a
// `structuredContent`. The names the modern hook was told are added to `clients`.
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
        [](CallTool::Parameters call,
           const Server::HandlerContext& context) -> asio::awaitable<CallTool::Result> {
          const Value arguments = call.arguments ? Value(*call.arguments) : Value();
          const Value* given = arguments.find("text");
          const std::string text = given ? given->description() : "";
          const auto client =
              context.httpContext ? context.httpContext->header("X-Client") : std::nullopt;
          CallTool::Result result{
              .content = {Tool::Content::text(text + std::string(client.value_or("")))}};
          if (text == "show meta") {
            result.content = {
                Tool::Content::text(call.meta ? Value(*call.meta).toJSON().dump() : "none")};
          }
          if (text == "meta") result.meta = Value::object({{"com.example/trace", Value("t1")}});
          if (text == "structured") result.structuredContent = Value::object({{"n", Value(1)}});
          co_return result;
        });
    server.onModernClient([clients](const Client::Info& client) -> asio::awaitable<void> {
      if (clients) clients->push_back(client.name);
      co_return;
    });
    co_await server.start(transport);
    answer = answerOf(co_await transport->handleRequest(std::move(request)));
    co_await server.stop();
  });
  return answer;
}

// A POST as a client sends it; `changes` replace headers, an empty value removes one.
HTTPRequest post(std::string body, const HTTPHeaders& changes = {}) {
  HTTPHeaders headers = {{"Host", "127.0.0.1:47291"},
                         {"Accept", "application/json, text/event-stream"},
                         {"Content-Type", "application/json"}};
  for (const auto& [name, value] : changes) {
    if (value.empty()) {
      headers.erase(name);
    } else {
      headers[name] = value;
    }
  }
  return {"POST", std::move(headers), std::move(body), "/mcp"};
}

// A POST with the modern headers for `method`, then `changes`.
HTTPRequest modern(const std::string& method, std::string bytes, const HTTPHeaders& changes = {}) {
  HTTPHeaders headers = {{"MCP-Protocol-Version", "2026-07-28"}, {"Mcp-Method", method}};
  if (method == "tools/call") headers["Mcp-Name"] = "echo";
  for (const auto& [name, value] : changes) headers[name] = value;
  return post(std::move(bytes), headers);
}

std::string refusal(std::int64_t code, const std::string& message, const std::string& detail) {
  return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message + ": " +
         detail + R"("},"id":null,"jsonrpc":"2.0"})";
}
std::string invalid(const std::string& detail) {
  return refusal(-32600, "Invalid Request", detail);
}
std::string unparsable(const std::string& detail) {
  return refusal(-32700, "Parse error: Invalid JSON", detail);
}

const HTTPHeaders kNone = {};
const HTTPHeaders kJSON = {{"Content-Type", "application/json"}};
const HTTPHeaders kAllow = {{"Allow", "POST"}, {"Content-Type", "application/json"}};
const std::string kList = R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})";

const std::string kMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientInfo":{"name":"probe","version":"2"},)"
                          R"("io.modelcontextprotocol/clientCapabilities":{}})";

// A modern request; `params` are the members besides `_meta`.
std::string body(const std::string& method, const std::string& params = "",
                 const std::string& meta = kMeta) {
  return R"({"jsonrpc":"2.0","id":7,"method":")" + method + R"(","params":{)" + params +
         (params.empty() || meta.empty() ? "" : ",") + meta + "}}";
}

std::string failure(std::int64_t code, const std::string& message, const std::string& data = "") {
  return R"({"error":{"code":)" + std::to_string(code) +
         (data.empty() ? "" : R"(,"data":)" + data) + R"(,"message":")" + message +
         R"("},"id":7,"jsonrpc":"2.0"})";
}

std::string mismatch(const std::string& detail) {
  return failure(-32020, "Header mismatch: " + detail);
}

// An error whose message is its kind and detail, with the detail as its data too.
std::string failed(std::int64_t code, const std::string& kind, const std::string& detail) {
  return failure(code, kind + ": " + detail, R"({"detail":")" + detail + "\"}");
}

const std::string kServerMeta =
    R"("_meta":{"io.modelcontextprotocol/serverInfo":{"name":"Test","version":"1.0"}})";
const std::string kCall = R"("name":"echo","arguments":{"text":"hi"})";

TEST(StatelessHTTPServerTransport, AnswersEachRequestWithItsStatusHeadersAndBody) {
  struct Row {
    const char* name;
    HTTPRequest request;
    int status;
    HTTPHeaders headers;
    std::string body;  // not compared when empty on a 200
  };
  const std::string badMessage = unparsable("Invalid JSON-RPC message");
  const std::string misdirected = invalid("Misdirected Request: Host header not allowed");
  const std::string forbidden = invalid("Forbidden: Origin not allowed");
  const std::string notAcceptable = invalid("Not Acceptable: Client must accept application/json");
  const std::string unsupported =
      invalid("Unsupported Media Type: Content-Type must be application/json");
  const std::vector<Row> rows = {
      {"DELETE", {"DELETE", {}, std::nullopt, "/mcp"}, 405, kAllow, invalid("Method Not Allowed")},
      {"lower-case post",
       {"post", {{"Accept", "application/json"}, {"Content-Type", "application/json"}}, kList, "/"},
       200,
       kJSON,
       R"({"id":1,"jsonrpc":"2.0","result":{"tools":[{"description":"Echoes.","inputSchema":{"type":"object"},"name":"echo"}]}})"},
      {"empty body, no headers at all",
       {"POST", {}, "", "/mcp"},
       400,
       kJSON,
       unparsable("Empty request body")},
      {"batch", post("[" + kList + "]"), 400, kJSON, badMessage},
      {"truncated", post(R"({"jsonrpc":"2.0","id":1,"method":)"), 400, kJSON, badMessage},
      {"other machine's Host", post(kList, {{"Host", "example.com"}}), 421, kJSON, misdirected},
      {"Origin without a port", post(kList, {{"Origin", "http://127.0.0.1"}}), 403, kJSON,
       forbidden},
      {"loopback Origin", post(kList, {{"Origin", "http://localhost:47291"}}), 200, kJSON, ""},
      {"wildcard Accept", post(kList, {{"Accept", "*/*"}}), 406, kJSON, notAcceptable},
      {"JSON-only Accept with quality", post(kList, {{"Accept", " application/json;q=0.9 "}}), 200,
       kJSON, ""},
      {"text/plain body", post(kList, {{"Content-Type", "text/plain"}}), 415, kJSON, unsupported},
      {"Content-Type with charset",
       post(kList, {{"Content-Type", "application/json; charset=utf-8"}}), 200, kJSON, ""},
      {"Content-Type letter case", post(kList, {{"Content-Type", "Application/JSON"}}), 415, kJSON,
       unsupported},
      {"unsupported version on tools/list", post(kList, {{"MCP-Protocol-Version", "2099-01-01"}}),
       400, kJSON,
       invalid("Bad Request: Unsupported protocol version: 2099-01-01. Supported: 2024-11-05, "
               "2025-03-26, 2025-06-18, 2025-11-25")},
      {"unsupported version on initialize",
       post(
           R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2099-01-01"}})",
           {{"MCP-Protocol-Version", "2099-01-01"}}),
       200, kJSON,
       R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},"instructions":"Be brief.","protocolVersion":"2025-11-25","serverInfo":{"name":"Test","version":"1.0"}}})"},
      {"supported version", post(kList, {{"mcp-protocol-version", "2025-03-26"}}), 200, kJSON, ""},
      {"notification", post(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), 202,
       kNone, ""},
      {"response", post(R"({"jsonrpc":"2.0","id":5,"result":{}})"), 202, kNone, ""},
      {"wrong JSON-RPC version", post(R"({"jsonrpc":"1.0","id":"v","method":"ping"})"), 200, kJSON,
       R"({"error":{"code":-32700,"data":{"detail":"Invalid message format"},"message":"Parse error: Invalid JSON: Invalid message format"},"id":"v","jsonrpc":"2.0"})"},
      {"tools/call",
       post(
           R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"echo","arguments":{"text":"hi/"}}})",
           {{"X-Client", "!"}}),
       200, kJSON,
       R"({"id":2,"jsonrpc":"2.0","result":{"content":[{"text":"hi/!","type":"text"}]}})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = exchange(row.request);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_EQ(answer.headers, row.headers);
    if (!row.body.empty() || row.status != 200) {
      EXPECT_EQ(answer.body, row.body);
    }
  }
}

TEST(StatelessHTTPServerTransport, RefusesASecondConnectAndAnswersNotFoundOnceTerminated) {
  runToEnd([]() -> asio::awaitable<void> {
    auto transport = std::make_shared<StatelessHTTPServerTransport>();
    co_await transport->connect();
    try {
      co_await transport->connect();
      ADD_FAILURE() << "connected twice";
    } catch (const MCPError& error) {
      EXPECT_EQ(error.errorDescription(), "Internal error: Transport already started");
    }
    co_await transport->disconnect();
    const Answer answer = answerOf(co_await transport->handleRequest(post(kList)));
    EXPECT_EQ(answer.status, 404);
    EXPECT_EQ(answer.headers, kJSON);
    EXPECT_EQ(answer.body, invalid("Not Found: Transport has been terminated"));
  });
}

TEST(StatelessHTTPServerTransport, AnswersServerErrorWhenTerminatedBeforeTheHandlerAnswers) {
  runToEnd([]() -> asio::awaitable<void> {
    auto transport = std::make_shared<StatelessHTTPServerTransport>();
    Server server({.name = "Test", .version = "1.0"}, {});
    bool entered = false;
    server.withMethodHandler<CallTool>(
        [&](CallTool::Parameters) -> asio::awaitable<CallTool::Result> {
          entered = true;
          asio::steady_timer never(co_await asio::this_coro::executor,
                                   asio::steady_timer::time_point::max());
          co_await never.async_wait(asio::use_awaitable);
          co_return CallTool::Result{};
        });
    co_await server.start(transport);
    std::optional<Answer> answer;
    const auto executor = co_await asio::this_coro::executor;
    asio::co_spawn(
        executor,
        [&]() -> asio::awaitable<void> {
          answer = answerOf(co_await transport->handleRequest(
              post(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"x"}})")));
        },
        [](const std::exception_ptr& failure) {
          if (failure) std::rethrow_exception(failure);
        });
    while (!entered) co_await asio::post(executor, asio::use_awaitable);
    co_await server.stop();
    while (!answer) co_await asio::post(executor, asio::use_awaitable);
    EXPECT_EQ(answer->status, 500);
    EXPECT_EQ(answer->headers, kJSON);
    EXPECT_EQ(
        answer->body,
        R"({"error":{"code":-32603,"message":"Internal error: Error processing request: Connection closed"},"id":null,"jsonrpc":"2.0"})");
  });
}

// Discover, list and call with the app's own server are the host's endpoint tests.
TEST(StatelessHTTPServerTransport, ServesModernCallsWhoseNamesAndTextsNeedCare) {
  struct Row {
    const char* name;
    HTTPRequest request;
    std::string body;
  };
  const std::string called =
      R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
      R"(,"content":[{"text":"hi","type":"text"}],"resultType":"complete"}})";
  const std::vector<Row> rows = {
      {"a Base64 name",
       modern("tools/call", body("tools/call", kCall), {{"Mcp-Name", "=?base64?ZWNobw==?="}}),
       called},
      {"a result text full of JSON's own characters",
       modern("tools/call",
              body("tools/call", R"("name":"echo","arguments":{"text":"}{\"],:\\"})")),
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"content":[{"text":"}{\"],:\\","type":"text"}],"resultType":"complete"}})"},
      {"a result with a _meta of its own",
       modern("tools/call", body("tools/call", R"("name":"echo","arguments":{"text":"meta"})")),
       R"({"id":7,"jsonrpc":"2.0","result":{"_meta":{"com.example/trace":"t1",)"
       R"("io.modelcontextprotocol/serverInfo":{"name":"Test","version":"1.0"}},)"
       R"("content":[{"text":"meta","type":"text"}],"resultType":"complete"}})"},
      {"a result with a key after the era's own",
       modern("tools/call",
              body("tools/call", R"("name":"echo","arguments":{"text":"structured"})")),
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"content":[{"text":"structured","type":"text"}],"resultType":"complete",)"
           R"("structuredContent":{"n":1}}})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = exchange(row.request);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, row.body);
  }
}

// The era's own keys are the server's; a tool still gets the rest of `_meta`, and the
// hook is told the client that names itself there.
TEST(StatelessHTTPServerTransport, GivesAModernToolTheMetaBesidesTheErasOwnKeys) {
  struct Row {
    const char* name;
    std::string meta;
    std::string seen;
    std::vector<std::string> clients;
  };
  const std::string era = R"("io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientCapabilities":{})";
  const std::string probe =
      R"("io.modelcontextprotocol/clientInfo":{"name":"probe","version":"2"},)";
  const std::vector<Row> rows = {
      {"only the era's keys", R"("_meta":{)" + probe + era + "}", "none", {"probe"}},
      {"a client that names nobody", R"("_meta":{)" + era + "}", "none", {}},
      {"a key of the client's own",
       R"("_meta":{"com.example/trace":"t1",)" + probe + era + "}",
       R"({"com.example/trace":"t1"})",
       {"probe"}},
      {"a progress token",
       R"("_meta":{)" + probe + era + R"(,"progressToken":5})",
       R"({"progressToken":5})",
       {"probe"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> clients;
    const Answer answer = exchange(
        modern("tools/call",
               body("tools/call", R"("name":"echo","arguments":{"text":"show meta"})", row.meta)),
        &clients);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
                               R"(,"content":[{"text":")" +
                               nlohmann::json(row.seen).dump().substr(1) +
                               R"(,"type":"text"}],"resultType":"complete"}})");
    EXPECT_EQ(clients, row.clients);
  }
}

// Which header or `_meta` member each refusal is about; the hook hears of no request
// the transport refuses.
TEST(StatelessHTTPServerTransport, RefusesWhatTheModernRevisionRefuses) {
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
  const std::string missing = "Missing required _meta field io.modelcontextprotocol/";
  const std::vector<Row> rows = {
      {"no protocol version in _meta", modern("tools/list", body("tools/list", "", noVersion)), 400,
       failed(-32602, "Invalid params", missing + "protocolVersion")},
      {"no client capabilities in _meta",
       modern("tools/list", body("tools/list", "", noCapabilities)), 400,
       failed(-32602, "Invalid params", missing + "clientCapabilities")},
      {"discover without params",
       modern("server/discover", R"({"jsonrpc":"2.0","id":7,"method":"server/discover"})"), 400,
       failed(-32602, "Invalid params", missing + "protocolVersion")},
      {"unsupported version",
       modern("server/discover", body("server/discover", "", future),
              {{"MCP-Protocol-Version", "2099-01-01"}}),
       400,
       failure(-32022, "Unsupported protocol version",
               R"({"requested":"2099-01-01","supported":["2026-07-28","2025-11-25",)"
               R"("2025-06-18","2025-03-26","2024-11-05"]})")},
      {"unsupported version, header disagreeing",
       modern("server/discover", body("server/discover", "", future)), 400,
       mismatch("MCP-Protocol-Version header value '2026-07-28' does not match body value "
                "'2099-01-01'")},
      {"no version header",
       modern("tools/list", body("tools/list"), {{"MCP-Protocol-Version", ""}}), 400,
       mismatch("Missing required MCP-Protocol-Version header")},
      {"earlier version header",
       modern("tools/list", body("tools/list"), {{"MCP-Protocol-Version", "2025-11-25"}}), 400,
       mismatch("MCP-Protocol-Version header value '2025-11-25' does not match body value "
                "'2026-07-28'")},
      {"no method header", modern("tools/list", body("tools/list"), {{"Mcp-Method", ""}}), 400,
       mismatch("Missing required Mcp-Method header")},
      {"method header of another method",
       modern("tools/list", body("tools/list"), {{"Mcp-Method", "tools/call"}}), 400,
       mismatch("Mcp-Method header value 'tools/call' does not match body value 'tools/list'")},
      {"no name header", modern("tools/call", body("tools/call", kCall), {{"Mcp-Name", ""}}), 400,
       mismatch("Missing required Mcp-Name header")},
      {"name header of another tool",
       modern("tools/call", body("tools/call", kCall), {{"Mcp-Name", "play_songs"}}), 400,
       mismatch("Mcp-Name header value 'play_songs' does not match body value 'echo'")},
      {"name header not Base64",
       modern("tools/call", body("tools/call", kCall), {{"Mcp-Name", "=?base64?e!?="}}), 400,
       mismatch("Mcp-Name header value is not valid Base64")},
      {"unknown method", modern("prompts/list", body("prompts/list")), 404,
       failed(-32601, "Method not found", "Unknown method: prompts/list")},
      {"Origin checked first",
       modern("tools/list", body("tools/list"),
              {{"Origin", "http://evil.test"}, {"MCP-Protocol-Version", ""}}),
       403, invalid("Forbidden: Origin not allowed")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> clients;
    const Answer answer = exchange(row.request, &clients);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_EQ(answer.body, row.body);
    // An unknown method reaches the server, which has heard of the client by then.
    EXPECT_EQ(clients.size(), row.status == 404 ? 1U : 0U);
  }
}

TEST(StatelessHTTPServerTransport, LeavesRequestsWithoutTheModernMetaToTheEarlierEra) {
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
       modern("tools/list", body("tools/list", "", ""),
              {{"Mcp-Method", ""}, {"MCP-Protocol-Version", ""}}),
       listed},
      {"a progress token only",
       modern("tools/list", body("tools/list", "", R"("_meta":{"progressToken":1})"),
              {{"MCP-Protocol-Version", "2025-06-18"}}),
       listed},
      {"an earlier version in _meta",
       modern("tools/list", body("tools/list", "", earlier),
              {{"MCP-Protocol-Version", "2025-11-25"}}),
       listed},
      {"ping", modern("ping", body("ping", "", ""), {{"MCP-Protocol-Version", ""}}),
       R"({"id":7,"jsonrpc":"2.0","result":{}})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = exchange(row.request);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, row.body);
  }
}

// Without a handshake even when strict, with the cache hints and the name of the server
// each answer comes from.
TEST(StatelessHTTPServerTransport, ServesModernRequestsWithTheirServersOwnHintsAndName) {
  const Answer called = exchange(modern("tools/call", body("tools/call", kCall)), nullptr,
                                 {.strict = true, .cacheTTLMilliseconds = 0, .cachePublic = false});
  EXPECT_NE(called.body.find(R"("resultType":"complete")"), std::string::npos) << called.body;
  const Answer listed = exchange(modern("tools/list", body("tools/list")), nullptr,
                                 {.strict = true, .cacheTTLMilliseconds = 0, .cachePublic = false});
  EXPECT_NE(listed.body.find(R"("cacheScope":"private")"), std::string::npos) << listed.body;
  EXPECT_NE(listed.body.find(R"("ttlMs":0)"), std::string::npos) << listed.body;
  for (const char* name : {"First", "Second", "First"}) {
    SCOPED_TRACE(name);
    const Answer answer = exchange(modern("tools/list", body("tools/list")), nullptr,
                                   {.cacheTTLMilliseconds = 5000}, {.name = name, .version = "2"});
    EXPECT_NE(
        answer.body.find(R"(/serverInfo":{"name":")" + std::string(name) + R"(","version":"2"})"),
        std::string::npos)
        << answer.body;
  }
}

}  // namespace
}  // namespace mcp
