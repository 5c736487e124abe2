#include "mcp/percent_decoding.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace mcp {
namespace {

TEST(PercentDecoding, ReplacesEachEscapeByItsByte) {
  struct Row {
    std::string text;
    std::optional<std::string> expected;
  };
  const Row rows[] = {
      {"", ""},
      {"%41%62", "Ab"},
      {"a+b c", "a+b c"},
      {"%F0%9f%8E%b5", "\U0001F3B5"},
      {"%FF", "\xFF"},  // bytes, not checked as text
      {"100%", std::nullopt},
      {"bad%2", std::nullopt},
      {"bad%zz", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(percentDecoded(row.text), row.expected) << row.text;
  }
}

}  // namespace
}  // namespace mcp
