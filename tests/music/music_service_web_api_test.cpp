// The music service's web API requests against a web API whose answers the test
// writes: error texts, the request as sent, and the two list loops.
#include <gtest/gtest.h>

#include "music/tool_error.h"
#include "tests/support/music_service.h"

namespace melodock {
namespace {

using nlohmann::json;

using Answer = testing::TestPresenter::Answer;

constexpr const char* kAuthorized = R"({"musicAuthorization":"authorized"})";
constexpr const char* kShared = R"({"musicAuthorization":"authorized","sharePersonalData":true})";

// The service over the scripted web API; the user says yes when asked.
struct WebAPIFixture : testing::MusicServiceHarness {
  explicit WebAPIFixture(const std::string& stored = kAuthorized)
      : MusicServiceHarness({.stored = stored, .answer = Answer::yes}) {}
};

WebAPIResponse ok(const json& body) { return {200, body.dump()}; }

// `count` items of `path` served `size` a page, the page after `offset` at "?offset=".
WebAPIResponse page(const std::string& url, int count, int size,
                    const std::string& path = "/v1/me/library/playlists") {
  const auto mark = url.find("offset=");
  const int offset = mark == std::string::npos ? 0 : std::stoi(url.substr(mark + 7));
  json data = json::array();
  for (int i = offset; i < std::min(count, offset + size); ++i) {
    data.push_back({{"id", "p." + std::to_string(i)},
                    {"type", "library-playlists"},
                    {"attributes", {{"name", "List " + std::to_string(i)}, {"canEdit", true}}}});
  }
  json body{{"data", data}};
  if (offset + size < count) body["next"] = path + "?offset=" + std::to_string(offset + size);
  return ok(body);
}

// An error's title and detail are the library tools' tests, over the web API served in
// process.
TEST(WebAPIAccess, BuildsTheErrorTextFromTheAnswer) {
  WebAPIFixture f;
  struct Row {
    const char* name;
    int status;  // 0: no answer, the body the transport's error
    std::string body;
    std::string result;
  };
  const std::vector<Row> rows = {
      {"only the first error counts", 400,
       R"({"errors":[{"title":"A","detail":"a"},{"title":"B"}]})",
       "error: Apple Music API error (400): A. a"},
      {"an error without detail", 403, R"({"errors":[{"title":"Forbidden"}]})",
       "error: Apple Music API error (403): Forbidden. "},
      {"no JSON at all", 502, "<html>Bad gateway</html>",
       "error: Apple Music API error (502): Bad Gateway. The web API gave no details."},
      {"JSON without errors", 401, R"({"message":"no"})",
       "error: Apple Music API error (401): Unauthorized. The web API gave no details."},
      {"an empty errors array and an unnamed status", 418, R"({"errors":[]})",
       "error: Apple Music API error (418): HTTP error. The web API gave no details."},
      {"a redirect is not followed", 301, "",
       "error: Apple Music API error (301): HTTP error. The web API gave no details."},
      {"no answer: the transport's error as it is", 0, "The request timed out.",
       "error: The request timed out."},
      {"204 is success", 204, "", ""},
      {"any body of a 2xx answer", 201, "not json", "not json"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    f.webAPI.answer = [&](const WebAPIRequest&) {
      if (row.status == 0) throw WebAPIError(row.body);
      return WebAPIResponse{row.status, row.body};
    };
    auto [body, error] = f.attempt(f.service->appleMusicAPI("GET", "/v1/me/library/playlists/p.1"));
    EXPECT_EQ(body ? *body : error, row.result);
  }
}

// The URL's own rules are the URL builder's.
TEST(WebAPIAccess, SendsTheMethodURLBodyAndTimeOut) {
  WebAPIFixture f;
  f.webAPI.answer = [](const WebAPIRequest&) { return WebAPIResponse{200, "{}"}; };
  testing::awaitOn(f.main, f.service->appleMusicAPI("POST", "/v1/me/library",
                                                    {{"ids[songs]", "a,b"}}, std::nullopt));
  testing::awaitOn(
      f.main, f.service->appleMusicAPI("PUT", "/v1/me/ratings/songs/5", {},
                                       json{{"type", "rating"}, {"attributes", {{"value", 1}}}}));
  ASSERT_EQ(f.webAPI.requests.size(), 2U);
  const WebAPIRequest& query = f.webAPI.requests[0];
  const WebAPIRequest& body = f.webAPI.requests[1];
  EXPECT_EQ(query.method + " " + query.url,
            "POST https://api.test/v1/me/library?ids%5Bsongs%5D=a,b");
  EXPECT_EQ(query.body, std::nullopt);
  EXPECT_TRUE(query.headers.empty());
  EXPECT_EQ(body.method + " " + body.url, "PUT https://api.test/v1/me/ratings/songs/5");
  EXPECT_EQ(body.body, R"({"attributes":{"value":1},"type":"rating"})");
  EXPECT_EQ(body.headers, (decltype(body.headers){{"Content-Type", "application/json"}}));
  for (const WebAPIRequest& sent : f.webAPI.requests)
    EXPECT_EQ(sent.timeout, std::chrono::seconds(60));
}

// A page without an answer fails as a failing page does: appleMusicAPI's error, in the
// error text test.
TEST(WebAPIAccess, ListsCloudPlaylistsPageByPageUpToTheCap) {
  struct Row {
    const char* name;
    std::function<WebAPIResponse(const WebAPIRequest&)> answer;
    std::size_t playlists;
    std::size_t requests;
  };
  const std::vector<Row> rows = {
      {"2500 in pages of 100 give the first 1000",
       [](const WebAPIRequest& r) { return page(r.url, 2500, 100); }, 1000, 10},
      {"the page that reaches the cap is kept whole",
       [](const WebAPIRequest& r) { return page(r.url, 2500, 300); }, 1200, 4},
      {"a failing second page keeps the first",
       [](const WebAPIRequest& r) {
         if (r.url.find("offset") != std::string::npos) return WebAPIResponse{500, ""};
         return page(r.url, 2500, 100);
       },
       100, 2},
      {"endless empty pages end",
       [](const WebAPIRequest& r) {
         if (r.url.find("offset") == std::string::npos) return page(r.url, 300, 3);
         return ok({{"data", json::array()}, {"next", "/v1/me/library/playlists?offset=5"}});
       },
       3, 2},
      {"a next that is no path ends",
       [](const WebAPIRequest&) {
         return ok({{"data", {{{"id", "p.1"}}}}, {"next", "evil.example/v1"}});
       },
       1, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WebAPIFixture f;
    f.webAPI.answer = row.answer;
    const auto playlists = testing::awaitOn(f.main, f.service->cloudPlaylists());
    EXPECT_EQ(playlists.size(), row.playlists);
    EXPECT_EQ(f.webAPI.requests.size(), row.requests);
    ASSERT_FALSE(playlists.empty());
    EXPECT_EQ(f.webAPI.requests.front().url, "https://api.test/v1/me/library/playlists?limit=100");
  }
}

TEST(WebAPIAccess, ReadsEachCloudPlaylistEntryLeniently) {
  WebAPIFixture f;
  f.webAPI.answer = [](const WebAPIRequest&) {
    return WebAPIResponse{200,
                          R"({"data":[{"id":"p.1","attributes":{"name":"Mine","canEdit":true}},)"
                          R"({"id":"l.2"},{"id":7,"attributes":{"name":"skipped"}},)"
                          R"({"id":"p.3","attributes":{"name":5,"canEdit":"yes"}}]})"};
  };
  const auto playlists = testing::awaitOn(f.main, f.service->cloudPlaylists());
  EXPECT_EQ(playlists, (std::vector<MusicService::CloudPlaylist>{
                           {"p.1", "Mine", true}, {"l.2", "", false}, {"p.3", "", false}}));
}

// Playlist tracks pass their own consent gate: refused, nothing is sent.
TEST(WebAPIAccess, ReadsPlaylistTracksUpToTheCapAndFailsWithAFailedPage) {
  const std::string tracks = "/v1/me/library/playlists/p.1/tracks";
  struct Row {
    const char* name;
    std::function<WebAPIResponse(const WebAPIRequest&)> answer;
    std::string result;  // the count of tracks, or the error
    std::size_t requests;
    bool consent = true;  // stored; otherwise asked, and refused
  };
  const std::vector<Row> rows = {
      {"1000 tracks give 500",
       [&](const WebAPIRequest& r) { return page(r.url, 1000, 100, tracks); }, "500", 5},
      {"a failing second page fails it all",
       [&](const WebAPIRequest& r) {
         if (r.url.find("offset") != std::string::npos) {
           return WebAPIResponse{503, R"({"errors":[{"title":"Busy","detail":"Later."}]})"};
         }
         return page(r.url, 1000, 100, tracks);
       },
       "error: Apple Music API error (503): Busy. Later.", 2},
      {"endless empty pages end",
       [&](const WebAPIRequest& r) {
         if (r.url.find("offset") == std::string::npos) return page(r.url, 300, 2, tracks);
         return ok({{"data", json::array()}, {"next", tracks + "?offset=9"}});
       },
       "2", 2},
      {"consent refused", [&](const WebAPIRequest& r) { return page(r.url, 1000, 100, tracks); },
       testing::kPersonalRefusal, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WebAPIFixture f(row.consent ? kShared : kAuthorized);
    f.presenter.mode = Answer::no;
    f.webAPI.answer = row.answer;
    auto [tracks, error] = f.attempt(f.service->cloudPlaylistTracks("p.1"));
    EXPECT_EQ(tracks ? std::to_string(tracks->size()) : error, row.result);
    EXPECT_EQ(f.webAPI.requests.size(), row.requests);
    EXPECT_EQ(f.presenter.count(), row.consent ? 0U : 1U);
  }
}

TEST(WebAPIAccess, MakesPlaylistTrackObjects) {
  WebAPIFixture f(kShared);
  f.webAPI.answer = [](const WebAPIRequest&) {
    return WebAPIResponse{
        200, R"({"data":[{"id":"i.1","attributes":{"name":"A","artistName":"B","albumName":"C",)"
             R"("durationInMillis":1999,"playParams":{"catalogId":"900"}}},)"
             R"({"id":"i.2","attributes":{"name":"D","durationInMillis":2.5,)"
             R"("playParams":{"catalogId":42}}},{"attributes":{"artistName":null}}]})"};
  };
  const auto tracks = testing::awaitOn(f.main, f.service->cloudPlaylistTracks("p.1"));
  ASSERT_EQ(tracks.size(), 3U);
  EXPECT_EQ(mcp::Value(tracks[0]).toJSON().dump(),
            R"({"album":"C","artist":"B","duration":1,"id":"900","name":"A"})");
  EXPECT_EQ(mcp::Value(tracks[1]).toJSON().dump(), R"({"id":"i.2","name":"D"})");
  EXPECT_EQ(mcp::Value(tracks[2]).toJSON().dump(), "{}");
}

TEST(WebAPIAccess, MakesTrackReferencesByIDForm) {
  EXPECT_EQ(MusicService::trackReferences({"i.5", "1440857781", "l.7", "p.3", "pl.u-1"}).dump(),
            R"([{"id":"i.5","type":"library-songs"},{"id":"1440857781","type":"songs"},)"
            R"({"id":"l.7","type":"songs"},{"id":"p.3","type":"songs"},)"
            R"({"id":"pl.u-1","type":"songs"}])");
  EXPECT_EQ(MusicService::trackReferences({}).dump(), "[]");
}

TEST(WebAPIAccess, ReadsResourcesOnlyFromADataArrayOfObjects) {
  struct Row {
    const char* body;
    std::string resources;
  };
  const std::vector<Row> rows = {
      {R"({"data":[{"id":"l.1","type":"library-albums","attributes":{"name":"N",)"
       R"("artistName":"A","trackCount":3}},{"type":"x"}]})",
       R"([{"artist":"A","id":"l.1","name":"N","type":"library-albums"},{"type":"x"}])"},
      {"not json", "[]"},
      {R"({"data":{"id":"1"}})", "[]"},
      {R"({"data":[1,2]})", "[]"},
      {R"([{"id":"1"}])", "[]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    mcp::Value::Array values;
    for (auto& object : MusicService::resources(row.body)) values.emplace_back(std::move(object));
    EXPECT_EQ(mcp::Value(values).toJSON().dump(), row.resources);
  }
}

}  // namespace
}  // namespace melodock
