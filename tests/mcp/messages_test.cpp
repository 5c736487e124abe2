#include "mcp/messages.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "mcp/handshake.h"
#include "mcp/tool.h"

namespace mcp {
namespace {

using nlohmann::json;

// The decoding error text of `decodeIt`, or "" when it succeeds.
template <class F>
std::string failureOf(F decodeIt) {
  try {
    decodeIt();
  } catch (const DecodingError& error) {
    return error.what();
  }
  return "";
}

TEST(Request, DecodesByTheEnvelopeRules) {
  struct Row {
    const char* name;
    std::string message;
    std::string listFailure;  // decoding as a tools/list request
    std::string callFailure;  // decoding as a tools/call request
  };
  const std::vector<Row> rows = {
      {"no params", R"({"jsonrpc":"2.0","id":1,"method":"m"})", "",
       "Missing required params field"},
      {"null params", R"({"jsonrpc":"2.0","id":1,"method":"m","params":null})", "",
       "Missing required params field"},
      {"params of the wrong type", R"({"jsonrpc":"2.0","id":1,"method":"m","params":[1]})",
       "Invalid params field", "Invalid params field"},
      {"cursor of the wrong type", R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"cursor":3}})",
       "Invalid params field", "Invalid params field"},
      {"good call", R"({"jsonrpc":"2.0","id":"x","method":"m","params":{"name":"t"}})", "", ""},
      {"version 1.0", R"({"jsonrpc":"1.0","id":1,"method":"m","params":{"name":"t"}})",
       "Invalid JSON-RPC version", "Invalid JSON-RPC version"},
      {"version as a number", R"({"jsonrpc":2.0,"id":1,"method":"m"})", "Invalid JSON-RPC version",
       "Invalid JSON-RPC version"},
      {"boolean id", R"({"jsonrpc":"2.0","id":true,"method":"m"})", "ID must be string or number",
       "ID must be string or number"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const json message = json::parse(row.message);
    EXPECT_EQ(failureOf([&] { (void)Request<ListTools>::fromJSON(message); }), row.listFailure);
    EXPECT_EQ(failureOf([&] { (void)Request<CallTool>::fromJSON(message); }), row.callFailure);
  }
}

TEST(Response, ReadsAResultOrAnErrorOrFails) {
  const auto read = [](const char* text) {
    return Response<AnyMethod>::fromJSON(json::parse(text));
  };
  EXPECT_EQ(*read(R"({"jsonrpc":"2.0","id":1,"result":{"a":1}})").result(),
            Value::object({{"a", 1}}));
  const auto failed = read(
      R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"x","data":{"detail":"d"}}})");
  ASSERT_NE(failed.error(), nullptr);
  EXPECT_EQ(*failed.error(), MCPError::invalidParams("d"));
  for (const char* text :
       {R"({"jsonrpc":"2.0","id":1})", R"({"jsonrpc":"2.0","id":1,"error":{"code":"x"}})"}) {
    EXPECT_EQ(failureOf([&] { (void)read(text); }), "Invalid response") << text;
  }
}

TEST(Message, LeavesOutEmptyParams) {
  EXPECT_EQ(Message<InitializedNotification>().toJSON().dump(),
            R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
  EXPECT_EQ(
      Message<CancelledNotification>({ID(3), "gone"}).toJSON().dump(),
      R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"reason":"gone","requestId":3}})");
  EXPECT_EQ(ServerCapabilities{.tools = ServerCapabilities::Tools{}}.toJSON().dump(),
            R"({"tools":{}})");
}

}  // namespace
}  // namespace mcp
