#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace melodock {
namespace {

TEST(UTF8, AcceptsWellFormedTextOnly) {
  struct Row {
    const char* name;
    std::string text;
    bool valid;
  };
  const std::vector<Row> rows = {
      {"empty", "", true},
      {"ASCII with a NUL", std::string("a\0b", 3), true},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5", true},
      {"the last code point", "\xF4\x8F\xBF\xBF", true},
      {"a lone continuation byte", "\x80", false},
      {"overlong two bytes", "\xC0\xAF", false},
      {"overlong C1", "\xC1\xBF", false},
      {"overlong three bytes", "\xE0\x9F\xBF", false},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", false},
      {"a surrogate", "\xED\xA0\x80", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", false},
      {"F5 lead", "\xF5\x80\x80\x80", false},
      {"truncated at the end", "ab\xE2\x82", false},
      {"a continuation missing mid-text", "\xE2\x82z", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(isValidUTF8(row.text), row.valid);
  }
}

}  // namespace
}  // namespace melodock
