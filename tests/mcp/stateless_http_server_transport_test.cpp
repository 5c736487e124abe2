// The stateless HTTP transport in both eras, byte for byte, as the host drives it.
#include "mcp/stateless_http_server_transport.h"

#include <gtest/gtest.h>

#include <asio.hpp>

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

const std::string kMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientInfo":{"name":"probe","version":"2"},)"
                          R"("io.modelcontextprotocol/clientCapabilities":{}})";

// A modern request with the modern headers for `method` (the tool's name "echo" for a
// call), then `changes`; `params` are the members besides `meta`.
HTTPRequest modern(const std::string& method, const std::string& params = "",
                   const std::string& meta = kMeta, const HTTPHeaders& changes = {}) {
  HTTPHeaders headers = {{"MCP-Protocol-Version", "2026-07-28"}, {"Mcp-Method", method}};
  if (method == "tools/call") headers["Mcp-Name"] = "echo";
  for (const auto& [name, value] : changes) headers[name] = value;
  return post(R"({"jsonrpc":"2.0","id":7,"method":")" + method + R"(","params":{)" + params +
                  (params.empty() || meta.empty() ? "" : ",") + meta + "}}",
              headers);
}

// A modern call of "echo" with the text `text` (written as JSON writes it).
HTTPRequest call(const std::string& text, const std::string& meta = kMeta,
                 const HTTPHeaders& changes = {}) {
  return modern("tools/call", R"("name":"echo","arguments":{"text":")" + text + "\"}", meta,
                changes);
}

// An error answer; `data` is left out when empty.
std::string error(const std::string& id, std::int64_t code, const std::string& message,
                  const std::string& data = "") {
  return R"({"error":{"code":)" + std::to_string(code) +
         (data.empty() ? "" : R"(,"data":)" + data) + R"(,"message":")" + message + R"("},"id":)" +
         id + R"(,"jsonrpc":"2.0"})";
}
std::string invalid(const std::string& detail) {
  return error("null", -32600, "Invalid Request: " + detail);
}
std::string mismatch(const std::string& detail) {
  return error("7", -32020, "Header mismatch: " + detail);
}
// An error whose message is its kind and detail, with the detail as its data too.
std::string failed(std::int64_t code, const std::string& kind, const std::string& detail) {
  return error("7", code, kind + ": " + detail, R"({"detail":")" + detail + "\"}");
}

const std::string kServerMeta =
    R"("_meta":{"io.modelcontextprotocol/serverInfo":{"name":"Test","version":"1.0"}})";

// The answer to a modern call whose content is the one text `text` (as JSON writes it).
std::string echoed(const std::string& text) {
  return R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta + R"(,"content":[{"text":)" + text +
         R"(,"type":"text"}],"resultType":"complete"}})";
}

const HTTPHeaders kNone = {};
const HTTPHeaders kJSON = {{"Content-Type", "application/json"}};
const HTTPHeaders kAllow = {{"Allow", "POST"}, {"Content-Type", "application/json"}};
const std::string kList = R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})";
const std::string kListed =
    R"({"tools":[{"description":"Echoes.","inputSchema":{"type":"object"},"name":"echo"}]})";

