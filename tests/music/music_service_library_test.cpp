// The library tools over the real in-process web API, a real library file and the
// built-in catalog: exact texts, the order of checks, and each request as the web API
// read it.
#include <gtest/gtest.h>

#include "tests/support/music_service.h"

namespace melodock {
namespace {

using nlohmann::json;

constexpr const char* kChangesRefusal =
    "error: The user chose not to allow changes to their library. They can turn it on later: "
    "Melodock panel \u2192 Connect Your AI \u2192 Allow Library Changes.";

using testing::kNotAuthorized;
using testing::kPersonalRefusal;

using Answer = testing::TestPresenter::Answer;

// The refusal to add to the playlist `name`, which cannot be edited.
std::string notEditable(const std::string& name) {
  return "error: \"" + name +
         "\" can't be edited: it's Apple Music's or someone else's playlist. If it's Favourite "
         "Songs (its name depends on the language), it fills itself with loved songs: love the "
         "song with rate instead. Otherwise create a playlist of the user's own.";
}

Catalog& builtInCatalog() {
  static LocalCatalog catalog(MELODOCK_CATALOG_FILE);
  return catalog;
}

// The tools over the built-in catalog and the library served in process (or, when not
// `inProcess`, the scripted web API); the user says yes unless a test says otherwise.
struct LibraryTools : testing::MusicServiceHarness {
  explicit LibraryTools(bool inProcess = true,
                        const std::string& stored = R"({"musicAuthorization":"authorized"})")
      : MusicServiceHarness({.stored = stored,
                             .answer = Answer::yes,
                             .catalog = &builtInCatalog(),
                             .inProcessWebAPI = inProcess}) {}
};

struct GateRow {
  const char* tool;
  const char* arguments;
  std::string allowed;  // consent given; empty when the answer is checked elsewhere
};

// Calls each row's tool with consent refused, where each answers `refusal` and nothing is
// sent, then with consent given; the number of requests sent when given.
std::size_t passThroughTheGate(const std::vector<GateRow>& rows, const std::string& refusal,
                               const std::function<void(LibraryTools&)>& after) {
  std::size_t sent = 0;
  for (const bool allow : {false, true}) {
    LibraryTools f;
    f.presenter.mode = allow ? Answer::yes : Answer::no;
    for (const GateRow& row : rows) {
      SCOPED_TRACE(std::string(row.tool) + " " + row.arguments);
      const std::string answer = f.call(row.tool, row.arguments);
      if (!allow || !row.allowed.empty()) {
        EXPECT_EQ(answer, allow ? row.allowed : refusal);
      }
    }
    if (!allow) {
      EXPECT_TRUE(f.requests.empty());
    }
    sent = f.requests.size();
    after(f);
  }
  return sent;
}

TEST(LibraryTools, ChecksArgumentsInOrderAfterTheGateAndSendsNothing) {
  const std::vector<GateRow> rows = {
      {"add_to_playlist", R"({"playlist_id":"pl.1","ids":[]})", "error: ids must not be empty"},
      {"add_to_playlist", R"({"playlist_id":"pl.1","ids":["1"]})",
       "error: Use the playlist's p.\u2026 id from library_playlists or create_playlist."},
      {"add_to_playlist", R"({"playlist_id":"l.1","ids":["1"]})",
       "error: Use the playlist's p.\u2026 id from library_playlists or create_playlist."},
      {"add_to_library", R"({"type":"artists","ids":[]})",
       "error: type must be songs, albums, or playlists"},
      {"add_to_library", R"({"type":"songs","ids":[]})", "error: ids must not be empty"},
      {"rate", R"({"id":"1","kind":"songs","rating":"meh"})",
       "error: kind must be song, album, or playlist"},
      {"rate", R"({"id":"1","kind":"song","rating":"meh"})",
       "error: rating must be love, dislike, or clear"},
      {"create_playlist", R"({"name":"N","ids":[]})", ""},
  };
  // Allowed: only the playlist made reached the web API.
  EXPECT_EQ(passThroughTheGate(rows, kChangesRefusal, [](LibraryTools&) {}), 1U);
}

TEST(LibraryTools, SendsEachChangeAsTheWebAPIReadsIt) {
  LibraryTools f;
  const std::vector<std::string> songs = f.chartSongs(3);
  const std::string& a = songs[0];
  const std::string& b = songs[1];
  const std::string& c = songs[2];

  EXPECT_EQ(f.call("create_playlist",
                   R"({"name":"Road","description":"Long drive","ids":[")" + a + R"(","i.99"]})"),
            R"(error: Apple Music API error (404): Resource Not Found. No song with id i.99)");
  EXPECT_EQ(f.call("create_playlist",
                   R"({"name":"Road","description":"Long drive","ids":[")" + a + R"("]})"),
            R"({"created":true,"id":"p.2","name":"Road","songs":1})");
  EXPECT_EQ(f.call("add_to_playlist", R"({"playlist_id":"p.2","ids":[")" + b + R"("]})"),
            R"({"added":1,"playlist_id":"p.2"})");
  EXPECT_EQ(f.call("add_to_playlist", R"({"playlist_id":"p.204","ids":[")" + b + R"("]})"),
            "error: Apple Music API error (404): Resource Not Found. No library playlist with id "
            "p.204");
  EXPECT_EQ(f.call("add_to_library", R"({"type":"songs","ids":[")" + b + R"(",")" + c + R"("]})"),
            R"({"added":2,"type":"songs"})");
  EXPECT_EQ(f.call("rate", R"({"id":")" + c + R"(","kind":"song","rating":"love"})"),
            R"({"id":")" + c + R"(","rating":"love"})");
  EXPECT_EQ(f.call("rate", R"({"id":"i.3","kind":"song","rating":"dislike"})"),
            R"({"id":"i.3","rating":"dislike"})");
  EXPECT_EQ(f.call("rate", R"({"id":"l.1","kind":"playlist","rating":"clear"})"),
            R"({"id":"l.1","rating":"clear"})");

  const std::string playlists = "GET /v1/me/library/playlists limit=100";
  EXPECT_EQ(
      f.requests,
      (std::vector<std::string>{
          R"(POST /v1/me/library/playlists {"attributes":{"description":"Long drive",)"
          R"("name":"Road"},"relationships":{"tracks":{"data":[{"id":")" +
              a + R"(","type":"songs"},{"id":"i.99","type":"library-songs"}]}}})",
          R"(POST /v1/me/library/playlists {"attributes":{"description":"Long drive",)"
          R"("name":"Road"},"relationships":{"tracks":{"data":[{"id":")" +
              a + R"(","type":"songs"}]}}})",
          playlists,
          "POST /v1/me/library/playlists/p.2/tracks {\"data\":[{\"id\":\"" + b +
              "\",\"type\":\"songs\"}]}",
          playlists,
          "POST /v1/me/library/playlists/p.204/tracks {\"data\":[{\"id\":\"" + b +
              "\",\"type\":\"songs\"}]}",
          "POST /v1/me/library ids[songs]=" + b + "," + c,
          "PUT /v1/me/ratings/songs/" + c + R"( {"attributes":{"value":1},"type":"rating"})",
          "POST /v1/me/library ids[songs]=" + c,
          R"(PUT /v1/me/ratings/library-songs/i.3 {"attributes":{"value":-1},"type":"rating"})",
          "DELETE /v1/me/ratings/library-playlists/l.1",
      }));

  // The library is the truth: the playlist holds both songs, the loved song is in
  // Favourite Songs, and saving twice changed nothing.
  EXPECT_EQ(testing::awaitOn(f.main, f.library.playlistSongs("p.2")).size(), 2U);
  const auto favourites = testing::awaitOn(f.main, f.library.playlistSongs("l.1"));
  ASSERT_EQ(favourites.size(), 1U);
  EXPECT_EQ(favourites.front().playParameters->id, c);
  f.call("add_to_library", R"({"type":"songs","ids":[")" + b + R"("]})");
  EXPECT_EQ(testing::awaitOn(f.main, f.library.searchSongs("", 100)).size(), 3U);

  EXPECT_EQ(f.call("library_playlists"),
            R"([{"can_edit":false,"id":"p.1","name":"Favourite Songs","type":"playlist"},)"
            R"({"can_edit":true,"id":"p.2","name":"Road","type":"playlist"}])");
  f.requests.clear();
  const json added =
      json::parse(f.call("search_library", R"({"recently_added":true,"limit":500})"));
  EXPECT_EQ(f.requests, (std::vector<std::string>{"GET /v1/me/library/recently-added limit=25"}));
  EXPECT_EQ(added.size(), 4U);  // the playlist and the three songs
}

