#include "mcp/messages.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
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
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.error.toJSON().dump(), row.written);
    EXPECT_EQ(MCPError::fromJSON(row.error.toJSON()), row.error);
  }
  EXPECT_EQ(MCPError::fromJSON(json::parse(R"({"code":17,"message":"odd"})")),
            MCPError::serverError(17, "odd"));
}

TEST(Tool, WritesTheCatalogueShape) {
  struct Row {
    const char* name;
    Tool tool;
    std::string written;
  };
  Tool bare{.name = "t", .inputSchema = Value::object({{"type", "object"}})};
  Tool full = bare;
  full.title = "T";
  full.description = "Does t.";
  full.annotations.readOnlyHint = true;
  full.annotations.openWorldHint = false;
  const std::vector<Row> rows = {
      {"no description, no annotations", bare,
       R"({"description":null,"inputSchema":{"type":"object"},"name":"t"})"},
      {"annotations that are set", full,
       R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"Does t.","inputSchema":{"type":"object"},"name":"t","title":"T"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.tool.toJSON().dump(), row.written);
    EXPECT_EQ(Tool::fromJSON(row.tool.toJSON()), row.tool);
  }
  EXPECT_EQ(failureOf([] { (void)Tool::fromJSON(json::parse(R"({"name":"t"})")); }),
            "No value for key \"inputSchema\"");
}

TEST(ToolContent, WritesEachCaseAndRefusesUnknownTypes) {
  struct Row {
    const char* name;
    Tool::Content content;
    std::string written;
  };
  const std::vector<Row> rows = {
      {"text", Tool::Content::text("hi"), R"({"text":"hi","type":"text"})"},
      {"text with meta", Tool::Content::text("hi", Value::object({{"k", 1}})),
       R"({"_meta":{"k":1},"text":"hi","type":"text"})"},
      {"image", Tool::Content::image("AAEC", "image/png"),
       R"({"data":"AAEC","mimeType":"image/png","type":"image"})"},
      {"audio", Tool::Content::audio("AAEC", "audio/mp4"),
       R"({"data":"AAEC","mimeType":"audio/mp4","type":"audio"})"},
      {"resource", Tool::Content::resource({.uri = "x:/1", .text = "t"}),
       R"({"resource":{"text":"t","uri":"x:/1"},"type":"resource"})"},
      {"resource link", Tool::Content::resourceLink({.uri = "x:/1", .name = "one"}),
       R"({"name":"one","type":"resource_link","uri":"x:/1"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.content.toJSON().dump(), row.written);
    EXPECT_EQ(Tool::Content::fromJSON(row.content.toJSON()), row.content);
  }
  EXPECT_EQ(failureOf([] { (void)Tool::Content::fromJSON(json::parse(R"({"type":"video"})")); }),
            "Unknown tool content type");
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
