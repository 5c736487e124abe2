#include "mcp/id.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"

namespace mcp {
namespace {

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
      {"{}", std::nullopt},
      {"18446744073709551615", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.json);
    const auto json = nlohmann::json::parse(row.json);
    if (row.expected) {
      EXPECT_EQ(ID::fromJSON(json), *row.expected);
    } else {
      EXPECT_THAT([&] { (void)ID::fromJSON(json); },
                  testing::ThrowsMessage<DecodingError>("ID must be string or number"));
    }
  }
  // A message's id counts for routing and error answers only as a string or integer.
  EXPECT_EQ(ID::ofMessage(nlohmann::json::parse(R"({"id":"a"})")), ID("a"));
  EXPECT_EQ(ID::ofMessage(nlohmann::json::parse(R"({"id":null})")), std::nullopt);
  EXPECT_EQ(ID::ofMessage(nlohmann::json::parse(R"({"id":9223372036854775808})")), std::nullopt);
  EXPECT_EQ(ID::ofMessage(nlohmann::json::parse("[7]")), std::nullopt);
}

TEST(ID, RandomIsAnUpperCaseUUIDAndNumbersDescribeAsDecimals) {
  const ID id = ID::random();
  ASSERT_NE(id.stringValue(), nullptr);
  const std::string& text = *id.stringValue();
  ASSERT_EQ(text.size(), 36U);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(text[i], '-');
    } else {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[i])) ||
                  (text[i] >= 'A' && text[i] <= 'F'))
          << text;
    }
  }
  EXPECT_EQ(text[14], '4');
  EXPECT_NE(ID::random(), id);
  EXPECT_EQ(ID(42).description(), "42");
}

}  // namespace
}  // namespace mcp
