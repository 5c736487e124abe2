#include "base/percent_encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace melodock {
namespace {

TEST(PercentEncoding, EncodesPathsWithUpperCaseDigits) {
  EXPECT_EQ(percentEncodedPath("/Music/Caf\xC3\xA9 50%/a-b_c.~?#"),
            "/Music/Caf%C3%A9%2050%25/a-b_c.~%3F%23");
  std::string out = "x";
  appendPercentEncoded(out, std::string("\0\xFF", 2));
  EXPECT_EQ(out, "x%00%FF");
}

TEST(PercentEncoding, DecodesStrictlyOrLeniently) {
  struct Row {
    const char* name;
    std::string text;
    std::optional<std::string> strict;
    std::string lenient;
  };
  const std::vector<Row> rows = {
      {"plain, + kept", "a+b", "a+b", "a+b"},
      {"either case", "%c3%A9%2f", "\xC3\xA9/", "\xC3\xA9/"},
      {"a NUL byte", "%00", std::string(1, '\0'), std::string(1, '\0')},
      {"% at the end", "a%", std::nullopt, "a%"},
      {"one digit at the end", "a%4", std::nullopt, "a%4"},
      {"not hexadecimal", "%G1x", std::nullopt, "%G1x"},
      {"escape right at the end", "x%41", "xA", "xA"},
      {"decoded once", "%2541", "%41", "%41"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(percentDecoded(row.text), row.strict);
    EXPECT_EQ(percentDecodedLeniently(row.text), row.lenient);
  }
}

}  // namespace
}  // namespace melodock
