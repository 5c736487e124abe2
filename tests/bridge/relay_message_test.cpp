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

}  // namespace
}  // namespace melodock
