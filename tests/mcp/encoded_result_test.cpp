#include "mcp/encoded_result.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"

namespace mcp {
namespace {

using nlohmann::json;

TEST(EncodedResult, WritesTheResultAsAValueReadsIt) {
  struct Row {
    json result;
    std::string expected;
  };
  const Row rows[] = {
      {json::object(), "{}"},
      {{{"b", 2.0}, {"a", -0.0}, {"c", 2.5}, {"d", 1e300}}, R"({"a":0,"b":2,"c":2.5,"d":1e+300})"},
      {{{"big", 18446744073709551615ULL}, {"max", 9223372036854775807LL}},
       R"({"big":1.8446744073709552e+19,"max":9223372036854775807})"},
      {{{"url", "data:,a%20b"}, {"typed", "data:image/png;base64,AAE="}, {"bad", "data:;base64,*"}},
       R"({"bad":"data:;base64,*","typed":"data:image/png;base64,AAE=","url":"data:text/plain;base64,YSBi"})"},
      {{{"path", "a/b"}, {"text", "line\n\"q\"\xff"}},
       "{\"path\":\"a/b\",\"text\":\"line\\n\\\"q\\\"\xEF\xBF\xBD\"}"},
      {json::array({nullptr, true, json::array({1, "data:,x"})}),
       R"([null,true,[1,"data:text/plain;base64,eA=="]])"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(EncodedResult(row.result).text(), row.expected);
  }
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

}  // namespace
}  // namespace mcp