TEST(LibraryTools, RatingAnItemNeitherInTheCatalogNorInTheLibraryFails) {
  LibraryTools f;
  struct Row {
    const char* id;
    const char* kind;
    const char* rating;
    const char* detail;
  };
  const std::vector<Row> rows = {
      {"999999999", "song", "love", "No catalog song with id 999999999"},
      {"999999999", "album", "dislike", "No catalog album with id 999999999"},
      {"pl.404", "playlist", "clear", "No catalog playlist with id pl.404"},
      {"i.404", "song", "love", "No library song with id i.404"},
      {"l.404", "album", "dislike", "No library album with id l.404"},
      {"p.404", "playlist", "love", "No library playlist with id p.404"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.id) + " " + row.kind);
    f.requests.clear();
    EXPECT_EQ(f.call("rate", std::string(R"({"id":")") + row.id + R"(","kind":")" + row.kind +
                                 R"(","rating":")" + row.rating + R"("})"),
              std::string("error: Apple Music API error (404): Resource Not Found. ") + row.detail);
    // Nothing is rated, and a failed love saves nothing either.
    EXPECT_EQ(f.requests.size(), 1U);
    EXPECT_EQ(testing::awaitOn(f.main, f.library.rating(row.id)), std::nullopt);
  }
}

TEST(LibraryTools, RefusesAnIDThatIsNotOnePathSegmentBeforeSendingAnything) {
  LibraryTools f(false);
  f.webAPI.answer = [](const WebAPIRequest&) { return WebAPIResponse{200, R"({"data":[]})"}; };
  struct Row {
    const char* tool;
    std::string arguments;
    std::string path;  // as the id makes it
  };
  const auto playlist = [](const std::string& id) {
    return Row{"playlist_songs", json{{"playlist_id", id}}.dump(),
               "/v1/me/library/playlists/" + id};
  };
  const auto adding = [](const std::string& id) {
    return Row{"add_to_playlist", json{{"playlist_id", id}, {"ids", {"1"}}}.dump(),
               "/v1/me/library/playlists/" + id + "/tracks"};
  };
  const auto rating = [](const std::string& id) {
    return Row{"rate", json{{"id", id}, {"kind", "song"}, {"rating", "love"}}.dump(),
               "/v1/me/ratings/songs/" + id};
  };
  // One row for each way an id fails to be one segment; the characters no URL path holds
  // are the URL builder's rows, here one of them.
  const std::vector<Row> rows = {
      playlist("p.1/../../x"), playlist("p.1?x=1"),   playlist("p.1#x"), playlist("p.1%2Fx"),
      playlist("p.1%5Cx"),     adding("p.1/../../x"), rating("."),       rating(".."),
      rating("%2e%2E"),        rating("%2E"),         playlist("p.a b"),
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    EXPECT_EQ(f.call(row.tool, row.arguments),
              "error: Can't send the web API request: " + row.path +
                  " isn't a valid URL path. Check the id.");
  }
  EXPECT_TRUE(f.webAPI.requests.empty());
  // Dots inside an id, and one that stands alone as a segment, are sent.
  EXPECT_EQ(f.call("rate", R"({"id":"p..1.","kind":"playlist","rating":"clear"})"),
            R"({"id":"p..1.","rating":"clear"})");
  ASSERT_EQ(f.webAPI.requests.size(), 1U);
  EXPECT_EQ(f.webAPI.requests.front().url,
            "https://api.test/v1/me/ratings/library-playlists/p..1.");
}

