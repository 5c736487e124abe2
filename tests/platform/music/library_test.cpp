// The user's library in a real file in a temporary folder: what it starts with, saving,
// playlists, "Favourite Songs", search, history, restarts, migrations and kill -9.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <set>

#include "platform/clock.h"
#include "platform/music/library/library.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_clock.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::system_clock::time_point;

Library::WallClock wall(const ManualClock& clock) {
  return [&clock] { return clock.wallNow(); };
}

Song catalogSong(const std::string& id, const std::string& title, const std::string& artist,
                 const std::string& album) {
  return Song{.id = id,
              .title = title,
              .artistName = artist,
              .albumTitle = album,
              .genreNames = {"Rock"},
              .duration = 200000ms,
              .trackNumber = 1,
              .releaseDate = std::chrono::year(1971) / 11 / 8,
              .artwork = Artwork{.urlTemplate = "melodock-artwork://catalog/album/7/{w}x{h}.png",
                                 .width = 3000,
                                 .height = 3000,
                                 .backgroundColor = "2d4059"},
              .playParameters = PlayParameters{id, "song"}};
}

class LibraryTest : public ::testing::Test {
 protected:
  std::filesystem::path file() const {
    return dir_.path() / "data" / "melodock" / "library.sqlite";
  }

  testing::TempDir dir_;
  ManualClock clock_;
  std::optional<Library> library_{std::in_place, file(), wall(clock_)};

  const Song stairway_ = catalogSong("1100001614", "Stairway To Heaven", "Led Zeppelin", "IV");
  const Song blackDog_ = catalogSong("1100001610", "Black Dog", "Led Zeppelin", "IV");
  const Song sinatra_ =
      catalogSong("1100001055", "Loves Been Good To Me", "Frank Sinatra", "My Way");
  const Song jobim_ = catalogSong("1100000063", "Desafinado", "Antônio Carlos Jobim", "Warner");
};

// What later tests' exact lists start from: only "Favourite Songs", in the data folder.
TEST_F(LibraryTest, StartsWithFavouriteSongsSavesASongOnceAndGivesEveryItemItsOwnId) {
  {
    const testing::ScopedVariable data("XDG_DATA_HOME", (dir_.path() / "data").c_str());
    EXPECT_EQ(Library::defaultFile(), file());
  }
  EXPECT_EQ(await(library_->playlists()).size(), 1U);  // its name and id: LibraryReads
  EXPECT_TRUE(std::filesystem::exists(file()));
  const std::vector<Song> saved = await(library_->addSongs({stairway_, blackDog_}));
  ASSERT_EQ(saved.size(), 2U);
  EXPECT_EQ(ids(saved), (Strings{"i.2", "i.4"}));  // l.3: Led Zeppelin
  Song expected = stairway_;
  expected.id = "i.2";
  EXPECT_EQ(saved[0], expected);  // every field kept; plays as the catalog song

  clock_.advance(1h);
  EXPECT_EQ(ids(await(library_->addSongs({blackDog_, stairway_, saved[0]}))),
            (Strings{"i.4", "i.2", "i.2"}));
  EXPECT_EQ(await(library_->searchSongs("", 100)).size(), 2U);

  const Album album = await(library_->addAlbum(
      Album{.id = "1200000131", .title = "IV", .artistName = "Led Zeppelin", .trackCount = 8},
      {blackDog_}));
  const LibraryPlaylist made = await(library_->createPlaylist("Road", std::nullopt, {}));
  const std::vector<Artist> artists = await(library_->searchArtists("", 10));
  std::set<std::string> all = {"p.1", saved[0].id, saved[1].id, album.id, made.playlist.id};
  for (const Artist& artist : artists) all.insert(artist.id);
  EXPECT_EQ(all.size(), 6U);
  EXPECT_EQ(album.id, "l.5");
  EXPECT_EQ(made.playlist.id, "p.6");
  // An album's songs are the saved songs with its title and artist.
  EXPECT_EQ(titles(await(library_->albumSongs(album.id))),
            (Strings{"Stairway To Heaven", "Black Dog"}));
}

