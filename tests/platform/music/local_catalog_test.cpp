// The local catalog over a small data set built in a temporary folder: search ranking,
// look-ups, the chart, relationships and stations, with exact results.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/local_catalog.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using std::chrono::milliseconds;

// The data folder's small catalog (data/local_catalog) and a prolific artist's records.
DataSet smallCatalog() {
  DataSet data = DataSet::read(MELODOCK_MUSIC_TEST_DATA "/local_catalog");
  // Prolific: thirty albums of seven tracks, the first twenty with a year, and a later EP.
  for (int album = 1; album <= 30; ++album) {
    const std::string id = std::to_string(1200000100 + album);
    data.albums.push_back(id + "\tRecord " + std::to_string(album) + "\t1300000006");
    for (int number = 1; number <= 7; ++number) {
      const int piece = (album - 1) * 7 + number;
      data.tracks.push_back(std::to_string(1100001000 + piece) + "\t" + id + "\tsong\tPiece " +
                            std::to_string(piece) + "\tRock\t\t100000\t1\t" +
                            std::to_string(number) + "\t" +
                            (album <= 20 ? std::to_string(1980 + album) : "") + "\t1\t0");
    }
  }
  data.albums.push_back("1200000200\tExtended Play\t1300000006");
  for (int number = 1; number <= 6; ++number) {
    data.tracks.push_back(std::to_string(1100002000 + number) + "\t1200000200\tsong\tExtra " +
                          std::to_string(number) + "\tRock\t\t100000\t1\t" +
                          std::to_string(number) + "\t2010\t1\t0");
  }
  return data;
}

class LocalCatalogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempDir;
    smallCatalog().write(folder_->path() / "data");
    buildCatalog(folder_->path() / "data", folder_->path() / "catalog.sqlite");
    catalog_ = new LocalCatalog(folder_->path() / "catalog.sqlite");
  }
  static void TearDownTestSuite() {
    delete catalog_;
    delete folder_;
  }

  static inline testing::TempDir* folder_ = nullptr;
  static inline LocalCatalog* catalog_ = nullptr;
};

// Song (or artist) ids of the small catalog by their last digits, for short tables.
Strings songs(std::initializer_list<int> numbers, int base = 1100000000) {
  Strings found;
  found.reserve(numbers.size());
  for (const int number : numbers) found.push_back(std::to_string(base + number));
  return found;
}
Strings albums(std::initializer_list<int> numbers) { return songs(numbers, 1200000000); }
Strings artists(std::initializer_list<int> numbers) { return songs(numbers, 1300000000); }

TEST_F(LocalCatalogTest, SearchRanksByRelevanceThenPopularity) {
  struct Row {
    const char* term;
    int limit;
    Strings songs, artists, albums, playlists, stations;
  };
  const std::vector<Row> rows = {
      // The title itself, a longer word in a title, a title alone, an album alone.
      {"love", 25, songs({1, 2, 5, 3}), {}, {"1200000001"}, {"pl.aaa"}, {"ra.1400000001"}},
      {"lov", 25, songs({1, 2, 5, 3}), {}, {"1200000001"}, {"pl.aaa"}, {"ra.1400000001"}},
      {"LOVE songs", 25, songs({1, 2, 3}), {}, {"1200000001"}, {}, {}},
      {"love\"", 25, songs({1, 2, 5, 3}), {}, {"1200000001"}, {"pl.aaa"}, {"ra.1400000001"}},
      {"drive", 25, songs({6, 5}), {}, {"1200000002"}, {}, {}},
      // Equally relevant: the more popular first.
      {"station", 25, {}, {}, {}, {}, {"ra.1400000002", "ra.1400000003", "ra.1400000004"}},
      {"prolific", 3, songs({1007, 1001, 1002}), artists({6}), albums({101, 102, 103}), {}, {}},
      // Case, diacritics and word order do not matter; every word must match.
      {"motorhead", 25, songs({9}), {"1300000004"}, {"1200000004"}, {}, {}},
      {"MOTÖR", 25, songs({9}), {"1300000004"}, {"1200000004"}, {}, {}},
      {"spades ace", 25, songs({9}), {}, {}, {}, {}},
      {"spades love", 25, {}, {}, {}, {}, {}},
      {"desk", 25, {}, {}, {}, {"pl.aaa"}, {}},
      {"love", 0, {}, {}, {}, {}, {}},
      {"", 25, {}, {}, {}, {}, {}},
      {" !? ", 25, {}, {}, {}, {}, {}},
      {"a", 25, {}, {}, {}, {}, {}},
      {"zzzz", 25, {}, {}, {}, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.term) + " limit " + std::to_string(row.limit));
    const CatalogSearchResults found = await(catalog_->search(row.term, row.limit));
    EXPECT_EQ(ids(found.songs), row.songs);
    EXPECT_EQ(ids(found.artists), row.artists);
    EXPECT_EQ(ids(found.albums), row.albums);
    EXPECT_EQ(ids(found.playlists), row.playlists);
    EXPECT_EQ(ids(found.stations), row.stations);
  }
}

