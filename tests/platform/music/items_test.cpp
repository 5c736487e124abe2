// Item values: artwork sizes and the track accessors.
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

TEST(Items, ATrackIsASongOrAMusicVideo) {
  const Track song = Song{.id = "1", .title = "Walk On"};
  const Track video = MusicVideo{.id = "2", .title = "Live"};
  ASSERT_NE(asSong(song), nullptr);
  EXPECT_EQ(asSong(song)->title, "Walk On");
  EXPECT_EQ(asSong(video), nullptr);
  EXPECT_EQ(trackID(video), "2");
  EXPECT_EQ(trackTitle(song), "Walk On");
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

TEST(Items, IdFormsAreTellApartByTheirPrefix) {
  EXPECT_TRUE(isCatalogPlaylistID("pl.abc"));
  EXPECT_FALSE(isCloudPlaylistID("pl.abc"));
  EXPECT_TRUE(isCloudPlaylistID("p.abc"));
  EXPECT_TRUE(isLibrarySongID("i.1"));
  EXPECT_TRUE(isLibraryItemID("l.1"));
  EXPECT_TRUE(isStationID("ra.1"));
  EXPECT_FALSE(isStationID("1400000001"));
}

}  // namespace
}  // namespace melodock
