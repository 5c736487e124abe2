// Catalog discovery through the dispatcher, as an agent calls it: the service's own
// rules, over the small catalog with answers the test writes.
#include <gtest/gtest.h>

#include "music/detail/result_text.h"
#include "music/item_dicts.h"
#include "tests/support/music_service.h"

namespace melodock {
namespace {

using nlohmann::json;
using testing::song;
using Discovery = testing::MusicServiceHarness;

Album album(int number, std::optional<int> year = std::nullopt) {
  Album album{.id = std::to_string(number),
              .title = "Album " + std::to_string(number),
              .artistName = "Artist",
              .trackCount = 10};
  if (year) album.releaseDate = std::chrono::year(*year) / 1 / 1;
  return album;
}

TEST(CatalogDiscovery, ClampsTheLimitsItAsksTheCatalogFor) {
  struct Row {
    const char* tool;
    const char* arguments;
    const char* asked;
  };
  const std::vector<Row> rows = {
      {"search_catalog", R"({"query":"love","limit":0})", "search love 1"},
      {"search_catalog", R"({"query":"love","limit":7})", "search love 7"},
      {"search_catalog", R"({"query":"love","limit":100})", "search love 25"},
      {"search_catalog", R"({"query":"love"})", "search love 10"},
      {"charts", R"({"limit":0})", "chart 1"},
      {"charts", R"({"limit":30})", "chart 30"},
      {"charts", R"({"limit":100})", "chart 50"},
      {"charts", "{}", "chart 25"},
  };
  Discovery f;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.tool) + " " + row.arguments);
    f.call(row.tool, row.arguments);
    EXPECT_EQ(f.on([&] { return f.small->asked.back(); }), row.asked);
  }
}

TEST(CatalogDiscovery, SearchLeavesOutKeysWhoseValueIsAbsent) {
  Discovery f;
  EXPECT_EQ(f.call("search_catalog", R"({"query":"nothing"})"),
            R"({"albums":[],"artists":[],"playlists":[],"songs":[],"stations":[]})");
  f.on([&] {
    f.small->found = CatalogSearchResults{
        .songs = {song("11", 0)},
        .artists = {{.id = "21", .name = "Plain"},
                    {.id = "22", .name = "Wide", .genreNames = {"Jazz", "Blues"}}},
        .albums = {album(31), album(32, 1977)},
        .playlists = {{.id = "pl.a", .name = "Mix"},
                      {.id = "pl.b", .name = "Picks", .curatorName = "Desk"}},
        .stations = {{.id = "ra.1", .name = "Radio"},
                     {.id = "ra.2", .name = "On Air", .isLive = true}},
    };
  });
  EXPECT_EQ(
      f.call("search_catalog", R"({"query":"anything"})"),
      R"({"albums":[{"artist":"Artist","id":"31","name":"Album 31","tracks":10,"type":"album"},)"
      R"({"artist":"Artist","id":"32","name":"Album 32","tracks":10,"type":"album","year":1977}],)"
      R"("artists":[{"id":"21","name":"Plain","type":"artist"},)"
      R"({"genres":["Jazz","Blues"],"id":"22","name":"Wide","type":"artist"}],)"
      R"("playlists":[{"id":"pl.a","name":"Mix","type":"playlist"},)"
      R"({"curator":"Desk","id":"pl.b","name":"Picks","type":"playlist"}],)"
      R"("songs":[{"artist":"Artist 11","id":"11","name":"Title 11"}],)"
      R"("stations":[{"id":"ra.1","name":"Radio","type":"station"},)"
      R"({"id":"ra.2","live":true,"name":"On Air","type":"station"}]})");
}

