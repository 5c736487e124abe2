#include "mcp/server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <stdexcept>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

#include "mcp/tool.h"

namespace mcp {
namespace {

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
  asio::awaitable<void> send(OutgoingMessage message) override {
    sent.push_back(std::move(message.bytes));
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
Served serve(std::vector<std::string> messages, Server::Configuration configuration = {},
             Server::InitializeHook hook = {}) {
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
          co_await server.start(transport, std::move(hook));
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

// The JSON-RPC error answer to request `id`, with the detail in data and message.
std::string failure(const std::string& id, int code, const std::string& kind,
                    const std::string& detail) {
  return R"({"error":{"code":)" + std::to_string(code) + R"(,"data":{"detail":")" + detail +
         R"("},"message":")" + kind + ": " + detail + R"("},"id":)" + id + R"(,"jsonrpc":"2.0"})";
}

const std::string kEchoList =
    R"({"tools":[{"description":null,"inputSchema":{"type":"object"},"name":"echo"}]})";

TEST(Server, AnswersEachMessageWithItsJSONRPCOutcome) {
  struct Row {
    const char* name;
    std::string messages;  // one message a line
    std::string sent;      // one answer a line
    Server::Configuration configuration = {};
    const char* logged = nullptr;
    Server::InitializeHook hook = {};
  };
  // The initialize hook is told the client and may refuse it.
  std::vector<std::string> hooked;
  const auto hook = [&hooked](bool refuse) -> Server::InitializeHook {
    return [&hooked, refuse](const Client::Info& client,
                             const Client::Capabilities& capabilities) -> asio::awaitable<void> {
      hooked.push_back(client.name + " " + client.version);
      EXPECT_EQ(capabilities, Client::Capabilities{});
      if (refuse) throw MCPError::invalidRequest("Not you");
      co_return;
    };
  };
  const auto strict = Server::Configuration::makeStrict();
  const Server::Configuration plain;
  const std::string noParams = "Missing required params field";
  const std::string badParams = "Invalid params field";
  const std::string invalid = "Invalid Request";
  const std::string parse = "Parse error: Invalid JSON";
  const std::string internal = "Internal error";
  const std::string cancel = R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":)";
  const std::string initialized = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
  const std::string initializeAnswer =
      R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},"instructions":"Use the tools.","protocolVersion":"2025-11-25","serverInfo":{"name":"Test","version":"1.0"}}})";
  const std::string pong = R"({"id":1,"jsonrpc":"2.0","result":{}})";
  // The version each initialize is answered with is the end-to-end tests' and the
  // transport's.
  const std::vector<Row> rows = {
      {"the hook lets a client in",
       request("1", "initialize", "{}") + "\n" + request("2", "tools/list"),
       initializeAnswer + "\n" + R"({"id":2,"jsonrpc":"2.0","result":)" + kEchoList + "}", strict,
       nullptr, hook(false)},
      {"the hook refuses a client",
       request("1", "initialize", "{}") + "\n" + request("2", "tools/list"),
       failure("1", -32600, invalid, "Not you") + "\n" +
           failure("2", -32600, invalid, "Server is not initialized"),
       strict, nullptr, hook(true)},
      {"tools/call without initialize",
       request("5", "tools/call", R"({"name":"echo","arguments":{"text":"a/b"}})"),
       R"({"id":5,"jsonrpc":"2.0","result":{"content":[{"text":"a/b","type":"text"}]}})"},
      {"strict refuses tools/call", request("5", "tools/call", R"({"name":"echo"})"),
       failure("5", -32600, invalid, "Server is not initialized"), strict},
      {"strict answers ping", request("\"p\"", "ping"), R"({"id":"p","jsonrpc":"2.0","result":{}})",
       strict},
      {"strict after initialize",
       request("1", "initialize", "{}") + "\n" + initialized + "\n" + request("5", "tools/list"),
       initializeAnswer + "\n" + R"({"id":5,"jsonrpc":"2.0","result":)" + kEchoList + "}", strict},
      {"second initialize",
       request("1", "initialize", "{}") + "\n" + request("2", "initialize", "{}"),
       initializeAnswer + "\n" + failure("2", -32600, invalid, "Server is already initialized")},
      {"initialize without params", request("1", "initialize"),
       failure("1", -32603, internal, noParams)},
      {"handler throws", request("4", "tools/call", R"({"name":"explode"})"),
       failure("4", -32603, internal, "boom")},
      {"handler throws MCPError", request("4", "tools/call", R"({"name":"refuse"})"),
       failure("4", -32602, "Invalid params", "no")},
      {"tools/call without params", request("6", "tools/call"),
       failure("6", -32603, internal, noParams)},
      {"arguments of the wrong type",
       request("6", "tools/call", R"({"name":"echo","arguments":[]})"),
       failure("6", -32603, internal, badParams)},
      {"tools/list without params", request("\"l\"", "tools/list"),
       R"({"id":"l","jsonrpc":"2.0","result":)" + kEchoList + "}"},
      {"no JSON-RPC shape, integer id", R"({"id":7})",
       failure("7", -32700, parse, "Invalid message format")},
      {"notifications produce nothing",
       initialized + "\n" + R"({"jsonrpc":"2.0","method":"notifications/other"})", ""},
      {"cancelling a finished request only logs",
       request("1", "ping") + "\n" + cancel + R"({"requestId":1}})", pong},
      {"cancelling without a request id only logs", cancel + "{}}", "", plain,
       "Received cancellation notification with no requestId (violates spec MUST)"},
      {"cancelling an unknown request only logs", cancel + R"({"requestId":"zz"}})", "", plain,
       "Cancellation notification for unknown or completed request"},
      {"response to nothing is dropped", R"({"jsonrpc":"2.0","id":9,"result":{}})", ""},
      {"a request carrying result is still a request",
       R"({"jsonrpc":"2.0","id":9,"method":"ping","result":1})",
       R"({"id":9,"jsonrpc":"2.0","result":{}})"},
      {"int64 result stays exact",
       request("9223372036854775807", "tools/call",
               R"({"name":"echo","arguments":{"text":-9223372036854775808}})"),
       R"({"id":9223372036854775807,"jsonrpc":"2.0","result":{"content":[{"text":"-9223372036854775808","type":"text"}]}})"},
      {"batch mixing garbage and requests",
       R"([{"jsonrpc":"2.0","id":1,"method":"ping"},42,{"jsonrpc":"2.0","method":"notifications/initialized"},{"jsonrpc":"2.0","id":"b","method":"nope"},{"id":3}])",
       "[" + pong + "," + failure(R"("RANDOM")", -32600, invalid, "Invalid batch item format") +
           "," + failure(R"("b")", -32601, "Method not found", "Unknown method: nope") + "," +
           failure("3", -32600, invalid, "Invalid batch item format") + "]"},
      {"batch of notifications only", "[" + initialized + "]", ""},
      {"empty batch", "[]",
       failure(R"("RANDOM")", -32600, invalid, "Batch array must not be empty")},
      {"strict refuses a notification", R"({"jsonrpc":"2.0","method":"notifications/other"})",
       failure(R"("RANDOM")", -32600, invalid, "Server is not initialized"), strict},
      {"not JSON", R"({"jsonrpc":"2.0","id":1,)",
       failure(R"("RANDOM")", -32700, parse, "Invalid message format")},
  };
  const std::regex uuid(R"("id":"[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> messages;
    for (std::size_t at = 0, end = 0; at < row.messages.size(); at = end + 1) {
      end = std::min(row.messages.find('\n', at), row.messages.size());
      messages.push_back(row.messages.substr(at, end - at));
    }
    const Served run = serve(messages, row.configuration, row.hook);
    std::string sent;
    for (const std::string& each : run.sent) sent += (sent.empty() ? "" : "\n") + each;
    // Random ids are UUIDs; compare them by shape.
    EXPECT_EQ(std::regex_replace(sent, uuid, R"("id":"RANDOM")"), row.sent);
    EXPECT_TRUE(!row.logged || run.logged(row.logged)) << row.logged;
  }
  EXPECT_EQ(hooked, (std::vector<std::string>{"unknown 0.0.0", "unknown 0.0.0"}));
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

}  // namespace
}  // namespace mcp
