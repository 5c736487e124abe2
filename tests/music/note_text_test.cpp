// The note's text rules: trimming, line feeds and the 60-character cut.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "music/detail/note_text.h"

namespace melodock {
namespace {

std::string times(std::size_t count, const std::string& piece) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

TEST(NoteText, TrimsJoinsLinesAndKeepsSixtyUserPerceivedCharacters) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
  const std::string germany = "\U0001F1E9\U0001F1EA";
  const std::string france = "\U0001F1EB\U0001F1F7";
  struct Row {
    const char* name;
    std::string text;
    std::optional<std::string> note;
  };
  const std::vector<Row> rows = {
      {"empty", "", std::nullopt},
      {"only line breaks and tabs", "\n\r\n\t\v\f", std::nullopt},
      {"only Unicode spaces", "\u00A0\u2003\u3000\u2028\u2029\u0085", std::nullopt},
      {"a line feed inside", "Late night\njazz", "Late night jazz"},
      {"two line feeds inside", "Late night\n\njazz", "Late night  jazz"},
      {"a carriage return inside stays", "Late\r\nnight", "Late\r night"},
      {"both ends trimmed", "\n\t Late night\u3000\u00A0\n", "Late night"},
      {"spaces inside stay", "a \u00A0 b", "a \u00A0 b"},
      {"a zero-width space is not white space", "\u200Bjazz\u200B", "\u200Bjazz\u200B"},
      {"exactly sixty", times(60, "a"), times(60, "a")},
      {"seventy after trimming", "   " + times(70, "c") + "   ", times(60, "c")},
      {"counted after line feeds join", times(30, "ab\n"), times(20, "ab ")},
      {"the cut is not trimmed again", times(59, "d") + " e", times(59, "d") + " "},
      {"two-byte characters", times(70, "\u00E9"), times(60, "\u00E9")},
      {"four-byte characters", times(61, "\U0001D11E"), times(60, "\U0001D11E")},
      {"a combining mark kept with its letter", times(59, "x") + "a\u030A" + "yz",
       times(59, "x") + "a\u030A"},
      {"Hangul syllables from jamo", times(61, "\u1100\u1161\u11A8"),
       times(60, "\u1100\u1161\u11A8")},
      {"emoji ZWJ sequences", times(61, family), times(60, family)},
      {"emoji with skin tones", times(61, "\U0001F44B\U0001F3FD"),
       times(60, "\U0001F44B\U0001F3FD")},
      {"a flag never split", times(59, "f") + germany + france, times(59, "f") + germany},
      {"a line feed before a combining mark", "a\n\u0301b", "a \u0301b"},
      {"bad byte", std::string("ab\xFF") + "cd", "ab\uFFFDcd"},
      {"truncated sequence at the end", "jazz \xE2\x99", "jazz \uFFFD"},
      {"encoded surrogate", std::string("a\xED\xA0\x80") + "b", "a\uFFFD\uFFFD\uFFFDb"},
      {"a NUL inside stays", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(detail::noteText(row.text), row.note);
  }
}

}  // namespace
}  // namespace melodock
