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
