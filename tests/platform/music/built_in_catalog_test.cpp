// The built-in catalog as the build makes it from data/, and synthetic catalogs made
// by the benchmark generator through the same build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/local_catalog.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

class BuiltInCatalog : public ::testing::Test {
 protected:
  LocalCatalog catalog_{MELODOCK_CATALOG_FILE};
};

TEST_F(BuiltInCatalog, TheChartStartsWithTheMostBoughtSongs) {
  const std::vector<SongChart> charts = await(catalog_.mostPlayedSongs(50));
  ASSERT_EQ(charts.size(), 1U);
  ASSERT_EQ(charts[0].songs.size(), 50U);
  Strings first =
      each(charts[0].songs, [](const Song& song) { return song.title + " - " + song.artistName; });
  first.resize(5);
  EXPECT_EQ(first, (Strings{"Rock And Roll All Nite - Kiss", "Ramble On - Led Zeppelin",
                            "Somebody To Love - Queen", "Pride (In The Name Of Love) - U2",
                            "You're My Best Friend - Queen"}));
  EXPECT_EQ(charts[0].songs[0].id, "1100001576");
}

// The title, artist, album and length of 1100000001 are the end-to-end tests'.
TEST_F(BuiltInCatalog, SongsKeepTheirRecordingsFacts) {
  const std::vector<Song> songs =
      await(catalog_.songs({"1100000001", "1100000002", "1100001633", "1100003402"}));
  ASSERT_EQ(songs.size(), 3U);  // the last is a music video
  EXPECT_EQ(songs[0].composerName, "Angus Young, Malcolm Young, Brian Johnson");
  EXPECT_FALSE(songs[0].releaseDate);  // not on the classic-rock list
  EXPECT_TRUE(songs[0].playParameters);
  EXPECT_FALSE(songs[1].playParameters);  // a protected file
  EXPECT_EQ(songs[2].title, "Ramble On");
  EXPECT_EQ(songs[2].releaseDate, std::chrono::year(1969) / 1 / 1);

  const std::vector<Track> revelations = await(catalog_.albumTracks("1200000271"));
  ASSERT_EQ(revelations.size(), 14U);
  EXPECT_TRUE(std::holds_alternative<MusicVideo>(revelations.back()));
  EXPECT_EQ(trackTitle(revelations.back()), "Band Members Discuss Tracks from \"Revelations\"");
}

TEST_F(BuiltInCatalog, SearchFindsMusicAndNothingElse) {
  const CatalogSearchResults motorhead = await(catalog_.search("motorhead", 5));
  ASSERT_FALSE(motorhead.artists.empty());
  EXPECT_EQ(motorhead.artists[0].name, "Motörhead");
  EXPECT_EQ(motorhead.songs.size(), 5U);
  EXPECT_EQ(await(catalog_.search("battlestar", 25)), CatalogSearchResults{});  // television
  const Strings playlists =
      each(await(catalog_.search("music", 25)).playlists, [](const Playlist& playlist) {
        return playlist.name + " / " + playlist.curatorName.value_or("-");
      });
  // The shorter a playlist's name and curator, the closer the match.
  EXPECT_EQ(playlists, (Strings{"Music / -", "Music Videos / -", "Brazilian Music / Rio Sessions",
                                "90’s Music / Decades Desk"}));
}

TEST_F(BuiltInCatalog, OffersStationsOfGenresAndArtistsTwoOfThemLive) {
  std::vector<std::string> asked;
  for (int number = 1; number <= 16; ++number)
    asked.push_back("ra." + std::to_string(1400000000 + number));
  const std::vector<Station> stations = await(catalog_.stations(asked));
  EXPECT_EQ(stations.size(), 15U);
  int live = 0;
  for (const Station& station : stations) {
    live += station.isLive;
    EXPECT_EQ(await(catalog_.stationSongs(station.id)).empty(), station.isLive) << station.name;
  }
  EXPECT_EQ(live, 2);
}

TEST_F(BuiltInCatalog, AnArtistsRelationsShareGenresFirstAndListenersNextWithoutVariousArtists) {
  const ArtistRelationships zeppelin = await(catalog_.artistRelationships("1300000022"));
  ASSERT_EQ(zeppelin.topSongs.size(), 10U);
  EXPECT_EQ(zeppelin.topSongs[0].title, "Ramble On");
  ASSERT_TRUE(zeppelin.latestRelease);
  EXPECT_EQ(zeppelin.latestRelease->title, "Coda");
  EXPECT_EQ(yearOf(*zeppelin.latestRelease->releaseDate), 1982);
  EXPECT_EQ(zeppelin.fullAlbums.size(), 11U);
  struct Row {
    const char* artist;
    std::vector<std::string> first;
  };
  const std::vector<Row> rows = {
      {"1300000022", {"Creedence Clearwater Revival"}},
      {"1300000068", {"Gene Krupa", "Billy Cobham", "Spyro Gyra"}},  // Jazz, then buyers
      {"1300000021", {"Gilberto Gil", "Marcos Valle"}},              // "Various Artists" itself
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.artist);
    std::vector<std::string> found =
        names(await(catalog_.artistRelationships(row.artist)).similarArtists);
    EXPECT_EQ(std::count(found.begin(), found.end(), "Various Artists"), 0);
    found.resize(std::min(found.size(), row.first.size()));
    EXPECT_EQ(found, row.first);
  }
}

TEST(SyntheticCatalog, IsTheSameEveryTimeAndBuildsLikeTheBuiltInOne) {
  testing::TempDir dir;
  for (const char* name : {"a", "b"}) {
    const std::string command = std::string(MELODOCK_SYNTHETIC_CATALOG) + " " +
                                MELODOCK_DATA_FOLDER + " " + (dir.path() / name).string() +
                                " 3000 7";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  const DataSet a = DataSet::read(dir.path() / "a");
  const DataSet b = DataSet::read(dir.path() / "b");
  for (const DataSet::File& file : DataSet::files()) {
    SCOPED_TRACE(file.name);
    EXPECT_FALSE((a.*file.lines).empty());
    EXPECT_EQ(a.*file.lines, b.*file.lines);
  }
  const CatalogBuildSummary built = buildCatalog(dir.path() / "a", dir.path() / "a.sqlite");
  EXPECT_EQ(built.songs + built.musicVideos, 3000U);
  LocalCatalog catalog(dir.path() / "a.sqlite");
  const std::vector<SongChart> charts = await(catalog.mostPlayedSongs(50));
  ASSERT_EQ(charts.size(), 1U);
  ASSERT_FALSE(charts[0].songs.empty());
  // Its most played song is found by its own title.
  const CatalogSearchResults found = await(catalog.search(charts[0].songs[0].title, 25));
  EXPECT_NE(std::find(found.songs.begin(), found.songs.end(), charts[0].songs[0]),
            found.songs.end());
}

}  // namespace
}  // namespace melodock
