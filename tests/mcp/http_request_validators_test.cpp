#include "mcp/http_request_validators.h"

#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mcp {
namespace {

TEST(OriginValidator, MatchesHostPatterns) {
  struct Row {
    std::optional<std::uint16_t> port;
    const char* host;
    bool passes;
  };
  const std::vector<Row> rows = {
      {std::nullopt, "127.0.0.1:47291", true},
      {std::nullopt, "localhost:1", true},
      {std::nullopt, "[::1]:8080", true},
      {std::nullopt, "127.0.0.1:", false},
      {std::nullopt, "127.0.0.1:80a", false},
      {std::nullopt, "LOCALHOST:80", false},
      {std::uint16_t{8080}, "localhost:8080", true},
      {std::uint16_t{8080}, "localhost:8081", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.host);
    const HTTPRequest request{"POST", {{"host", row.host}}, "{}", "/"};
    EXPECT_EQ(!OriginValidator::localhost(row.port).validate(request, {"POST"}).has_value(),
              row.passes);
    EXPECT_FALSE(OriginValidator::disabled().validate(request, {"POST"}).has_value());
  }
}

TEST(AcceptHeaderValidator, RequiresBothTypesWhenStreamsAreRequired) {
  struct Row {
    const char* method;
    const char* accept;
    AcceptHeaderValidator::Mode mode;
    std::string refusal;
  };
  using Mode = AcceptHeaderValidator::Mode;
  const std::vector<Row> rows = {
      {"POST", "application/json", Mode::sseRequired,
       "Invalid Request: Not Acceptable: Client must accept both application/json and "
       "text/event-stream"},
      {"POST", "application/json,text/event-stream", Mode::sseRequired, ""},
      {"GET", "application/json", Mode::jsonOnly,
       "Invalid Request: Not Acceptable: Client must accept text/event-stream"},
      {"GET", "text/event-stream", Mode::jsonOnly, ""},
      {"DELETE", "", Mode::sseRequired, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.method) + " " + row.accept);
    const HTTPRequest request{row.method, {{"Accept", row.accept}}, std::nullopt, "/"};
    const auto refused = AcceptHeaderValidator(row.mode).validate(request, {row.method});
    if (row.refusal.empty()) {
      EXPECT_FALSE(refused.has_value());
    } else {
      ASSERT_TRUE(refused.has_value());
      EXPECT_EQ(refused->statusCode(), 406);
      EXPECT_THAT(refused->bodyData().value_or(""),
                  testing::HasSubstr("\"message\":\"" + row.refusal + "\""));
    }
  }
}

}  // namespace
}  // namespace mcp