TEST_F(LibraryTest, OnlyTheUsersOwnPlaylistsTakeSongs) {
  const LibraryPlaylist road =
      await(library_->createPlaylist("Road Trip", "For the drive", {stairway_}));
  EXPECT_TRUE(road.canEdit);
  EXPECT_EQ(road.playlist.name, "Road Trip");
  EXPECT_EQ(road.playlist.description, "For the drive");
  await(library_->addToPlaylist(road.playlist.id, {blackDog_, stairway_}));
  EXPECT_EQ(titles(await(library_->playlistSongs(road.playlist.id))),
            (Strings{"Stairway To Heaven", "Black Dog", "Stairway To Heaven"}));
  // Songs added to a playlist join the library.
  EXPECT_EQ(await(library_->searchSongs("", 100)).size(), 2U);

  struct Row {
    const char* id;
    LibraryError::Reason reason;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"p.1", LibraryError::Reason::notEditable, "\"Favourite Songs\" can't be edited"},
      {"l.1", LibraryError::Reason::notEditable, "\"Favourite Songs\" can't be edited"},
      {"p.99", LibraryError::Reason::noSuchPlaylist, "No playlist with id p.99"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const auto error =
        caught<LibraryError>([&] { await(library_->addToPlaylist(row.id, {sinatra_})); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->reason(), row.reason);
    EXPECT_STREQ(error->what(), row.message);
  }
  // A refused change leaves nothing behind.
  EXPECT_TRUE(await(library_->searchSongs("sinatra", 10)).empty());
  EXPECT_EQ(await(library_->playlists()).size(), 2U);
}

TEST_F(LibraryTest, FavouriteSongsHoldExactlyTheLovedSongs) {
  const Song saved = await(library_->addSongs({stairway_})).front();
  struct Step {
    const char* name;
    std::string id;
    std::optional<Rating> rating;
    bool save;
    std::vector<std::string> favourites;
  };
  const std::vector<Step> steps = {
      {"love a saved song", saved.id, Rating::love, false, {"Stairway To Heaven"}},
      {"love it again", saved.id, Rating::love, false, {"Stairway To Heaven"}},
      {"love an unsaved catalog song", blackDog_.id, Rating::love, false, {"Stairway To Heaven"}},
      {"then save it", blackDog_.id, Rating::love, true, {"Stairway To Heaven", "Black Dog"}},
      {"dislike", saved.id, Rating::dislike, false, {"Black Dog"}},
      {"by catalog id", stairway_.id, Rating::love, false, {"Black Dog", "Stairway To Heaven"}},
      {"clear", blackDog_.id, std::nullopt, false, {"Stairway To Heaven"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.save) {
      await(library_->addSongs({blackDog_}));
    } else {
      await(library_->rate(step.id, "song", step.rating));
      EXPECT_EQ(await(library_->rating(step.id)), step.rating);
    }
    EXPECT_EQ(titles(await(library_->playlistSongs("p.1"))), step.favourites);
  }
}

TEST_F(LibraryTest, SearchMatchesWordStartsInAStableOrder) {
  await(library_->addSongs({stairway_, blackDog_, sinatra_, jobim_}));
  await(library_->createPlaylist("Zeppelin Nights", std::nullopt, {}));
  struct Row {
    const char* text;
    int limit;
    std::vector<std::string> songs;
  };
  const std::vector<Row> rows = {
      {"", 100, {"Black Dog", "Desafinado", "Loves Been Good To Me", "Stairway To Heaven"}},
      {"", 2, {"Black Dog", "Desafinado"}},
      {"zep", 100, {"Black Dog", "Stairway To Heaven"}},  // the latest added first
      {"zep", 1, {"Black Dog"}},
      {"LED zeppelin iv", 100, {"Black Dog", "Stairway To Heaven"}},
      {"antonio", 100, {"Desafinado"}},
      {"love", 100, {"Loves Been Good To Me"}},
      {"way heav", 100, {}},  // "way" starts no word of "Stairway"
      {"dog heaven", 100, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(titles(await(library_->searchSongs(row.text, row.limit))), row.songs);
  }
  EXPECT_EQ(names(await(library_->searchArtists("", 10))),
            (Strings{"Antônio Carlos Jobim", "Frank Sinatra", "Led Zeppelin"}));
  EXPECT_EQ(names(await(library_->searchPlaylists("", 10))),
            (Strings{"Favourite Songs", "Zeppelin Nights"}));
  EXPECT_EQ(await(library_->searchPlaylists("zep", 10)).size(), 1U);
}

TEST_F(LibraryTest, HistoryListsEachSongOnceNewestFirstAndHeavyRotationTheLastThirtyDays) {
  const PlayContext iv{
      .id = "1200000131", .kind = "albums", .name = "IV", .artistName = "Led Zeppelin"};
  const PlayContext road{.id = "p.9", .kind = "playlists", .name = "Road Trip"};
  struct Play {
    Song song;
    std::optional<PlayContext> context;
    std::chrono::hours later;
  };
  const std::vector<Play> plays = {
      {jobim_, road, 0h},         // 40 days ago: outside heavy rotation
      {stairway_, iv, 24h * 39},  // 1 day ago
      {blackDog_, iv, 1h},       {sinatra_, std::nullopt, 1h},
      {jobim_, road, 1h},        {stairway_, iv, 1h},  // latest
  };
  for (const Play& play : plays) {
    clock_.advance(play.later);
    await(library_->recordPlay(play.song, play.context));
  }
  EXPECT_EQ(titles(await(library_->recentlyPlayed(30))),
            (Strings{"Stairway To Heaven", "Desafinado", "Loves Been Good To Me", "Black Dog"}));
  EXPECT_EQ(titles(await(library_->recentlyPlayed(2))),
            (Strings{"Stairway To Heaven", "Desafinado"}));
  Song asPlayed = stairway_;  // what a listing shows, without track numbers
  asPlayed.trackNumber.reset();
  EXPECT_EQ(await(library_->recentlyPlayed(1)).front(), asPlayed);
  EXPECT_EQ(await(library_->heavyRotation(10)), (std::vector<RotationItem>{{iv, 3}, {road, 1}}));
}

// A file as a scan reads it, its album's artist its own.
ReadMusicFile musicFile(const char* path, const char* title, const char* artist,
                        std::chrono::milliseconds duration) {
  ReadMusicFile file{.path = path, .tags = {.albumArtist = artist}};
  file.tags.song = Song{.title = title, .artistName = artist, .duration = duration};
  return file;
}

TEST_F(LibraryTest, FindsTheMusicFileThatPlaysACatalogSong) {
  await(library_->storeMusicFiles(
      {.read = {musicFile("/a.flac", "DON\u2019T STOP (live)", "fleetwood mac", 200000ms),
                musicFile("/b.flac", "Don't Stop (Live)", "Fleetwood Mac", 202500ms),
                musicFile("/c.flac", "Dreams", "Fleetwood Mac", 250000ms),
                musicFile("/d.flac", "\u00cele", "Zaz", 180000ms)}}));
  await(library_->storeMusicFiles({.vanished = {"/c.flac"}}));
  struct Row {
    Song song;
    const char* file;  // empty for none
  };
  const std::vector<Row> rows = {
      {{.title = "Don't Stop (Live)", .artistName = "Fleetwood Mac", .duration = 201000ms},
       "/a.flac"},
      {{.title = "don't stop - live", .artistName = "FLEETWOOD MAC", .duration = 205000ms},
       "/b.flac"},
      {{.title = "Don't Stop (Live)", .artistName = "Fleetwood Mac", .duration = 206000ms}, ""},
      {{.title = "Don't Stop", .artistName = "Fleetwood Mac", .duration = 200000ms}, ""},
      {{.title = "Dreams", .artistName = "Fleetwood Mac", .duration = 250000ms}, ""},
      {{.title = "\u00eeLE", .artistName = "ZAZ", .duration = 180000ms}, "/d.flac"},
      {{.title = "Ile", .artistName = "Zaz", .duration = 180000ms}, ""},
  };
  std::vector<Song> songs;
  songs.reserve(rows.size());
  for (const Row& row : rows) songs.push_back(row.song);
  const std::vector<Song> matched = await(library_->withMusicFiles(songs));
  ASSERT_EQ(matched.size(), rows.size());
  for (std::size_t at = 0; at < rows.size(); ++at) {
    SCOPED_TRACE(rows[at].song.title);
    EXPECT_EQ(matched[at].file.value_or(""), rows[at].file);
  }
}

// The SQL of one of the data folder's files.
std::string fixture(const char* name) {
  return testing::readFile(std::filesystem::path(MELODOCK_MUSIC_TEST_DATA) / name);
}

// Runs `statements` on `file`; the first column of the last row they gave.
std::string sql(const std::filesystem::path& file, const char* statements) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  std::string value;
  char* error = nullptr;
  auto keep = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
    return 0;
  };
  sqlite3_exec(db, statements, keep, &value, &error);
  EXPECT_STREQ(error, nullptr);
  sqlite3_free(error);
  sqlite3_close(db);
  return value;
}

// A library file in a temporary folder, on a clock of the time the fixtures' rows were
// played at.
class LibraryMigration : public ::testing::Test {
 protected:
  // A file made by this program and taken back to version 4, holding `rows`.
  void makeVersion4(const char* rows) {
    { Library made(file_, wall(clock_)); }
    sql(file_, fixture("back_to_version4.sql").c_str());
    sql(file_, fixture(rows).c_str());
    ASSERT_EQ(sql(file_, "PRAGMA user_version"), "4");
  }
  testing::TempDir dir_;
  const std::filesystem::path file_ = dir_.path() / "library.sqlite";
  ManualClock clock_{Time(std::chrono::milliseconds(4000000000000))};
};

TEST_F(LibraryMigration, BringsAnOlderFileUpToDateAndKeepsItsRows) {
  sql(file_, fixture("library_version1.sql").c_str());
  {
    Library library(file_, wall(clock_));
    // Searchable, though version 1 had no search.
    const std::vector<Song> found = await(library.searchSongs("antonio", 10));
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].id, "i.2");
    EXPECT_EQ(found[0].releaseDate, std::chrono::year(1959) / 1 / 1);
    EXPECT_EQ(ids(await(library.recentlyPlayed(30))), (Strings{"i.2"}));
    EXPECT_EQ(ids(await(library.playlistSongs("p.4"))), (Strings{"i.2"}));
    await(library.recordPlay(found[0],
                             PlayContext{.id = "p.4", .kind = "playlists", .name = "Old Mix"}));
    EXPECT_EQ(await(library.createPlaylist("New", std::nullopt, {})).playlist.id, "p.5");
  }
  EXPECT_EQ(sql(file_, "PRAGMA user_version"), "6");
}

