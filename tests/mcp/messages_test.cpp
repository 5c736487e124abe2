// JSON-RPC messages, ids, errors and results in their wire forms.
#include "mcp/messages.h"

#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"
#include "mcp/detail/json_text.h"
#include "mcp/encoded_result.h"
#include "mcp/handshake.h"
#include "mcp/id.h"
#include "mcp/jsonrpc_message_kind.h"
#include "mcp/mcp_error.h"
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

TEST(ID, ReadsStringsIntegersAndNullAndRefusesTheRest) {
  struct Row {
    std::string json;
    std::optional<ID> expected;
  };
  const std::vector<Row> rows = {
      {"\"abc\"", ID("abc")},
      {"7", ID(7)},
      {"-9223372036854775808", ID(std::int64_t{INT64_MIN})},
      {"null", ID("")},
      {"1.5", std::nullopt},
      {"1.0", std::nullopt},
      {"true", std::nullopt},
      {"[]", std::nullopt},
      {"18446744073709551615", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.json);
    const auto parsed = json::parse(row.json);
    if (row.expected) {
      EXPECT_EQ(ID::fromJSON(parsed), *row.expected);
    } else {
      EXPECT_THAT([&] { (void)ID::fromJSON(parsed); },
                  testing::ThrowsMessage<DecodingError>("ID must be string or number"));
    }
  }
  // A message's id counts for routing and error answers only as a string or integer.
  EXPECT_EQ(ID::ofMessage(json::parse(R"({"id":"a"})")), ID("a"));
  EXPECT_EQ(ID::ofMessage(json::parse(R"({"id":null})")), std::nullopt);
  EXPECT_EQ(ID::ofMessage(json::parse(R"({"id":9223372036854775808})")), std::nullopt);
  EXPECT_EQ(ID::ofMessage(json::parse("[7]")), std::nullopt);
}

