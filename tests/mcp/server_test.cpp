#include "mcp/server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <nlohmann/json.hpp>

#include "mcp/tool.h"

namespace mcp {
namespace {

using nlohmann::json;

// Hands the server a fixed list of messages, yielding before each so that request
// tasks run in between, then ends the stream; records what the server sends.
class ScriptedTransport : public Transport {
 public:
  explicit ScriptedTransport(std::vector<std::string> messages, std::vector<LogRecord>& log)
      : incoming_(messages.begin(), messages.end()),
        logger_("test", [&log](const LogRecord& record) { log.push_back(record); }) {}

  [[nodiscard]] const Logger& logger() const override { return logger_; }
  asio::awaitable<void> connect() override { co_return; }
  asio::awaitable<void> disconnect() override { co_return; }
  asio::awaitable<void> send(std::string data) override {
    sent.push_back(std::move(data));
    co_return;
  }
  asio::awaitable<std::optional<std::string>> receive() override {
    for (int i = 0; i < 4; ++i)
      co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
    if (incoming_.empty()) co_return std::nullopt;
    std::string message = std::move(incoming_.front());
    incoming_.pop_front();
    co_return message;
  }

  std::vector<std::string> sent;

 private:
  std::deque<std::string> incoming_;
  Logger logger_;
};

struct Served {
  std::vector<std::string> sent;
  std::vector<LogRecord> log;
  bool handlerSawCancellation = false;

  [[nodiscard]] bool logged(std::string_view message) const {
    return std::any_of(log.begin(), log.end(),
                       [&](const LogRecord& r) { return r.message == message; });
  }
};

const Server::Info kInfo{.name = "Test", .version = "1.0"};
const Server::Capabilities kToolsOnly{.tools = ServerCapabilities::Tools{.listChanged = false}};

// Serves `messages` on a server with a test tool "echo", a tool "explode" that throws,
// and a tool "wait" that waits until cancelled.
Served serve(std::vector<std::string> messages, Server::Configuration configuration = {}) {
  Served run;
  asio::io_context io;
  auto transport = std::make_shared<ScriptedTransport>(std::move(messages), run.log);
  {
    Server server(kInfo, kToolsOnly, configuration, "Use the tools.");
    server.withMethodHandler<ListTools>(
        [](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
          co_return ListTools::Result{
              .tools = {Tool{.name = "echo", .inputSchema = Value::object({{"type", "object"}})}}};
        });
    server.withMethodHandler<CallTool>([&run](CallTool::Parameters call)
                                           -> asio::awaitable<CallTool::Result> {
      if (call.name == "explode") throw std::runtime_error("boom");
      if (call.name == "refuse") throw MCPError::invalidParams("no");
      if (call.name == "wait") {
        asio::steady_timer never(co_await asio::this_coro::executor,
                                 asio::steady_timer::time_point::max());
        auto [error] = co_await never.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
        run.handlerSawCancellation = error == asio::error::operation_aborted;
        throw std::system_error(error);
      }
      const Value arguments = call.arguments ? Value(*call.arguments) : Value();
      const Value* text = arguments.find("text");
      co_return CallTool::Result{.content = {Tool::Content::text(text ? text->description() : "")}};
    });
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
          co_await server.start(transport);
          co_await server.waitUntilCompleted();
        },
        [](const std::exception_ptr& failure) {
          if (failure) std::rethrow_exception(failure);
        });
    io.run_for(std::chrono::seconds(30));  // a guard against a hang, not a measure
    EXPECT_TRUE(io.stopped()) << "the server never settled";
  }
  run.sent = transport->sent;
  return run;
}

std::string request(const std::string& id, const std::string& method,
                    const std::string& params = "") {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + "\"" +
         (params.empty() ? "" : ",\"params\":" + params) + "}";
}

