// What the bridge reads from messages, and the one-line form of an answer.
#include <gtest/gtest.h>

#include "bridge/relay_message.h"

namespace melodock {
namespace {

TEST(RelayMessage, PercentEncodesAllButLettersMarksAndDigits) {
  struct Row {
    std::string name;
    std::optional<std::string> encoded;
  };
  const std::vector<Row> rows = {
      {"Zoë's Café ☕", "Zoë%27s%20Café%20%E2%98%95"},
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

TEST(RelayMessage, ReadsTheIdTheClientsNameAndTheNegotiatedVersion) {
  const auto id = [](std::string_view line) { return requestID(*parsedMessage(line)); };
  EXPECT_EQ(id(R"({"id":null})"), nlohmann::json(nullptr));
  EXPECT_EQ(id(R"({"id":"7"})"), nlohmann::json("7"));
  EXPECT_EQ(id(R"([{"id":1}])"), std::nullopt);
  EXPECT_EQ(parsedMessage("{"), std::nullopt);

  const auto name = [](std::string_view line) { return clientName(*parsedMessage(line)); };
  EXPECT_EQ(name(R"({"method":"initialize","params":{"clientInfo":{"name":"n","title":"T"}}})"),
            "T");
  EXPECT_EQ(name(R"({"method":"initialize","params":{"clientInfo":{"name":"n","title":3}}})"), "n");
  EXPECT_EQ(name(R"({"method":"ping","params":{"clientInfo":{"name":"n"}}})"), std::nullopt);

  EXPECT_EQ(negotiatedVersion(R"({"result":{"protocolVersion":"2025-03-26"}})"), "2025-03-26");
  EXPECT_EQ(negotiatedVersion(R"({"result":{"protocolVersion":1}})"), std::nullopt);
  EXPECT_EQ(negotiatedVersion(R"({"error":{"protocolVersion":"2025-03-26"}})"), std::nullopt);
}

}  // namespace
}  // namespace melodock
