// Item values: artwork sizes and release dates.
#include <gtest/gtest.h>

#include "platform/music/items.h"

namespace melodock {
namespace {

TEST(Items, ArtworkURLFillsEverySizePlaceholder) {
  struct Row {
    const char* name;
    std::string urlTemplate;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"both", "melodock-artwork://album/7/{w}x{h}.png", "melodock-artwork://album/7/224x100.png"},
      {"repeated", "a/{w}/{w}/{h}", "a/224/224/100"},
      {"none", "plain", "plain"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(artworkURL(Artwork{.urlTemplate = row.urlTemplate}, 224, 100), row.expected);
  }
}

TEST(Items, ReleaseDatesAreCalendarDatesFromText) {
  using std::chrono::year;
  struct Row {
    const char* text;
    std::optional<ReleaseDate> date;
  };
  const std::vector<Row> rows = {
      {"1982", year(1982) / 1 / 1},
      {"1982-06", year(1982) / 6 / 1},
      {"1982-06-30", year(1982) / 6 / 30},
      {"1982-02-30", std::nullopt},
      {"82", std::nullopt},
      {"1982-6-1", std::nullopt},
      {"", std::nullopt},
      {"1982-06-30x", std::nullopt},
      {"1982-06-30-01", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(parseReleaseDate(row.text), row.date);
  }
  EXPECT_EQ(releaseDateText(year(969) / 12 / 1), "0969-12-01");
  EXPECT_EQ(yearOf(year(1999) / 12 / 31), 1999);  // no time zone moves it
}

}  // namespace
}  // namespace melodock