TEST(LibraryTools, RefusesToAddToAPlaylistTheListingShowsAsNotEditable) {
  LibraryTools f(false);
  f.webAPI.answer = [](const WebAPIRequest& request) {
    if (request.method == "GET") {
      return WebAPIResponse{200, R"({"data":[{"id":"p.9","attributes":{"name":"Chill",)"
                                 R"("canEdit":false}}]})"};
    }
    return WebAPIResponse{204, ""};
  };
  EXPECT_EQ(f.call("add_to_playlist", R"({"playlist_id":"p.9","ids":["1"]})"),
            notEditable("Chill"));
  EXPECT_EQ(f.webAPI.requests.size(), 1U);
  // Missing from the listing, or a listing that fails: editable.
  EXPECT_EQ(f.call("add_to_playlist", R"({"playlist_id":"p.10","ids":["1"]})"),
            R"({"added":1,"playlist_id":"p.10"})");
  f.webAPI.answer = [](const WebAPIRequest& request) {
    return WebAPIResponse{request.method == "GET" ? 500 : 204, ""};
  };
  EXPECT_EQ(f.call("add_to_playlist", R"({"playlist_id":"p.9","ids":["1"]})"),
            R"({"added":1,"playlist_id":"p.9"})");
  // A created playlist whose answer can't be read: created, without an id.
  f.webAPI.answer = [](const WebAPIRequest&) { return WebAPIResponse{201, "not json"}; };
  EXPECT_EQ(f.call("create_playlist", R"({"name":"X"})"),
            R"({"created":true,"name":"X","songs":0})");
  EXPECT_EQ(f.webAPI.requests.back().body, R"({"attributes":{"name":"X"}})");
  // The follow-up save after loving a catalog item may fail: the rating stands.
  f.webAPI.answer = [](const WebAPIRequest& request) {
    return WebAPIResponse{request.method == "PUT" ? 200 : 500, "{}"};
  };
  EXPECT_EQ(f.call("rate", R"({"id":"7","kind":"album","rating":"love"})"),
            R"({"id":"7","rating":"love"})");
  EXPECT_EQ(f.webAPI.requests.back().url, "https://api.test/v1/me/library?ids%5Balbums%5D=7");
}

