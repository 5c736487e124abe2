#include "mcp/encoded_result.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/messages.h"

namespace mcp {
namespace {

using nlohmann::json;

// The one-pass encoding must give the bytes of the long way round through Value.
TEST(EncodedResult, WritesWhatAValueRoundTripWrites) {
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
    EXPECT_EQ(detail::encodeJSON(Value::fromJSON(row.result).toJSON()), row.expected);
  }
  EXPECT_THROW(EncodedResult(json::binary({1, 2})), DecodingError);
}

TEST(EncodedResult, EnvelopesMatchTheResponseRecords) {
  const EncodedResult result(json{{"tools", json::array()}});
  for (const ID& id : {ID(7), ID("a\"b"), ID(std::int64_t{INT64_MIN})}) {
    const auto success =
        Response<AnyMethod>::success(id, Value::fromJSON(json::parse(result.text())));
    EXPECT_EQ(detail::encodeSuccess(id, result), detail::encodeJSON(success.toJSON()));
    const MCPError error = MCPError::methodNotFound("Unknown method: x");
    EXPECT_EQ(detail::encodeFailure(id, error),
              detail::encodeJSON(Response<AnyMethod>::failure(id, error).toJSON()));
  }
  EXPECT_EQ(detail::encodeSuccess(ID(1), EncodedResult()),
            R"({"id":1,"jsonrpc":"2.0","result":{}})");
}

}  // namespace
}  // namespace mcp
