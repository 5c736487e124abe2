#include "mcp/stateless_http_server_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <asio.hpp>

#include "mcp/http_request_validators.h"
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

HTTPRequest post(std::string body, const HTTPHeaders& changes = {}) {
  HTTPHeaders headers = {{"Host", "127.0.0.1:47291"},
                         {"Accept", "application/json, text/event-stream"},
                         {"Content-Type", "application/json"}};
  for (auto& [name, value] : changes) {
    if (value.empty()) {
      headers.erase(name);
    } else {
      headers[name] = value;
    }
  }
  return {"POST", std::move(headers), std::move(body), "/mcp"};
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

// One HTTP exchange as the host makes it: fresh transport and server, start, handle,
// stop. The test tool "echo" answers its `text` argument and the X-Client header.
Answer exchange(HTTPRequest request) {
  Answer answer;
  runToEnd([&]() -> asio::awaitable<void> {
    auto transport = std::make_shared<StatelessHTTPServerTransport>();
    Server server({.name = "Test", .version = "1.0"},
                  {.tools = ServerCapabilities::Tools{.listChanged = false}});
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
          const Value* text = arguments.find("text");
          const auto client =
              context.httpContext ? context.httpContext->header("X-Client") : std::nullopt;
          co_return CallTool::Result{
              .content = {Tool::Content::text((text ? text->description() : "") +
                                              std::string(client.value_or("")))}};
        });
    co_await server.start(transport);
    answer = answerOf(co_await transport->handleRequest(std::move(request)));
    co_await server.stop();
  });
  return answer;
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

std::string ping(const std::string& id) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"ping"})";
}

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
      {"GET", {"GET", {}, std::nullopt, "/mcp"}, 405, kAllow, invalid("Method Not Allowed")},
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
      {"absent body",
       {"POST", {}, std::nullopt, "/mcp"},
       400,
       kJSON,
       unparsable("Empty request body")},
      {"batch", post("[" + kList + "]"), 400, kJSON, badMessage},
      {"truncated", post(R"({"jsonrpc":"2.0","id":1,"method":)"), 400, kJSON, badMessage},
      {"too deep",
       post(R"({"jsonrpc":"2.0","id":1,"method":"ping","params":)" + std::string(70, '[') +
            std::string(70, ']') + "}"),
       400, kJSON, badMessage},
      {"invalid UTF-8", post("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"\xff\"}"), 400, kJSON,
       badMessage},
      {"number beyond double", post(ping("1e999")), 400, kJSON, badMessage},
      {"no method, no result", post(R"({"jsonrpc":"2.0","id":1})"), 400, kJSON, badMessage},
      {"other machine's Host", post(kList, {{"Host", "example.com"}}), 421, kJSON, misdirected},
      {"Host without a port", post(kList, {{"Host", "127.0.0.1"}}), 421, kJSON, misdirected},
      {"Origin without a port", post(kList, {{"Origin", "http://127.0.0.1"}}), 403, kJSON,
       forbidden},
      {"foreign Origin", post(kList, {{"Origin", "http://evil.test:47291"}}), 403, kJSON,
       forbidden},
      {"loopback Origin", post(kList, {{"Origin", "http://localhost:47291"}}), 200, kJSON, ""},
      {"wildcard Accept", post(kList, {{"Accept", "*/*"}}), 406, kJSON, notAcceptable},
      {"JSON-only Accept with quality", post(kList, {{"Accept", " application/json;q=0.9 "}}), 200,
       kJSON, ""},
      {"missing Accept", post(kList, {{"Accept", ""}}), 406, kJSON, notAcceptable},
      {"text/plain body", post(kList, {{"Content-Type", "text/plain"}}), 415, kJSON, unsupported},
      {"missing Content-Type", post(kList, {{"Content-Type", ""}}), 415, kJSON, unsupported},
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
       R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},"protocolVersion":"2025-11-25","serverInfo":{"name":"Test","version":"1.0"}}})"},
      {"supported version", post(kList, {{"mcp-protocol-version", "2025-03-26"}}), 200, kJSON, ""},
      {"notification", post(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), 202,
       kNone, ""},
      {"response", post(R"({"jsonrpc":"2.0","id":5,"result":{}})"), 202, kNone, ""},
      {"boolean id is a notification", post(ping("true")), 202, kNone, ""},
      {"fractional id is a notification", post(ping("1.5")), 202, kNone, ""},
      {"null id is a notification", post(ping("null")), 202, kNone, ""},
      {"huge integer id is a notification", post(ping("99999999999999999999")), 202, kNone, ""},
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

}  // namespace
}  // namespace mcp