TEST(LibraryReads, PassTheGateFirstAndSendNothingWhenRefused) {
  const std::vector<GateRow> rows = {
      {"search_library", R"({"query":"","type":"Songs"})",
       "error: type must be songs, albums, artists, or playlists"},
      {"search_library", R"({"query":"x","type":"videos"})",
       "error: type must be songs, albums, artists, or playlists"},
      {"search_library", R"({"query":"nothing like it","type":"songs"})", "[]"},
      {"search_library", R"({"recently_added":true})", "[]"},
      {"playlist_songs", R"({"playlist_id":"p.7"})",
       "error: Apple Music API error (404): Resource Not Found. No library playlist with id p.7"},
      {"playlist_songs", R"({"playlist_id":"l.1"})",
       R"({"playlist":{"id":"p.1","name":"Favourite Songs","type":"playlist"},"songs":[]})"},
      {"playlist_songs", R"({"playlist_id":"l.404"})", "error: No playlist with id l.404"},
  };
  // Either way, a catalog playlist needs no consent, and an unknown one is named.
  passThroughTheGate(rows, kPersonalRefusal, [](LibraryTools& f) {
    EXPECT_EQ(f.call("playlist_songs", R"({"playlist_id":"pl.404"})"),
              "error: No playlist with id pl.404");
  });
}

TEST(LibraryReads, PlaylistSongsNeedsAuthorizationForEveryForm) {
  LibraryTools f(true, "{}");
  for (const std::string id : {"p.1", "pl.1", "l.1", "anything"}) {
    EXPECT_EQ(f.call("playlist_songs", R"({"playlist_id":")" + id + R"("})"), kNotAuthorized);
  }
  EXPECT_TRUE(f.requests.empty());
}

TEST(LibraryReads, FindWhatWasSavedInEachIdForm) {
  LibraryTools f;
  const std::vector<std::string> songs = f.chartSongs(3);
  f.call("create_playlist",
         R"({"name":"Été Mix","ids":[")" + songs[0] + R"(",")" + songs[1] + R"("]})");
  f.call("rate", R"({"id":")" + songs[2] + R"(","kind":"song","rating":"love"})");
  const std::vector<Song> saved = testing::awaitOn(f.main, f.catalog.songs(songs));

  // The three songs; a limit below 1 asks for one. Their order is the library's test's.
  EXPECT_EQ(json::parse(f.call("search_library", R"({"query":"","type":"songs"})")).size(), 3U);
  EXPECT_EQ(json::parse(f.call("search_library", R"({"query":"","limit":0})")).size(), 1U);
  // Case, diacritics and word prefixes (a song's prefix in another case is the end-to-end
  // library test's).
  EXPECT_EQ(f.call("search_library", R"({"query":"ete mi","type":"playlists"})"),
            R"([{"id":"p.2","name":"Été Mix","type":"playlist"}])");
  EXPECT_FALSE(json::parse(f.call("search_library", R"({"type":"artists"})")).empty());

  // "p.": the web API's resource and track objects; the library branch: song objects.
  const json cloud = json::parse(f.call("playlist_songs", R"({"playlist_id":"p.2"})"));
  EXPECT_EQ(cloud.at("playlist"),
            json::parse(R"({"id":"p.2","name":"Été Mix","type":"library-playlists"})"));
  ASSERT_EQ(cloud.at("songs").size(), 2U);
  EXPECT_TRUE(cloud.at("songs")[0].at("duration").is_number_integer());
  EXPECT_EQ(cloud.at("songs")[0].at("name"), saved[0].title);
  // Favourite Songs by either id: the loved song.
  const json loved = json::parse(f.call("playlist_songs", R"({"playlist_id":"l.1"})"));
  ASSERT_EQ(loved.at("songs").size(), 1U);
  EXPECT_EQ(loved.at("songs")[0].at("name"), saved[2].title);
  EXPECT_EQ(
      json::parse(f.call("playlist_songs", R"({"playlist_id":"p.1"})")).at("songs").at(0).at("id"),
      songs[2]);

  // A catalog playlist, then saved to the library: a "p." playlist that can't be edited.
  const json grunge = json::parse(f.call("search_catalog", R"({"query":"grunge","limit":1})"));
  ASSERT_FALSE(grunge.at("playlists").empty());
  const std::string catalogID = grunge.at("playlists")[0].at("id");
  const std::string byCatalogID = R"({"playlist_id":")" + catalogID + R"("})";
  const json catalogSongs = json::parse(f.call("playlist_songs", byCatalogID));
  EXPECT_EQ(catalogSongs.at("playlist").at("id"), catalogID);
  EXPECT_FALSE(catalogSongs.at("songs").empty());
  const std::string save = R"({"type":"playlists","ids":[")" + catalogID + R"("]})";
  EXPECT_EQ(f.call("add_to_library", save), R"({"added":1,"type":"playlists"})");
  f.call("add_to_library", save);
  const json lists = json::parse(f.call("library_playlists"));
  ASSERT_EQ(lists.size(), 3U);
  EXPECT_EQ(lists[2].at("can_edit"), false);
  const std::string savedID = lists[2].at("id");
  EXPECT_EQ(f.call("add_to_playlist",
                   R"({"playlist_id":")" + savedID + R"(","ids":[")" + songs[0] + R"("]})"),
            notEditable(lists[2].at("name")));
  EXPECT_EQ(f.requests.back(), "GET /v1/me/library/playlists limit=100");  // nothing sent after
  const json savedSongs =
      json::parse(f.call("playlist_songs", R"({"playlist_id":")" + savedID + R"("})"));
  EXPECT_EQ(savedSongs.at("songs").size(), catalogSongs.at("songs").size());
}

