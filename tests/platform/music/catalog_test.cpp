// The catalog: its item values (artwork sizes, release dates); the local catalog over a
// small data set built in a temporary folder (search ranking, look-ups, the chart,
// relationships and stations, with exact results) and the build itself (what bad data
// gives, and that a failed build leaves the database it would have replaced); the
// built-in catalog as the build makes it from data/, and synthetic catalogs made by the
// benchmark generator through the same build; and the database thread under them all:
// where work runs, where callers resume, and how failures travel.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <future>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "platform/executor.h"
#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/database.h"
#include "platform/music/catalog/local_catalog.h"
#include "platform/music/catalog/statement.h"
#include "platform/music/items.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/loopback.h"

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
std::vector<std::string> songs(std::initializer_list<int> numbers, int base = 1100000000) {
  std::vector<std::string> found;
  found.reserve(numbers.size());
  for (const int number : numbers) found.push_back(std::to_string(base + number));
  return found;
}
std::vector<std::string> albums(std::initializer_list<int> numbers) {
  return songs(numbers, 1200000000);
}
std::vector<std::string> artists(std::initializer_list<int> numbers) {
  return songs(numbers, 1300000000);
}

TEST_F(LocalCatalogTest, SearchRanksByRelevanceThenPopularity) {
  struct Row {
    const char* term;
    int limit;
    std::vector<std::string> songs, artists, albums, playlists, stations;
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
  EXPECT_EQ(love.genreNames, std::vector<std::string>{"Rock"});
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
  EXPECT_EQ(albums[1].genreNames, (std::vector<std::string>{"Pop", "Rock"}));
  EXPECT_EQ(albums[1].playParameters, (PlayParameters{"1200000002", "album"}));

  const std::vector<Artist> artists = await(catalog_->artists({"1300000002"}));
  ASSERT_EQ(artists.size(), 1U);
  EXPECT_EQ(artists[0].name, "Beta Singers");
  EXPECT_EQ(artists[0].genreNames, (std::vector<std::string>{"Pop", "Rock"}));

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
    std::vector<std::string> asked, found;
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
            (std::vector<std::string>{"1200000002", "1200000001"}));
  EXPECT_EQ(ids(await(catalog_->artists({"1300000005", "1300000001"}))),
            (std::vector<std::string>{"1300000005", "1300000001"}));
  EXPECT_EQ(ids(await(catalog_->playlists({"pl.bbb", "pl.zzz", "pl.aaa"}))),
            (std::vector<std::string>{"pl.bbb", "pl.aaa"}));
  EXPECT_EQ(ids(await(catalog_->stations({"ra.1400000004", "1400000001"}))),
            (std::vector<std::string>{"ra.1400000004"}));
}

TEST_F(LocalCatalogTest, TheChartListsTheMostBoughtPlayableSongs) {
  struct Row {
    int limit;
    std::vector<std::string> songs;
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
    std::vector<std::string> topSongs, similar;
    std::optional<std::string> latest;
    std::vector<std::string> fullAlbums;
  };
  std::vector<std::string> prolificAlbums;  // the twenty with a year, newest first
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
    std::vector<std::string> first;
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
    std::vector<std::string> first = ids(seed);
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
  try {
    await(other.mostPlayedSongs(5));
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "the catalog database has format 0; this program reads format 1");
  }
}

DataSet oneSong() {
  DataSet data;
  data.artists = {"1300000001\tAlpha Band"};
  data.albums = {"1200000001\tLove Songs\t1300000001"};
  data.tracks = {"1100000001\t1200000001\tsong\tLove\tRock\t\t200000\t1\t1\t1980\t1\t0"};
  data.stations = {"ra.1400000001\tRock Station\t0\tgenre\tRock"};
  return data;
}