TEST(Server, AnswersInitializeWithTheNegotiatedVersion) {
  struct Row {
    const char* name;
    std::string params;
    std::string version;
  };
  const std::vector<Row> rows = {
      {"supported",
       R"({"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"c","version":"1"}})",
       "2025-06-18"},
      {"oldest supported", R"({"protocolVersion":"2024-11-05"})", "2024-11-05"},
      {"unknown older", R"({"protocolVersion":"2023-01-01"})", "2025-11-25"},
      {"unknown future", R"({"protocolVersion":"2099-01-01"})", "2025-11-25"},
      {"missing", R"({})", "2025-11-25"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Served run = serve({request("1", "initialize", row.params)});
    EXPECT_THAT(
        run.sent,
        testing::ElementsAre(
            R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},"instructions":"Use the tools.","protocolVersion":")" +
            row.version + R"(","serverInfo":{"name":"Test","version":"1.0"}}})"));
  }
}

TEST(Server, PassesTheClientToTheInitializeHookWhichMayRefuse) {
  std::vector<LogRecord> log;
  std::vector<std::string> seen;
  for (bool refuse : {false, true}) {
    SCOPED_TRACE(refuse);
    asio::io_context io;
    auto transport = std::make_shared<ScriptedTransport>(
        std::vector<std::string>{request("1", "initialize", "{}"), request("2", "tools/list")},
        log);
    Server server(kInfo, kToolsOnly, Server::Configuration::makeStrict());
    server.withMethodHandler<ListTools>(
        [](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
          co_return ListTools::Result{};
        });
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
          co_await server.start(transport,
                                [&](const Client::Info& client,
                                    const Client::Capabilities&) -> asio::awaitable<void> {
                                  seen.push_back(client.name + " " + client.version);
                                  if (refuse) throw MCPError::invalidRequest("Not you");
                                  co_return;
                                });
          co_await server.waitUntilCompleted();
        },
        [](const std::exception_ptr& failure) {
          if (failure) std::rethrow_exception(failure);
        });
    io.run();
    if (refuse) {
      EXPECT_THAT(
          transport->sent,
          testing::ElementsAre(
              R"({"error":{"code":-32600,"data":{"detail":"Not you"},"message":"Invalid Request: Not you"},"id":1,"jsonrpc":"2.0"})",
              R"({"error":{"code":-32600,"data":{"detail":"Server is not initialized"},"message":"Invalid Request: Server is not initialized"},"id":2,"jsonrpc":"2.0"})"));
    } else {
      ASSERT_EQ(transport->sent.size(), 2U);
      EXPECT_EQ(transport->sent[1], R"({"id":2,"jsonrpc":"2.0","result":{"tools":[]}})");
    }
  }
  EXPECT_THAT(seen, testing::ElementsAre("unknown 0.0.0", "unknown 0.0.0"));
}