TEST_F(LocalCatalogTest, ItemsCarryTheirFieldsAndLeaveOutWhatIsUnknown) {
  const std::vector<Song> found = await(catalog_->songs(songs({1, 7, 3})));
  ASSERT_EQ(found.size(), 3U);
  const Song& love = found[0];
  EXPECT_EQ(love.title, "Love");
  EXPECT_EQ(love.artistName, "Alpha Band");
  EXPECT_EQ(love.albumTitle, "Love Songs");
  EXPECT_EQ(love.genreNames, Strings{"Rock"});
  EXPECT_EQ(love.duration, milliseconds(200000));
  EXPECT_EQ(love.trackNumber, 1);
  EXPECT_EQ(love.discNumber, 1);
  EXPECT_EQ(love.releaseDate, std::chrono::year(1980) / 1 / 1);
  EXPECT_EQ(love.composerName, "A. Writer");
  EXPECT_EQ(love.playParameters, (PlayParameters{"1100000001", "song"}));
  ASSERT_TRUE(love.artwork);
  EXPECT_EQ(artworkURL(*love.artwork, 224, 224),
            "melodock-artwork://catalog/album/1200000001/224x224.png");
  EXPECT_TRUE(love.artwork->backgroundColor);

  const Song& bare = found[1];  // no genre, duration, numbers, date or composer
  EXPECT_EQ(bare.title, "Blue in Green");
  EXPECT_TRUE(bare.genreNames.empty());
  EXPECT_FALSE(bare.duration || bare.trackNumber || bare.discNumber || bare.releaseDate ||
               bare.composerName);
  EXPECT_TRUE(bare.playParameters);
  EXPECT_FALSE(found[2].playParameters);  // "Beloved" cannot be played on this account

  const std::vector<Album> albums = await(catalog_->albums({"1200000001", "1200000002"}));
  ASSERT_EQ(albums.size(), 2U);
  EXPECT_EQ(albums[0].trackCount, 4);                                 // the music video counts
  EXPECT_EQ(albums[0].releaseDate, std::chrono::year(1985) / 1 / 1);  // its latest song
  EXPECT_FALSE(albums[1].releaseDate);
  EXPECT_EQ(albums[1].genreNames, (Strings{"Pop", "Rock"}));
  EXPECT_EQ(albums[1].playParameters, (PlayParameters{"1200000002", "album"}));

  const std::vector<Artist> artists = await(catalog_->artists({"1300000002"}));
  ASSERT_EQ(artists.size(), 1U);
  EXPECT_EQ(artists[0].name, "Beta Singers");
  EXPECT_EQ(artists[0].genreNames, (Strings{"Pop", "Rock"}));

  const std::vector<Playlist> playlists = await(catalog_->playlists({"pl.aaa", "pl.bbb"}));
  ASSERT_EQ(playlists.size(), 2U);
  EXPECT_EQ(playlists[0].curatorName, "Desk");
  EXPECT_FALSE(playlists[1].curatorName);

  const std::vector<Station> stations =
      await(catalog_->stations({"ra.1400000001", "ra.1400000002"}));
  ASSERT_EQ(stations.size(), 2U);
  EXPECT_TRUE(stations[0].isLive);
  EXPECT_FALSE(stations[1].isLive);
  EXPECT_EQ(stations[1].name, "Rock Station");
}

TEST_F(LocalCatalogTest, LooksUpIdsInTheirOrderEachOnce) {
  struct Row {
    const char* name;
    Strings asked, found;
  };
  // A music video, an album's id or a word is no song.
  const std::vector<Row> songRows = {
      {"order and repeats", {"1100000005", "1100000001", "1100000005"}, songs({5, 1})},
      {"not songs", {"1100000004", "1200000001", "love", "", "-1", "1100000001x"}, {}},
      {"one", {"1100000009"}, songs({9})},
  };
  for (const Row& row : songRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ids(await(catalog_->songs(row.asked))), row.found);
  }
  EXPECT_EQ(ids(await(catalog_->albums({"1200000002", "1100000001", "1200000001"}))),
            (Strings{"1200000002", "1200000001"}));
  EXPECT_EQ(ids(await(catalog_->artists({"1300000005", "1300000001"}))),
            (Strings{"1300000005", "1300000001"}));
  EXPECT_EQ(ids(await(catalog_->playlists({"pl.bbb", "pl.zzz", "pl.aaa"}))),
            (Strings{"pl.bbb", "pl.aaa"}));
  EXPECT_EQ(ids(await(catalog_->stations({"ra.1400000004", "1400000001"}))),
            (Strings{"ra.1400000004"}));
}

