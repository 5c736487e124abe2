// What the bridge reads from messages: the client's name, the modern headers, and the
// one-line form of an answer.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bridge/relay_message.h"

namespace melodock {
namespace {

// A name with an apostrophe, spaces and an emoji is the bridge's relay test's.
TEST(RelayMessage, PercentEncodesAllButLettersMarksAndDigits) {
  struct Row {
    std::string name;
    std::optional<std::string> encoded;
  };
  const std::vector<Row> rows = {
      {"claude-code/2.0 (beta)", "claude%2Dcode%2F2%2E0%20%28beta%29"},
      {"e\u0301\u0663\u2167", "e\u0301\u0663\u2167"},  // a combining mark, an Arabic-Indic digit, Ⅷ
      {"100%\t\U0001F3B5", "100%25%09%F0%9F%8E%B5"},
      {"", ""},
      {"bad \xff", std::nullopt},
      {"\xed\xa0\x80", std::nullopt},  // an encoded surrogate
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(percentEncodedClientName(row.name), row.encoded);
  }
}

TEST(RelayMessage, WritesAMultiLineJSONAnswerAsOneLineAndPassesAnythingElse) {
  struct Row {
    std::string body;
    std::string line;
  };
  const std::vector<Row> rows = {
      {"{\n  \"a\" : \"x/y\",\n  \"b\" : [\n    1.5,\n    \"\u00e9\"\n  ]\n}",
       R"({"a":"x/y","b":[1.5,"é"]})"},
      {R"({"b":1,  "a":"\/"})", R"({"b":1,  "a":"\/"})"},  // one line already: untouched
      {"event: message\ndata: {\"id\":1}\n\n", "event: message\ndata: {\"id\":1}\n\n"},
      {"{\"a\":1}\n{\"b\":2}\n", "{\"a\":1}\n{\"b\":2}\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    EXPECT_EQ(oneLine(row.body), row.line);
  }
}

const std::string kMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientCapabilities":{}})";

std::string modern(const std::string& id, const std::string& method, const std::string& params) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + R"(","params":{)" + params +
         (params.empty() ? "" : ",") + kMeta + "}}";
}

// A tools/call, and a method with no name, are the bridge's relay test's.
TEST(RelayMessage, GivesAModernRequestTheHeadersOfItsOwnMeta) {
  using Headers = std::vector<std::string>;
  struct Row {
    const char* name;
    std::string line;
    std::optional<Headers> headers;
  };
  const std::vector<Row> rows = {
      {"a name outside ASCII", modern("3", "tools/call", R"("name":"café")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: tools/call",
               "Mcp-Name: =?base64?Y2Fmw6k=?="}},
      {"a name with a space at its end", modern("4", "prompts/get", R"("name":"padded ")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: prompts/get",
               "Mcp-Name: =?base64?cGFkZGVkIA==?="}},
      {"a name that looks encoded", modern("5", "tools/call", R"("name":"=?base64?literal?=")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: tools/call",
               "Mcp-Name: =?base64?PT9iYXNlNjQ/bGl0ZXJhbD89?="}},
      {"a resource", modern("6", "resources/read", R"("uri":"file:///a b")"),
       Headers{"MCP-Protocol-Version: 2026-07-28", "Mcp-Method: resources/read",
               "Mcp-Name: file:///a b"}},
      {"an unsupported version is sent as it is",
       R"({"jsonrpc":"2.0","id":7,"method":"tools/list","params":{"_meta":{)"
       R"("io.modelcontextprotocol/protocolVersion":"2099-01-01",)"
       R"("io.modelcontextprotocol/clientCapabilities":{}}}})",
       Headers{"MCP-Protocol-Version: 2099-01-01", "Mcp-Method: tools/list"}},
      {"a version that would break the header line is left out",
       R"({"jsonrpc":"2.0","id":7,"method":"tools/list","params":{"_meta":{)"
       R"("io.modelcontextprotocol/protocolVersion":"2026-07-28\r\nX-Injected: 1",)"
       R"("io.modelcontextprotocol/clientCapabilities":{}}}})",
       Headers{"Mcp-Method: tools/list"}},
      {"earlier era", R"({"jsonrpc":"2.0","id":8,"method":"tools/list"})", std::nullopt},
      {"an earlier version in _meta",
       R"({"jsonrpc":"2.0","id":9,"method":"tools/list","params":{"_meta":{)"
       R"("io.modelcontextprotocol/protocolVersion":"2025-11-25"}}})",
       std::nullopt},
      {"a notification",
       R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{)" + kMeta + "}}",
       std::nullopt},
      {"no method", R"({"jsonrpc":"2.0","id":10,"params":{)" + kMeta + "}}", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(modernHeaders(nlohmann::json::parse(row.line)), row.headers);
  }
}

}  // namespace
}  // namespace melodock