TEST_F(LibraryMigration, JoinsTheAlbumsOneFoldersFilesWereSplitIntoAndReadsTheFilesAgain) {
  ASSERT_NO_FATAL_FAILURE(makeVersion4("version4_split_albums.sql"));
  Library library(file_, wall(clock_));
  const std::optional<Album> joined = await(library.album("l.2"));
  ASSERT_TRUE(joined);
  EXPECT_EQ(joined->trackCount, 2);
  EXPECT_EQ(ids(await(library.albumSongs("l.2"))), (Strings{"i.3", "i.5"}));
  EXPECT_FALSE(await(library.album("l.4")));
  EXPECT_EQ(ids(await(library.albumSongs("l.6"))), Strings{"i.7"});
  EXPECT_EQ(await(library.searchAlbums("gladiator", 10)).size(), 2U);
  for (const KnownMusicFile& known : await(library.musicFiles(""))) {
    SCOPED_TRACE(known.path);
    EXPECT_NE(known.stamp, (FileStamp{5, 5}));
  }
}

TEST_F(LibraryMigration, GivesFavouriteSongsItsPlaylistIdAndKeepsTheFormerOneWorking) {
  ASSERT_NO_FATAL_FAILURE(makeVersion4("version4_favourites.sql"));
  Library library(file_, wall(clock_));
  const std::vector<LibraryPlaylist> playlists = await(library.playlists());
  ASSERT_EQ(playlists.size(), 1U);
  EXPECT_EQ(playlists[0].playlist.id, "p.1");
  EXPECT_EQ(playlists[0].playlist.name, "Favourite Songs");
  EXPECT_FALSE(playlists[0].canEdit);
  for (const char* id : {"p.1", "l.1"}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(ids(await(library.playlistSongs(id))), Strings{"i.2"});
    EXPECT_EQ(await(library.rating(id)), Rating::love);
    ASSERT_TRUE(await(library.playlist(id)));
  }
  const std::vector<RotationItem> rotation = await(library.heavyRotation(10));
  ASSERT_EQ(rotation.size(), 1U);
  EXPECT_EQ(rotation[0].item.id, "p.1");
  // Loving a song still fills it.
  await(library.rate("i.2", "song", std::nullopt));
  EXPECT_TRUE(await(library.playlistSongs("p.1")).empty());
  await(library.rate("i.2", "song", Rating::love));
  EXPECT_EQ(ids(await(library.playlistSongs("p.1"))), Strings{"i.2"});
  EXPECT_EQ(await(library.createPlaylist("Next", std::nullopt, {})).playlist.id, "p.3");
  EXPECT_EQ(sql(file_, "PRAGMA user_version"), "6");
}

