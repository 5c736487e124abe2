#include "mcp/jsonrpc_message_kind.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"

namespace mcp {
namespace {

std::string describe(const std::optional<JSONRPCMessageKind>& kind) {
  if (!kind) return "-";
  static const char* const kTypes[] = {"request", "notification", "response"};
  return std::string(kTypes[static_cast<int>(kind->type)]) + "/" + kind->id + "/" + kind->method;
}

// The same rules over a fully parsed document: the answer classify must agree with.
std::string parsedKind(const std::string& bytes) {
  const auto json = detail::parseJSON(bytes);
  if (!json || !json->is_object()) return "-";
  std::optional<std::string> id;
  if (const auto* found = detail::member(*json, "id")) {
    if (found->is_string()) id = found->get<std::string>();
    if (found->is_number_integer() &&
        (found->is_number_unsigned() ? found->get<std::uint64_t>() <= INT64_MAX : true)) {
      id = found->is_number_unsigned() ? std::to_string(found->get<std::uint64_t>())
                                       : std::to_string(found->get<std::int64_t>());
    }
  }
  const auto* method = detail::member(*json, "method");
  if (method && method->is_string()) {
    return (id ? "request/" + *id : std::string("notification/")) + "/" +
           method->get<std::string>();
  }
  const bool answered = detail::member(*json, "result") || detail::member(*json, "error");
  return answered && id ? "response/" + *id + "/" : "-";
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
      {R"({"method":"notifications/initialized"})", "notification//notifications/initialized"},
      {R"({"id":null,"method":"m"})", "notification//m"},
      {R"({"id":1.5,"method":"m"})", "notification//m"},
      {R"({"id":{"id":3},"method":"m"})", "notification//m"},
      {R"({"id":9223372036854775807,"result":{}})", "response/9223372036854775807/"},
      {R"({"id":-9223372036854775808,"error":{"code":1}})", "response/-9223372036854775808/"},
      {R"({"id":9223372036854775808,"result":{}})", "-"},
      {R"({"id":1,"id":"b","result":null})", "response/b/"},
      {R"({"id":1,"id":null,"result":null})", "-"},
      {R"({"result":{"id":4}})", "-"},
      {R"({"id":2,"method":3})", "-"},
      {R"({"id":2,"result":[{"method":"m"}]})", "response/2/"},
      {R"([{"id":1,"method":"ping"}])", "-"},
      {R"("ping")", "-"},
      {R"({"id":1,"method":"ping"} x)", "-"},
      {R"({"id":1,"method":"ping")", "-"},
      {"{\"id\":1,\"method\":\"p\xffng\"}", "-"},
      {R"({"id":1,"result":)" + deep.substr(0, 63) + deep.substr(64 + 1) + "}", "response/1/"},
      {R"({"id":1,"result":)" + deep + "}", "-"},
      // Below the top level only validity counts, exactly as for a full parse.
      {" {\"id\" : -0 ,\r\n\t\"result\":[true,false,null,-1.25,0,\"\"]} \n", "response/0/"},
      {"{\"id\":1,\"result\":{\"a\":\"\xC3\xA9\xF0\x9F\x98\x80\\ud83d\\ude00\\n\"}}",
       "response/1/"},
      {"{\"id\":1,\"result\":\"\xC0\xAF\"}", "-"},
      {"{\"id\":1,\"result\":\"\xED\xA0\x80\"}", "-"},
      {"{\"id\":1,\"result\":\"\xF4\x90\x80\x80\"}", "-"},
      {"{\"id\":1,\"result\":\"\xE2\x82\"}", "-"},
      {"{\"id\":1,\"result\":\"a\x01\"}", "-"},
      {R"({"id":1,"result":"\ud83d"})", "-"},
      {R"({"id":1,"result":"\x"})", "-"},
      {R"({"id":1,"result":01})", "-"},
      {R"({"id":1,"result":1.})", "-"},
      {R"({"id":1,"result":-})", "-"},
      {R"({"id":1,"result":1e5})", "response/1/"},
      {R"({"id":1,"result":1e999})", "-"},
      {R"({"id":1,"result":)" + std::string(300, '9') + "}", "response/1/"},
      {R"({"id":1,"result":)" + std::string(309, '9') + "}", "-"},
      {R"({"id":1,"result":tru})", "-"},
      {R"({"id":1,"result":{"a" 1}})", "-"},
      {R"({"id":1,"result":[1,]})", "-"},
      {R"({"id":1.0,"result":1})", "-"},
      {R"({"id":"a\"b\u0041","method":"x\u0079"})", "request/a\"bA/xy"},
      {"\xEF\xBB\xBF{\"id\":3,\"result\":1}", "response/3/"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(describe(JSONRPCMessageKind::classify(row.bytes)), row.expected) << row.bytes;
    EXPECT_EQ(parsedKind(row.bytes), row.expected) << row.bytes;
  }
}

}  // namespace
}  // namespace mcp