TEST(CatalogBuilder, NamesTheFileAndLineOfBadData) {
  struct Row {
    const char* name;
    std::vector<std::string> DataSet::*lines;  // its first line becomes `line`
    std::string line;
    const char* file;  // else written whole as `contents`
    const char* contents;
    std::string error;
  };
  const std::vector<Row> rows = {
      {"field missing", &DataSet::tracks,
       "1100000001\t1200000001\tsong\tLove\tRock\t\t200000\t1\t1\t1", nullptr, nullptr,
       "tracks.tsv line 2: 10 fields instead of 12"},
      {"not a number", &DataSet::artists, "x\tAlpha Band", nullptr, nullptr,
       "artists.tsv line 2: field 1 is not a number"},
      {"no such album", &DataSet::albums, "1200000002\tLove Songs\t1300000001", nullptr, nullptr,
       "tracks.tsv: track 1100000001 has no album"},
      {"unknown kind", &DataSet::tracks,
       "1100000001\t1200000001\tpodcast\tLove\tRock\t\t200000\t1\t1\t\t1\t0", nullptr, nullptr,
       "tracks.tsv: track 1100000001 has kind podcast"},
      {"another header", nullptr, "", "albums.tsv", "id\ttitle\tartist\n",
       "albums.tsv line 1: column 3 is not artist_id"},
      {"no header", nullptr, "", "playlists.tsv", "", "playlists.tsv: empty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    DataSet data = oneSong();
    if (row.lines != nullptr) (data.*row.lines)[0] = row.line;
    data.write(dir.path() / "data");
    if (row.file != nullptr) std::ofstream(dir.path() / "data" / row.file) << row.contents;
    try {
      buildCatalog(dir.path() / "data", dir.path() / "catalog.sqlite");
      ADD_FAILURE() << "built";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(error.what(), row.error);
    }
  }
}

TEST(CatalogBuilder, AFailedBuildKeepsTheDatabaseItWouldHaveReplaced) {
  testing::TempDir dir;
  oneSong().write(dir.path() / "good");
  const CatalogBuildSummary built =
      buildCatalog(dir.path() / "good", dir.path() / "catalog.sqlite");
  EXPECT_EQ(built.songs, 1U);
  EXPECT_EQ(built.stations, 1U);
  DataSet bad = oneSong();
  bad.tracks.push_back("1100000002\t1200000009\tsong\tLost\tRock\t\t1\t1\t1\t\t1\t0");
  bad.write(dir.path() / "bad");
  EXPECT_THROW(buildCatalog(dir.path() / "bad", dir.path() / "catalog.sqlite"), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "catalog.sqlite.partial"));
  LocalCatalog catalog(dir.path() / "catalog.sqlite");
  const std::vector<Song> songs = await(catalog.songs({"1100000001"}));
  ASSERT_EQ(songs.size(), 1U);
  EXPECT_EQ(songs[0].title, "Love");
}

class BuiltInCatalog : public ::testing::Test {
 protected:
  LocalCatalog catalog_{MELODOCK_CATALOG_FILE};
};