TEST_F(LibraryMigration, LeavesANewerFileAlone) {
  sql(file_, "CREATE TABLE future (x); PRAGMA user_version = 99;");
  {
    Library library(file_, wall(clock_));
    EXPECT_EQ(errorText([&] { await(library.playlists()); }),
              "the library has schema version 99, newer than this program's 6");
  }
  EXPECT_EQ(sql(file_, "PRAGMA user_version"), "99");
}

// The child writes changes one after another and reports each one that returned;
// it is killed at a random moment, mid-change more often than not.
[[noreturn]] void writeUntilKilled(const std::filesystem::path& file, int report) {
  ManualClock clock;
  Library library(file, wall(clock));
  for (std::int64_t i = 1;; ++i) {
    const std::string id = "cat-" + std::to_string(i);
    switch (i % 3) {
      case 0:
        await(library.createPlaylist("List " + std::to_string(i), std::nullopt,
                                     {catalogSong(id, "Song", "Artist", "Album")}));
        break;
      case 1:
        await(library.recordPlay(catalogSong(id, "Song", "Artist", "Album"), std::nullopt));
        break;
      default:
        await(library.rate(id, "song", Rating::love));
    }
    clock.advance(1s);
    if (write(report, &i, sizeof i) != sizeof i) _exit(1);
  }
}