// Discover, list and call with the app's own server are the host's endpoint tests. The
// hook hears of no request the transport refuses, nor of one of the earlier era.
TEST(StatelessHTTPServerTransport, AnswersEachRequestWithItsStatusHeadersAndBody) {
  struct Row {
    const char* name;
    HTTPRequest request;
    int status;
    std::string body;  // not compared when empty on a 200
    std::vector<std::string> clients = {};
    HTTPHeaders headers = kJSON;
  };
  const std::string badMessage =
      error("null", -32700, "Parse error: Invalid JSON: Invalid JSON-RPC message");
  const std::string unsupported =
      invalid("Unsupported Media Type: Content-Type must be application/json");
  // Which header or `_meta` member each modern refusal is about.
  const std::string noVersion = R"("_meta":{"io.modelcontextprotocol/clientCapabilities":{}})";
  const std::string noCapabilities =
      R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28"})";
  const std::string future = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2099-01-01",)"
                             R"("io.modelcontextprotocol/clientCapabilities":{}})";
  const std::string missing = "Missing required _meta field io.modelcontextprotocol/";
  const std::string earlier = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2025-11-25",)"
                              R"("io.modelcontextprotocol/clientCapabilities":{}})";
  // The era's own keys are the server's; a tool still gets the rest of `_meta`, and the
  // hook is told the client that names itself there.
  const std::string era = R"("io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientCapabilities":{})";
  const std::string probe =
      R"("io.modelcontextprotocol/clientInfo":{"name":"probe","version":"2"},)";
  const std::vector<std::string> probed = {"probe"};
  const std::vector<std::string> nobody;
  const HTTPHeaders jsonOnly = {{"Accept", "application/json"},
                                {"Content-Type", "application/json"}};
  const std::vector<Row> rows = {
      {"DELETE", HTTPRequest{"DELETE", {}, std::nullopt, "/mcp"}, 405,
       invalid("Method Not Allowed"), nobody, kAllow},
      {"lower-case post", HTTPRequest{"post", jsonOnly, kList, "/"}, 200,
       R"({"id":1,"jsonrpc":"2.0","result":)" + kListed + "}"},
      {"empty body, no headers at all", HTTPRequest{"POST", {}, "", "/mcp"}, 400,
       error("null", -32700, "Parse error: Invalid JSON: Empty request body")},
      {"batch", post("[" + kList + "]"), 400, badMessage},
      {"truncated", post(R"({"jsonrpc":"2.0","id":1,"method":)"), 400, badMessage},
      {"other machine's Host", post(kList, {{"Host", "example.com"}}), 421,
       invalid("Misdirected Request: Host header not allowed")},
      {"Origin without a port", post(kList, {{"Origin", "http://127.0.0.1"}}), 403,
       invalid("Forbidden: Origin not allowed")},
      {"loopback Origin", post(kList, {{"Origin", "http://localhost:47291"}}), 200, ""},
      {"wildcard Accept", post(kList, {{"Accept", "*/*"}}), 406,
       invalid("Not Acceptable: Client must accept application/json")},
      {"JSON-only Accept with quality", post(kList, {{"Accept", " application/json;q=0.9 "}}), 200,
       ""},
      {"text/plain body", post(kList, {{"Content-Type", "text/plain"}}), 415, unsupported},
      {"Content-Type with charset",
       post(kList, {{"Content-Type", "application/json; charset=utf-8"}}), 200, ""},
      {"Content-Type letter case", post(kList, {{"Content-Type", "Application/JSON"}}), 415,
       unsupported},
      {"unsupported version on tools/list", post(kList, {{"MCP-Protocol-Version", "2099-01-01"}}),
       400,
       invalid("Bad Request: Unsupported protocol version: 2099-01-01. Supported: 2024-11-05, "
               "2025-03-26, 2025-06-18, 2025-11-25")},
      {"unsupported version on initialize",
       post(
           R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2099-01-01"}})",
           {{"MCP-Protocol-Version", "2099-01-01"}}),
       200,
       R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},"instructions":"Be brief.","protocolVersion":"2025-11-25","serverInfo":{"name":"Test","version":"1.0"}}})"},
      {"supported version", post(kList, {{"mcp-protocol-version", "2025-03-26"}}), 200, ""},
      {"notification", post(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), 202, "",
       nobody, kNone},
      {"response", post(R"({"jsonrpc":"2.0","id":5,"result":{}})"), 202, "", nobody, kNone},
      {"wrong JSON-RPC version", post(R"({"jsonrpc":"1.0","id":"v","method":"ping"})"), 200,
       R"({"error":{"code":-32700,"data":{"detail":"Invalid message format"},"message":"Parse error: Invalid JSON: Invalid message format"},"id":"v","jsonrpc":"2.0"})"},
      {"tools/call",
       post(
           R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"echo","arguments":{"text":"hi/"}}})",
           {{"X-Client", "!"}}),
       200, R"({"id":2,"jsonrpc":"2.0","result":{"content":[{"text":"hi/!","type":"text"}]}})"},
      // Modern calls whose names and texts need care.
      {"a Base64 name", call("hi", kMeta, {{"Mcp-Name", "=?base64?ZWNobw==?="}}), 200,
       echoed(R"("hi")"), probed},
      {"a result text full of JSON's own characters", call(R"(}{\"],:\\)"), 200,
       echoed(R"("}{\"],:\\")"), probed},
      {"a result with a _meta of its own", call("meta"), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{"_meta":{"com.example/trace":"t1",)"
       R"("io.modelcontextprotocol/serverInfo":{"name":"Test","version":"1.0"}},)"
       R"("content":[{"text":"meta","type":"text"}],"resultType":"complete"}})",
       probed},
      {"a result with a key after the era's own", call("structured"), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{)" + kServerMeta +
           R"(,"content":[{"text":"structured","type":"text"}],"resultType":"complete",)"
           R"("structuredContent":{"n":1}}})",
       probed},
      {"only the era's keys", call("show meta", R"("_meta":{)" + probe + era + "}"), 200,
       echoed(R"("none")"), probed},
      {"a client that names nobody", call("show meta", R"("_meta":{)" + era + "}"), 200,
       echoed(R"("none")")},
      {"a key of the client's own",
       call("show meta", R"("_meta":{"com.example/trace":"t1",)" + probe + era + "}"), 200,
       echoed(R"("{\"com.example/trace\":\"t1\"}")"), probed},
      {"a progress token",
       call("show meta", R"("_meta":{)" + probe + era + R"(,"progressToken":5})"), 200,
       echoed(R"("{\"progressToken\":5}")"), probed},
      // What the modern revision refuses.
      {"no protocol version in _meta", modern("tools/list", "", noVersion), 400,
       failed(-32602, "Invalid params", missing + "protocolVersion")},
      {"no client capabilities in _meta", modern("tools/list", "", noCapabilities), 400,
       failed(-32602, "Invalid params", missing + "clientCapabilities")},
      {"discover without params",
       post(R"({"jsonrpc":"2.0","id":7,"method":"server/discover"})",
            {{"MCP-Protocol-Version", "2026-07-28"}, {"Mcp-Method", "server/discover"}}),
       400, failed(-32602, "Invalid params", missing + "protocolVersion")},
      {"unsupported version",
       modern("server/discover", "", future, {{"MCP-Protocol-Version", "2099-01-01"}}), 400,
       error("7", -32022, "Unsupported protocol version",
             R"({"requested":"2099-01-01","supported":["2026-07-28","2025-11-25",)"
             R"("2025-06-18","2025-03-26","2024-11-05"]})")},
      {"unsupported version, header disagreeing", modern("server/discover", "", future), 400,
       mismatch("MCP-Protocol-Version header value '2026-07-28' does not match body value "
                "'2099-01-01'")},
      {"no version header", modern("tools/list", "", kMeta, {{"MCP-Protocol-Version", ""}}), 400,
       mismatch("Missing required MCP-Protocol-Version header")},
      {"earlier version header",
       modern("tools/list", "", kMeta, {{"MCP-Protocol-Version", "2025-11-25"}}), 400,
       mismatch("MCP-Protocol-Version header value '2025-11-25' does not match body value "
                "'2026-07-28'")},
      {"no method header", modern("tools/list", "", kMeta, {{"Mcp-Method", ""}}), 400,
       mismatch("Missing required Mcp-Method header")},
      {"method header of another method",
       modern("tools/list", "", kMeta, {{"Mcp-Method", "tools/call"}}), 400,
       mismatch("Mcp-Method header value 'tools/call' does not match body value 'tools/list'")},
      {"no name header", call("hi", kMeta, {{"Mcp-Name", ""}}), 400,
       mismatch("Missing required Mcp-Name header")},
      {"name header of another tool", call("hi", kMeta, {{"Mcp-Name", "play_songs"}}), 400,
       mismatch("Mcp-Name header value 'play_songs' does not match body value 'echo'")},
      {"name header not Base64", call("hi", kMeta, {{"Mcp-Name", "=?base64?e!?="}}), 400,
       mismatch("Mcp-Name header value is not valid Base64")},
      // An unknown method reaches the server, which has heard of the client by then.
      {"unknown method", modern("prompts/list"), 404,
       failed(-32601, "Method not found", "Unknown method: prompts/list"), probed},
      {"Origin checked first",
       modern("tools/list", "", kMeta,
              {{"Origin", "http://evil.test"}, {"MCP-Protocol-Version", ""}}),
       403, invalid("Forbidden: Origin not allowed")},
      // Requests without the modern `_meta` are the earlier era's.
      {"no _meta", modern("tools/list", "", "", {{"Mcp-Method", ""}, {"MCP-Protocol-Version", ""}}),
       200, R"({"id":7,"jsonrpc":"2.0","result":)" + kListed + "}"},
      {"a progress token only",
       modern("tools/list", "", R"("_meta":{"progressToken":1})",
              {{"MCP-Protocol-Version", "2025-06-18"}}),
       200, R"({"id":7,"jsonrpc":"2.0","result":)" + kListed + "}"},
      {"an earlier version in _meta",
       modern("tools/list", "", earlier, {{"MCP-Protocol-Version", "2025-11-25"}}), 200,
       R"({"id":7,"jsonrpc":"2.0","result":)" + kListed + "}"},
      {"ping", modern("ping", "", "", {{"MCP-Protocol-Version", ""}}), 200,
       R"({"id":7,"jsonrpc":"2.0","result":{}})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> clients;
    const Answer answer = exchange(row.request, &clients);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_EQ(answer.headers, row.headers);
    if (!row.body.empty() || row.status != 200) {
      EXPECT_EQ(answer.body, row.body);
    }
    EXPECT_EQ(clients, row.clients);
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
    EXPECT_EQ(answer->body,
              error("null", -32603, "Internal error: Error processing request: Connection closed"));
  });
}

// Without a handshake even when strict, with the cache hints and the name of the server
// each answer comes from.
TEST(StatelessHTTPServerTransport, ServesModernRequestsWithTheirServersOwnHintsAndName) {
  const ServerConfiguration strict = {
      .strict = true, .cacheTTLMilliseconds = 0, .cachePublic = false};
  const Answer called = exchange(call("hi"), nullptr, strict);
  EXPECT_NE(called.body.find(R"("resultType":"complete")"), std::string::npos) << called.body;
  const Answer listed = exchange(modern("tools/list"), nullptr, strict);
  EXPECT_NE(listed.body.find(R"("cacheScope":"private")"), std::string::npos) << listed.body;
  EXPECT_NE(listed.body.find(R"("ttlMs":0)"), std::string::npos) << listed.body;
  for (const char* name : {"First", "Second", "First"}) {
    SCOPED_TRACE(name);
    const Answer answer = exchange(modern("tools/list"), nullptr, {.cacheTTLMilliseconds = 5000},
                                   {.name = name, .version = "2"});
    EXPECT_NE(
        answer.body.find(R"(/serverInfo":{"name":")" + std::string(name) + R"(","version":"2"})"),
        std::string::npos)
        << answer.body;
  }
}

}  // namespace
}  // namespace mcp