TEST(LibraryReads, ListeningHistoryCountsPlaysAndRecommends) {
  LibraryTools f;
  // A new listener: starter groups from the catalog's genres, no history.
  const json fresh = json::parse(f.call("listening_history"));
  EXPECT_EQ(fresh.at("recently_played"), json::array());
  EXPECT_EQ(fresh.at("heavy_rotation"), json::array());
  ASSERT_FALSE(fresh.at("recommendations").empty());
  EXPECT_TRUE(
      fresh.at("recommendations")[0].at("title").get<std::string>().starts_with("Popular in "));

  const std::vector<std::string> songs = f.chartSongs(4);
  const std::vector<Song> found = testing::awaitOn(f.main, f.catalog.songs(songs));
  const PlayContext album{.id = "1200000001", .kind = "albums", .name = "Somewhere"};
  for (const int at : {0, 1, 2, 1, 3}) {
    const std::optional<PlayContext> context =
        at == 3 ? std::nullopt : std::optional<PlayContext>(album);
    testing::awaitOn(f.main, f.library.recordPlay(found[at], context));
  }
  // The plays' order is the library's test's, their objects the end-to-end library test's,
  // and the request heavy rotation makes the next test's. An album without an artist:
  const json history = json::parse(f.call("listening_history"));
  EXPECT_EQ(history.at("recently_played").size(), 4U);
  EXPECT_EQ(history.at("heavy_rotation"),
            json::parse(R"([{"id":"1200000001","name":"Somewhere","type":"albums"}])"));
  const json& groups = history.at("recommendations");
  ASSERT_FALSE(groups.empty());
  EXPECT_LE(groups.size(), 8U);
  const std::string first = groups[0].at("title");
  EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const Song& song) {
    return first == "Because you listened to " + song.artistName;
  })) << first;
  for (const json& group : groups) {
    EXPECT_LE(group.at("items").size(), 8U);
    for (const json& item : group.at("items")) {
      if (item.at("type") == "station") {
        EXPECT_EQ(item.size(), 3U) << item;
      }
    }
  }
}

TEST(LibraryReads, ListeningHistoryStandsWhenHeavyRotationFails) {
  LibraryTools f(false);
  f.webAPI.answer = [](const WebAPIRequest&) { return WebAPIResponse{503, ""}; };
  const json history = json::parse(f.call("listening_history"));
  EXPECT_EQ(history.at("heavy_rotation"), json::array());
  ASSERT_EQ(f.webAPI.requests.size(), 1U);
  EXPECT_EQ(f.webAPI.requests[0].url, "https://api.test/v1/me/history/heavy-rotation?limit=10");
}

}  // namespace
}  // namespace melodock