TEST(Server, AnswersEachMessageWithItsJSONRPCOutcome) {
  struct Row {
    const char* name;
    std::vector<std::string> messages;
    std::vector<std::string> sent;
    Server::Configuration configuration = {};
  };
  const std::string notInitialized =
      R"({"error":{"code":-32600,"data":{"detail":"Server is not initialized"},"message":"Invalid Request: Server is not initialized"},"id":5,"jsonrpc":"2.0"})";
  const std::vector<Row>
      rows =
          {
              {"tools/call without initialize",
               {request("5", "tools/call", R"({"name":"echo","arguments":{"text":"a/b"}})")},
               {R"({"id":5,"jsonrpc":"2.0","result":{"content":[{"text":"a/b","type":"text"}]}})"}},
              {"strict refuses tools/call",
               {request("5", "tools/call", R"({"name":"echo"})")},
               {notInitialized},
               Server::Configuration::makeStrict()},
              {"strict answers ping",
               {request("\"p\"", "ping")},
               {R"({"id":"p","jsonrpc":"2.0","result":{}})"},
               Server::Configuration::makeStrict()},
              {"strict after initialize",
               {request("1", "initialize", "{}"),
                R"({"jsonrpc":"2.0","method":"notifications/initialized"})",
                request("5", "tools/list")},
               {"",
                R"({"id":5,"jsonrpc":"2.0","result":{"tools":[{"description":null,"inputSchema":{"type":"object"},"name":"echo"}]}})"},
               Server::Configuration::makeStrict()},
              {"second initialize",
               {request("1", "initialize", "{}"), request("2", "initialize", "{}")},
               {"",
                R"({"error":{"code":-32600,"data":{"detail":"Server is already initialized"},"message":"Invalid Request: Server is already initialized"},"id":2,"jsonrpc":"2.0"})"}},
              {"initialize without params",
               {request("1", "initialize")},
               {R"({"error":{"code":-32603,"data":{"detail":"Missing required params field"},"message":"Internal error: Missing required params field"},"id":1,"jsonrpc":"2.0"})"}},
              {"unknown method",
               {request("3", "resources/list")},
               {R"({"error":{"code":-32601,"data":{"detail":"Unknown method: resources/list"},"message":"Method not found: Unknown method: resources/list"},"id":3,"jsonrpc":"2.0"})"}},
              {"handler throws",
               {request("4", "tools/call", R"({"name":"explode"})")},
               {R"({"error":{"code":-32603,"data":{"detail":"boom"},"message":"Internal error: boom"},"id":4,"jsonrpc":"2.0"})"}},
              {"handler throws MCPError",
               {request("4", "tools/call", R"({"name":"refuse"})")},
               {R"({"error":{"code":-32602,"data":{"detail":"no"},"message":"Invalid params: no"},"id":4,"jsonrpc":"2.0"})"}},
              {"tools/call without params",
               {request("6", "tools/call")},
               {R"({"error":{"code":-32603,"data":{"detail":"Missing required params field"},"message":"Internal error: Missing required params field"},"id":6,"jsonrpc":"2.0"})"}},
              {"tools/call with null params",
               {request("6", "tools/call", "null")},
               {R"({"error":{"code":-32603,"data":{"detail":"Missing required params field"},"message":"Internal error: Missing required params field"},"id":6,"jsonrpc":"2.0"})"}},
              {"params of the wrong type",
               {request("6", "tools/call", "\"echo\"")},
               {R"({"error":{"code":-32603,"data":{"detail":"Invalid params field"},"message":"Internal error: Invalid params field"},"id":6,"jsonrpc":"2.0"})"}},
              {"arguments of the wrong type",
               {request("6", "tools/call", R"({"name":"echo","arguments":[]})")},
               {R"({"error":{"code":-32603,"data":{"detail":"Invalid params field"},"message":"Internal error: Invalid params field"},"id":6,"jsonrpc":"2.0"})"}},
              {"tools/list without params",
               {request("\"l\"", "tools/list")},
               {R"({"id":"l","jsonrpc":"2.0","result":{"tools":[{"description":null,"inputSchema":{"type":"object"},"name":"echo"}]}})"}},
              {"no JSON-RPC shape, integer id",
               {R"({"id":7})"},
               {R"({"error":{"code":-32700,"data":{"detail":"Invalid message format"},"message":"Parse error: Invalid JSON: Invalid message format"},"id":7,"jsonrpc":"2.0"})"}},
              {"wrong version, string id",
               {R"({"jsonrpc":"1.0","id":"s","method":"ping"})"},
               {R"({"error":{"code":-32700,"data":{"detail":"Invalid message format"},"message":"Parse error: Invalid JSON: Invalid message format"},"id":"s","jsonrpc":"2.0"})"}},
              {"notifications produce nothing",
               {R"({"jsonrpc":"2.0","method":"notifications/initialized"})",
                R"({"jsonrpc":"2.0","method":"notifications/other"})"},
               {}},
              {"cancelling a finished request only logs",
               {request("1", "ping"),
                R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":1}})"},
               {R"({"id":1,"jsonrpc":"2.0","result":{}})"}},
              {"response to nothing is dropped", {R"({"jsonrpc":"2.0","id":9,"result":{}})"}, {}},
              {"a request carrying result is still a request",
               {R"({"jsonrpc":"2.0","id":9,"method":"ping","result":1})"},
               {R"({"id":9,"jsonrpc":"2.0","result":{}})"}},
              {"huge integer id is no id",
               {R"({"jsonrpc":"2.0","id":18446744073709551616,"method":"ping"})"},
               {}},
              {"int64 result stays exact",
               {request("9223372036854775807", "tools/call",
                        R"({"name":"echo","arguments":{"text":-9223372036854775808}})")},
               {R"({"id":9223372036854775807,"jsonrpc":"2.0","result":{"content":[{"text":"-9223372036854775808","type":"text"}]}})"}},
              {"batch mixing garbage and requests", {R"([{"jsonrpc":"2.0","id":1,"method":"ping"},42,{"jsonrpc":"2.0","method":"notifications/initialized"},{"jsonrpc":"2.0","id":"b","method":"nope"},{"id":3}])"}, {R"([{"id":1,"jsonrpc":"2.0","result":{}},{"error":{"code":-32600,"data":{"detail":"Invalid batch item format"},"message":"Invalid Request: Invalid batch item format"},"id":"RANDOM","jsonrpc":"2.0"},{"error":{"code":-32601,"data":{"detail":"Unknown method: nope"},"message":"Method not found: Unknown method: nope"},"id":"b","jsonrpc":"2.0"},{"error":{"code":-32600,"data":{"detail":"Invalid batch item format"},"message":"Invalid Request: Invalid batch item format"},"id":3,"jsonrpc":"2.0"}])"}},
              {"batch of notifications only",
               {R"([{"jsonrpc":"2.0","method":"notifications/initialized"}])"},
               {}},
              {"empty batch",
               {"[]"},
               {R"({"error":{"code":-32600,"data":{"detail":"Batch array must not be empty"},"message":"Invalid Request: Batch array must not be empty"},"id":"RANDOM","jsonrpc":"2.0"})"}},
              {"strict refuses a notification",
               {R"({"jsonrpc":"2.0","method":"notifications/other"})"},
               {R"({"error":{"code":-32600,"data":{"detail":"Server is not initialized"},"message":"Invalid Request: Server is not initialized"},"id":"RANDOM","jsonrpc":"2.0"})"},
               Server::Configuration::makeStrict()},
              {"not JSON",
               {R"({"jsonrpc":"2.0","id":1,)"},
               {R"({"error":{"code":-32700,"data":{"detail":"Invalid message format"},"message":"Parse error: Invalid JSON: Invalid message format"},"id":"RANDOM","jsonrpc":"2.0"})"}},
          };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Served run = serve(row.messages, row.configuration);
    // Random ids are UUIDs; compare them by shape.
    for (std::string& sent : run.sent) {
      for (std::size_t at = sent.find(R"("id":")"); at != std::string::npos;
           at = sent.find(R"("id":")", at + 1)) {
        const std::size_t start = at + 6;
        const std::size_t end = sent.find('"', start);
        if (end - start == 36 && sent[start + 8] == '-') sent.replace(start, 36, "RANDOM");
      }
    }
    std::vector<std::string> expected;
    for (const std::string& each : row.sent) {
      if (!each.empty()) expected.push_back(each);
    }
    if (row.sent.size() == 2 && row.sent[0].empty()) {
      ASSERT_EQ(run.sent.size(), 2U);
      EXPECT_EQ(run.sent[1], row.sent[1]);
    } else {
      EXPECT_EQ(run.sent, expected);
    }
  }
}

TEST(Server, CancellationReachesTheHandlerAndSuppressesTheAnswer) {
  const Served run = serve(
      {request("1", "tools/call", R"({"name":"wait"})"),
       R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":1,"reason":"user"}})",
       request("2", "ping")});
  EXPECT_TRUE(run.handlerSawCancellation);
  EXPECT_THAT(run.sent, testing::ElementsAre(R"({"id":2,"jsonrpc":"2.0","result":{}})"));
  EXPECT_TRUE(run.logged("Cancelled request"));
  EXPECT_TRUE(run.logged("Request cancelled"));
}

TEST(Server, CancellationWithoutAKnownRequestOnlyLogs) {
  struct Row {
    const char* params;
    const char* logged;
  };
  const std::vector<Row> rows = {
      {"{}", "Received cancellation notification with no requestId (violates spec MUST)"},
      {R"({"requestId":"zz"})", "Cancellation notification for unknown or completed request"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.params);
    const Served run =
        serve({std::string(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":)") +
               row.params + "}"});
    EXPECT_TRUE(run.sent.empty());
    EXPECT_TRUE(run.logged(row.logged));
  }
}

}  // namespace
}  // namespace mcp