TEST(LibraryDurability, AWriterKilledAtAnyMomentLosesNothingItCommitted) {
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  testing::TempDir dir;
  std::size_t total = 0;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::filesystem::path file = dir.path() / ("round" + std::to_string(round) + ".sqlite");
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipe[0]);
      writeUntilKilled(file, pipe[1]);
    }
    close(pipe[1]);
    const std::size_t killAfter = 1 + random() % 25;
    std::set<std::int64_t> committed;
    std::int64_t value = 0;
    while (committed.size() < killAfter && read(pipe[0], &value, sizeof value) == sizeof value) {
      committed.insert(value);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    while (read(pipe[0], &value, sizeof value) == sizeof value) committed.insert(value);
    close(pipe[0]);
    total += committed.size();
    {
      ManualClock clock;
      Library library(file, wall(clock));
      std::set<std::string> played;
      for (const Song& song : await(library.recentlyPlayed(1'000'000))) played.insert(song.id);
      std::set<std::string> lists;
      for (const LibraryPlaylist& playlist : await(library.playlists())) {
        lists.insert(playlist.playlist.name);
      }
      for (const std::int64_t i : committed) {
        SCOPED_TRACE("change " + std::to_string(i));
        const std::string id = "cat-" + std::to_string(i);
        if (i % 3 == 0) {
          EXPECT_TRUE(lists.count("List " + std::to_string(i)));
        } else if (i % 3 == 1) {
          EXPECT_TRUE(played.count(id));
        } else {
          EXPECT_EQ(await(library.rating(id)), Rating::love);
        }
      }
    }
    EXPECT_EQ(sql(file, "PRAGMA integrity_check"), "ok");
  }
  EXPECT_GT(total, 4U);
}

}  // namespace
}  // namespace melodock