TEST(CatalogDiscovery, AResourcePassesOnWhatItHas) {
  struct Row {
    const char* element;
    const char* dict;
  };
  const std::vector<Row> rows = {
      {R"({"id":"i.abc","type":"library-songs","attributes":{"name":"Song","artistName":"Band"}})",
       R"({"artist":"Band","id":"i.abc","name":"Song","type":"library-songs"})"},
      {R"({"id":7,"attributes":{"name":["odd"],"artistName":null}})", R"({"id":7,"name":["odd"]})"},
      {R"({"type":"library-albums","attributes":"not an object"})", R"({"type":"library-albums"})"},
      {R"({"href":"/v1/me/library/songs/i.1"})", "{}"},
      {R"("not an object")", "{}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.element);
    EXPECT_EQ(detail::resultText(resourceDict(json::parse(row.element))), row.dict);
  }
}

TEST(CatalogDiscovery, ArtistInfoKeepsTheFirst25FullAlbumsAndLeavesOutNoLatestRelease) {
  Discovery f;
  EXPECT_EQ(f.call("artist_info", R"({"artist_id":"42"})"), "error: No artist with id 42");
  f.on([&] {
    f.small->artistAnswer = std::vector<Artist>{{.id = "42", .name = "Prolific"}};
    f.small->relationshipsAnswer.emplace();
    for (int number = 1; number <= 40; ++number) {
      f.small->relationshipsAnswer->fullAlbums.push_back(album(100 + number));
    }
  });
  const auto info = json::parse(f.call("artist_info", R"({"artist_id":"42"})"));
  EXPECT_EQ(info.size(), 5U);
  EXPECT_FALSE(info.contains("latest_release"));
  EXPECT_EQ(info.at("name"), "Prolific");
  for (const char* empty : {"genres", "top_songs", "similar_artists"})
    EXPECT_EQ(info.at(empty), json::array()) << empty;
  ASSERT_EQ(info.at("albums").size(), 25U);
  EXPECT_EQ(info.at("albums").front().at("id"), "101");
  EXPECT_EQ(info.at("albums").back().at("id"), "125");

  f.on([&] { f.small->relationshipsAnswer->latestRelease = album(140, 2001); });
  EXPECT_EQ(json::parse(f.call("artist_info", R"({"artist_id":"42"})")).at("latest_release").dump(),
            R"({"artist":"Artist","id":"140","name":"Album 140","tracks":10,"type":"album",)"
            R"("year":2001})");
  EXPECT_EQ(f.on([&] { return f.small->asked; }),
            (std::vector<std::string>{"artists 42", "artists 42", "relationships 42", "artists 42",
                                      "relationships 42"}));
}

TEST(CatalogDiscovery, AlbumSongsListsTheSongsAndSkipsMusicVideos) {
  Discovery f;
  EXPECT_EQ(f.call("album_songs", R"({"album_id":"x 9"})"), "error: No album with id x 9");
  f.on([&] {
    f.small->albumAnswer = std::vector<Album>{album(5)};
    f.small->tracksAnswer =
        std::vector<Track>{song("1", 60), MusicVideo{.id = "2", .title = "Clip"}, song("3", 0)};
  });
  EXPECT_EQ(f.call("album_songs", R"({"album_id":"5"})"),
            R"({"album":{"artist":"Artist","id":"5","name":"Album 5","tracks":10,)"
            R"("type":"album"},"songs":[{"artist":"Artist 1","duration":60,"id":"1",)"
            R"("name":"Title 1"},{"artist":"Artist 3","id":"3","name":"Title 3"}]})");
}

TEST(CatalogDiscovery, ChartsWithoutASongChartAreTopSongsWithNoSongs) {
  Discovery f;
  f.on([&] { f.small->chartAnswer.emplace(); });
  EXPECT_EQ(f.call("charts"), R"({"chart":"Top Songs","songs":[]})");
  f.on([&] {
    f.small->chartAnswer = std::vector<SongChart>{{.title = "Most Played", .songs = {song("8", 0)}},
                                                  {.title = "Second", .songs = {}}};
  });
  EXPECT_EQ(f.call("charts"),
            R"({"chart":"Most Played","songs":[{"artist":"Artist 8","id":"8","name":"Title 8"}]})");
}

TEST(CatalogDiscovery, NeedsAuthorizationButNoConsent) {
  struct Row {
    const char* tool;
    const char* arguments;
  };
  const std::vector<Row> rows = {{"search_catalog", R"({"query":"love"})"},
                                 {"artist_info", R"({"artist_id":"1"})"},
                                 {"album_songs", R"({"album_id":"1"})"},
                                 {"charts", "{}"}};
  Discovery denied({.stored = R"({"musicAuthorization":"denied"})"});
  Discovery allowed;  // but no consent to share personal data stored
  allowed.on([&] {
    allowed.small->artistAnswer = std::vector<Artist>{{.id = "1", .name = "One"}};
    allowed.small->albumAnswer = std::vector<Album>{album(1)};
  });
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tool);
    EXPECT_EQ(denied.call(row.tool, row.arguments), testing::kNotAuthorized);
    EXPECT_EQ(allowed.call(row.tool, row.arguments).find("error: "), std::string::npos);
  }
  EXPECT_TRUE(denied.on([&] { return denied.small->asked.empty(); }));
  EXPECT_EQ(allowed.presenter.count(), 0U);
}

}  // namespace
}  // namespace melodock