TEST_F(LocalCatalogTest, TheChartListsTheMostBoughtPlayableSongs) {
  struct Row {
    int limit;
    Strings songs;
  };
  // Bought most: the music video (5) and "Beloved" (4), which cannot be played; then
  // "Love" and "Road" (3, the radio plays first), "Night Love", and two songs bought
  // twice, the lower id first.
  const std::vector<Row> rows = {
      {50, songs({1, 10, 5, 2, 1007})},
      {100, songs({1, 10, 5, 2, 1007})},
      {2, songs({1, 10})},
      {0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.limit);
    const std::vector<SongChart> charts = await(catalog_->mostPlayedSongs(row.limit));
    ASSERT_EQ(charts.size(), 1U);
    EXPECT_EQ(charts[0].title, "Most Played");
    EXPECT_EQ(ids(charts[0].songs), row.songs);
  }
}

TEST_F(LocalCatalogTest, AlbumAndPlaylistTracksKeepTheirOrderWithMusicVideos) {
  const std::vector<Track> album = await(catalog_->albumTracks("1200000001"));
  EXPECT_EQ(ids(album), songs({1, 2, 3, 4}));
  ASSERT_EQ(album.size(), 4U);
  ASSERT_TRUE(std::holds_alternative<MusicVideo>(album[3]));
  EXPECT_EQ(std::get<MusicVideo>(album[3]).playParameters,
            (PlayParameters{"1100000004", "musicVideo"}));

  EXPECT_EQ(ids(await(catalog_->playlistTracks("pl.aaa"))), songs({2, 1, 4}));

  EXPECT_TRUE(await(catalog_->albumTracks("1200009999")).empty());
  EXPECT_TRUE(await(catalog_->albumTracks("pl.aaa")).empty());
  EXPECT_TRUE(await(catalog_->playlistTracks("pl.zzz")).empty());
}

TEST_F(LocalCatalogTest, ArtistRelationshipsComeFromPopularityGenresBuyersAndYears) {
  struct Row {
    const char* artist;
    Strings topSongs, similar;
    std::optional<std::string> latest;
    Strings fullAlbums;
  };
  Strings prolificAlbums;  // the twenty with a year, newest first
  for (int album = 20; album >= 1; --album) {
    prolificAlbums.push_back(std::to_string(1200000100 + album));
  }
  for (int album = 21; album <= 25; ++album) {
    prolificAlbums.push_back(std::to_string(1200000100 + album));
  }
  const std::vector<Row> rows = {
      // Delta shares the genre and three buyers, Prolific the genre, Beta half of it and
      // two buyers; Gamma and the tribute band share no genre.
      {"1300000001", songs({3, 1, 2}), artists({5, 6, 2}), "1200000001", {}},
      // The EP is the latest release but no full album; 25 of 30 full albums.
      {"1300000006", songs({1007, 1001, 1002, 1003, 1004, 1005, 1006, 1008, 1009, 1010}),
       artists({1, 5, 2}), "1200000200", prolificAlbums},
      {"1300000003", songs({7, 8}), {}, "1200000003", {}},
      {"1300000002", songs({5, 6}), artists({1, 5, 6}), std::nullopt, {}},
      {"1300009999", {}, {}, std::nullopt, {}},
      {"Alpha Band", {}, {}, std::nullopt, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.artist);
    const ArtistRelationships loaded = await(catalog_->artistRelationships(row.artist));
    EXPECT_EQ(ids(loaded.topSongs), row.topSongs);
    EXPECT_EQ(ids(loaded.similarArtists), row.similar);
    EXPECT_EQ(loaded.latestRelease ? std::optional(loaded.latestRelease->id) : std::nullopt,
              row.latest);
    EXPECT_EQ(ids(loaded.fullAlbums), row.fullAlbums);
  }
}

TEST_F(LocalCatalogTest, StationsDrawPlayableSongsFromTheirSeed) {
  struct Row {
    const char* station;
    Strings first;
    std::size_t count;
  };
  const std::vector<Row> rows = {
      // The most popular of the genre; "Beloved" cannot be played, the video is no song.
      {"ra.1400000002", songs({1, 10, 2, 1007, 6}), 100},
      {"ra.1400000003", songs({8}), 1},
      // The artist's own songs first, then those of similar artists.
      {"ra.1400000004", songs({1, 2, 10, 5, 1007}), 100},
      {"ra.1400000001", {}, 0},  // live: no songs
      {"ra.1400009999", {}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.station);
    const std::vector<Song> seed = await(catalog_->stationSongs(row.station));
    EXPECT_EQ(seed.size(), row.count);
    Strings first = ids(seed);
    first.resize(std::min(first.size(), row.first.size()));
    EXPECT_EQ(first, row.first);
  }
}

TEST(LocalCatalog, WithoutACatalogDatabaseEveryRequestFails) {
  testing::TempDir dir;
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path() / "other.sqlite").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t (x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  LocalCatalog missing(dir.path() / "missing.sqlite");
  EXPECT_THROW(await(missing.search("love", 5)), DatabaseError);
  EXPECT_THROW(await(missing.songs({"1100000001"})), DatabaseError);
  LocalCatalog other(dir.path() / "other.sqlite");
  EXPECT_EQ(errorText([&] { await(other.mostPlayedSongs(5)); }),
            "the catalog database has format 0; this program reads format 1");
}

}  // namespace
}  // namespace melodock