TEST_F(BuiltInCatalog, TheChartStartsWithTheMostBoughtSongs) {
  const std::vector<SongChart> charts = await(catalog_.mostPlayedSongs(50));
  ASSERT_EQ(charts.size(), 1U);
  ASSERT_EQ(charts[0].songs.size(), 50U);
  std::vector<std::string> first;
  for (std::size_t i = 0; i < 5; ++i) {
    first.push_back(charts[0].songs[i].title + " - " + charts[0].songs[i].artistName);
  }
  EXPECT_EQ(first, (std::vector<std::string>{"Rock And Roll All Nite - Kiss",
                                             "Ramble On - Led Zeppelin", "Somebody To Love - Queen",
                                             "Pride (In The Name Of Love) - U2",
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
  std::vector<std::string> playlists;
  for (const Playlist& playlist : await(catalog_.search("music", 25)).playlists) {
    playlists.push_back(playlist.name + " / " + playlist.curatorName.value_or("-"));
  }
  // The shorter a playlist's name and curator, the closer the match.
  EXPECT_EQ(playlists, (std::vector<std::string>{"Music / -", "Music Videos / -",
                                                 "Brazilian Music / Rio Sessions",
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
  for (const auto member :
       {&DataSet::artists, &DataSet::albums, &DataSet::tracks, &DataSet::purchases,
        &DataSet::playlists, &DataSet::playlistTracks, &DataSet::stations}) {
    EXPECT_FALSE((a.*member).empty());
    EXPECT_EQ(a.*member, b.*member);
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

using detail::execute;
using detail::Statement;

TEST(Database, RunsWorkOnItsOwnThreadAndResumesEachCallerOnItsActor) {
  testing::TempDir dir;
  Executor executor(2);
  // No waiting for the disk between inserts: this test is about threads. Destroyed
  // before the executor its callers run on.
  Database database(dir.path() / "a.sqlite", Database::Access::readWrite,
                    [](sqlite3* db) { execute(db, "PRAGMA synchronous = OFF"); });
  std::atomic<int> created = 0;
  auto caller = [&](Strand actor, int id) -> asio::awaitable<std::vector<std::int64_t>> {
    auto create = [&](sqlite3* db) {
      execute(db, "CREATE TABLE IF NOT EXISTS t(caller INTEGER, n INTEGER)");
      ++created;
    };
    co_await database.run(create);
    std::vector<std::int64_t> seen;
    for (int n = 0; n < 50; ++n) {
      const auto callerThread = std::this_thread::get_id();
      auto insert = [&, callerThread](sqlite3* db) {
        EXPECT_NE(std::this_thread::get_id(), callerThread);
        Statement(db, "INSERT INTO t VALUES (?, ?)").bind(1, id).bind(2, n).run();
        return sqlite3_last_insert_rowid(db);
      };
      seen.push_back(co_await database.run(insert));
      EXPECT_TRUE(actor.running_in_this_thread());
    }
    co_return seen;
  };
  Strand first = executor.makeStrand();
  Strand second = executor.makeStrand();
  auto a = asio::co_spawn(first, caller(first, 1), asio::use_future);
  auto b = asio::co_spawn(second, caller(second, 2), asio::use_future);
  std::vector<std::int64_t> rows = a.get();
  const std::vector<std::int64_t> more = b.get();
  rows.insert(rows.end(), more.begin(), more.end());
  std::sort(rows.begin(), rows.end());
  std::vector<std::int64_t> expected(100);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(rows, expected);  // every insert ran exactly once, one at a time
  EXPECT_EQ(created, 2);
}

TEST(Database, RunsWorkInTheOrderItWasHandedOver) {
  testing::TempDir dir;
  std::vector<int> order;  // written on the database thread only
  std::vector<int> completed;
  asio::io_context caller;
  {
    Database database(dir.path() / "a.sqlite");
    for (int i = 0; i < 20; ++i) {
      database.run([&order, i](sqlite3*) { order.push_back(i); },
                   asio::bind_executor(caller, [&completed, i](const std::exception_ptr& error) {
                     EXPECT_FALSE(error);
                     completed.push_back(i);
                   }));
    }
    caller.run();  // returns once every completion has arrived
  }
  std::vector<int> expected(20);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(completed, expected);
}

TEST(Database, CarriesFailuresBackToTheCaller) {
  testing::TempDir dir;
  asio::io_context caller;
  Database database(dir.path() / "a.sqlite");
  auto check = [&]() -> asio::awaitable<void> {
    auto badSQL = [](sqlite3* db) { return Statement(db, "SELEC 1").step(); };
    try {
      co_await database.run(badSQL);
      ADD_FAILURE() << "no error";
    } catch (const DatabaseError& error) {
      EXPECT_EQ(error.code(), SQLITE_ERROR);
      EXPECT_STREQ(error.what(), "near \"SELEC\": syntax error");
    }
    auto throws = [](sqlite3*) -> int { throw std::logic_error("from the work"); };
    try {
      co_await database.run(throws);
      ADD_FAILURE() << "no error";
    } catch (const std::logic_error& error) {
      EXPECT_STREQ(error.what(), "from the work");
    }
    // The thread survives both.
    auto one = [](sqlite3* db) {
      Statement statement(db, "SELECT 1");
      statement.step();
      return statement.integer(0);
    };
    EXPECT_EQ(co_await database.run(one), 1);
  };
  auto done = asio::co_spawn(caller, check(), asio::use_future);
  caller.run();
  done.get();
}

TEST(Database, AFailedOpenFailsEveryRun) {
  testing::TempDir dir;
  using Access = Database::Access;
  struct Row {
    const char* name;
    std::filesystem::path file;
    Access access;
    int code;
    std::function<void(sqlite3*)> setup;
  };
  const std::vector<Row> rows = {
      {"missing read-only file", dir.path() / "missing.sqlite", Access::immutable, SQLITE_CANTOPEN,
       nullptr},
      {"folder missing", dir.path() / "no" / "a.sqlite", Access::readWrite, SQLITE_CANTOPEN,
       nullptr},
      {"setup fails", dir.path() / "b.sqlite", Access::readWrite, SQLITE_ERROR,
       [](sqlite3* db) { execute(db, "CREATE TABLE"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Database database(row.file, row.access, row.setup);
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::promise<std::exception_ptr> failure;
      asio::io_context caller;
      bool ran = false;
      database.run([&](sqlite3*) { ran = true; },
                   asio::bind_executor(caller, [&](const std::exception_ptr& error) {
                     EXPECT_TRUE(caller.get_executor().running_in_this_thread());
                     failure.set_value(error);
                   }));
      caller.run();
      try {
        std::rethrow_exception(failure.get_future().get());
      } catch (const DatabaseError& error) {
        EXPECT_EQ(error.code() & 0xff, row.code);
      } catch (...) {
        ADD_FAILURE() << "no DatabaseError";
      }
      EXPECT_FALSE(ran);
    }
  }
}

}  // namespace
}  // namespace melodock
