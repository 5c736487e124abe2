#include "mcp/jsonrpc_message_kind.h"

#include <string>

#include <gtest/gtest.h>

namespace mcp {
namespace {

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
    EXPECT_EQ(describe(JSONRPCMessageKind::classify(row.bytes)), row.expected) << row.bytes;
  }
}

}  // namespace
}  // namespace mcp