TEST(ID, RandomIsAnUpperCaseUUIDAndNumbersDescribeAsDecimals) {
  const ID id = ID::random();
  ASSERT_NE(id.stringValue(), nullptr);
  EXPECT_TRUE(
      std::regex_match(*id.stringValue(),
                       std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[0-9A-F]{4}-[0-9A-F]{12}")))
      << *id.stringValue();
  EXPECT_NE(ID::random(), id);
  EXPECT_EQ(ID(42).description(), "42");
}

std::string describe(const std::optional<JSONRPCMessageKind>& kind) {
  if (!kind) return "-";
  static const char* const kTypes[] = {"request", "notification", "response"};
  return std::string(kTypes[static_cast<int>(kind->type)]) + "/" + kind->id + "/" + kind->method;
}

// "-" marks bytes that must not classify at all.
TEST(JSONRPCMessageKind, ReadsOnlyTheTopLevel) {
  const std::string deep = std::string(64, '[') + std::string(64, ']');
  struct Row {
    std::string bytes;
    std::string expected;  // type/id/method
  };
  const Row rows[] = {
      {R"({"jsonrpc":"2.0","id":7,"method":"ping"})", "request/7/ping"},
      {R"({"id":"a","method":"tools/call","params":{"id":1,"method":"x"}})",
       "request/a/tools/call"},
      {R"({"id":"a\"b\u0041","method":"x\u0079"})", "request/a\"bA/xy"},
      {R"({"method":"notifications/initialized"})", "notification//notifications/initialized"},
      {R"({"id":null,"method":"m"})", "notification//m"},
      {R"({"id":1.5,"method":"m"})", "notification//m"},
      {R"({"id":1.0,"method":"m"})", "notification//m"},
      {R"({"id":{"id":3},"method":"m"})", "notification//m"},
      {R"({"id":true,"method":"m"})", "notification//m"},
      {R"({"id":99999999999999999999,"method":"m"})", "notification//m"},
      {R"({"jsonrpc":"2.0","id":1})", "-"},
      {R"({"id":9223372036854775807,"result":{}})", "response/9223372036854775807/"},
      {R"({"id":-9223372036854775808,"error":{"code":1}})", "response/-9223372036854775808/"},
      {R"({"id":9223372036854775808,"result":{}})", "-"},
      {R"({"id":1,"id":"b","result":null})", "response/b/"},
      {R"({"result":{"id":4}})", "-"},
      {R"({"id":2,"method":3})", "-"},
      {R"({"id":2,"result":[{"method":"m"}]})", "response/2/"},
      {R"([{"id":1,"method":"ping"}])", "-"},
      {R"("ping")", "-"},
      {R"({"id":1,"method":"ping"} x)", "-"},
      {R"({"id":1,"method":"ping")", "-"},
      {"{\"id\":1,\"method\":\"p\xffng\"}", "-"},
      {R"({"id":1,"result":1e999})", "-"},
      {R"({"id":1,"result":)" + deep.substr(0, 63) + deep.substr(64 + 1) + "}", "response/1/"},
      {R"({"id":1,"result":)" + deep + "}", "-"},
      {"\xEF\xBB\xBF{\"id\":3,\"result\":1}", "response/3/"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(describe(JSONRPCMessageKind::classify(std::string_view(row.bytes))), row.expected)
        << row.bytes;
  }
}

TEST(MCPError, WritesItsJSONRPCForm) {
  struct Row {
    const char* name;
    MCPError error;
    std::string written;
  };
  const std::vector<Row> rows = {
      {"internal with detail", MCPError::internalError("boom"),
       R"({"code":-32603,"data":{"detail":"boom"},"message":"Internal error: boom"})"},
      {"invalid request bare", MCPError::invalidRequest(),
       R"({"code":-32600,"message":"Invalid Request"})"},
      {"parse error", MCPError::parseError("Empty request body"),
       R"({"code":-32700,"data":{"detail":"Empty request body"},"message":"Parse error: Invalid JSON: Empty request body"})"},
      {"server error", MCPError::serverError(-32050, "busy"),
       R"({"code":-32050,"message":"Server error: busy"})"},
      {"connection closed", MCPError::connectionClosed(),
       R"({"code":-32000,"message":"Connection closed"})"},
      {"transport error", MCPError::transportError("reset"),
       R"({"code":-32001,"data":{"error":"reset"},"message":"Transport error: reset"})"},
      {"url elicitation",
       MCPError::urlElicitationRequired("sign in", {{"url", "e1", "http://127.0.0.1/a", "go"}}),
       R"({"code":-32042,"data":{"elicitations":[{"elicitationId":"e1","message":"go","mode":"url","url":"http://127.0.0.1/a"}]},"message":"sign in"})"},
      {"header mismatch", MCPError::headerMismatch("Header mismatch: x"),
       R"({"code":-32020,"message":"Header mismatch: x"})"},
      {"unsupported version", MCPError::unsupportedProtocolVersion("1900-01-01", {"2026-07-28"}),
       R"({"code":-32022,"data":{"requested":"1900-01-01","supported":["2026-07-28"]},)"
       R"("message":"Unsupported protocol version"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.error.toJSON().dump(), row.written);
    EXPECT_EQ(MCPError::fromJSON(json::parse(row.written)), row.error);
  }
  EXPECT_EQ(MCPError::fromJSON(json::parse(R"({"code":17,"message":"odd"})")),
            MCPError::serverError(17, "odd"));
}

// A result is written as Value reads and writes it (Value's table) in JSONText's encoding.
TEST(EncodedResult, WritesTheResultAsAValueReadsIt) {
  EXPECT_EQ(EncodedResult(json{{"b", "data:,x"}, {"a", "\xff"}}).text(),
            "{\"a\":\"\xEF\xBF\xBD\",\"b\":\"data:text/plain;base64,eA==\"}");
  EXPECT_THROW(EncodedResult(json::binary({1, 2})), DecodingError);
}

TEST(EncodedResult, WritesTheResponseEnvelopesWithSortedKeys) {
  const EncodedResult result(json{{"tools", json::array()}});
  EXPECT_EQ(detail::encodeSuccess(ID(7), result),
            R"({"id":7,"jsonrpc":"2.0","result":{"tools":[]}})");
  EXPECT_EQ(detail::encodeSuccess(ID("a\"b/"), EncodedResult()),
            R"({"id":"a\"b/","jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(detail::encodeSuccess(ID(std::int64_t{INT64_MIN}), EncodedResult()),
            R"({"id":-9223372036854775808,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(
      detail::encodeFailure(ID(1), MCPError::methodNotFound("Unknown method: x")),
      R"({"error":{"code":-32601,"data":{"detail":"Unknown method: x"},"message":"Method not found: Unknown method: x"},"id":1,"jsonrpc":"2.0"})");
}

TEST(JSONText, ParsesBoundedDocumentsOnly) {
  struct Row {
    const char* name;
    std::string text;
    bool parses;
  };
  const std::vector<Row> rows = {
      {"64 nested arrays", std::string(64, '[') + std::string(64, ']'), true},
      {"65 nested arrays", std::string(65, '[') + std::string(65, ']'), false},
      {"very deep objects", std::string(100000, '{'), false},
      {"brackets inside strings do not nest",
       "[" + std::string(63, '[') + R"("[[[[{{{{\"[[[[")" + std::string(64, ']'), true},
      {"deep but invalid", std::string(10, '[') + "1,]" + std::string(10, ']'), false},
      {"huge integer", "123456789012345678901234567890", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(detail::parseJSON(row.text).has_value(), row.parses);
  }
  EXPECT_EQ(detail::encodeJSON(json("a\xff/b")), "\"a\xEF\xBF\xBD/b\"");
}

}  // namespace
}  // namespace mcp
