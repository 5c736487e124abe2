#include "mcp/mcp_error.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace mcp {
namespace {

using nlohmann::json;

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
    EXPECT_EQ(MCPError::fromJSON(json::parse(row.written)), row.error);
  }
  EXPECT_EQ(MCPError::fromJSON(json::parse(R"({"code":17,"message":"odd"})")),
            MCPError::serverError(17, "odd"));
}

}  // namespace
}  // namespace mcp
