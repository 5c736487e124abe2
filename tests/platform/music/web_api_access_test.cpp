// The stored authorization status as the settings file holds it, and the web API's
// two transports: URLs, the library served in process (paging, shapes, errors), and
// HTTP through libcurl against those same endpoints served over a real loopback socket.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/app_settings.h"
#include "platform/live_settings.h"
#include "platform/music/authorization.h"
#include "platform/music/catalog/local_catalog.h"
#include "platform/music/web_api/configured_web_api.h"
#include "platform/music/web_api/in_process_web_api.h"
#include "platform/music/web_api/web_api_url.h"
#include "platform/settings_store.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;

class NobodyAsked final : public MusicAuthorization::Asker {
 public:
  asio::awaitable<std::optional<bool>> askToSetUp() override {
    ADD_FAILURE() << "asked";
    co_return std::nullopt;
  }
};

TEST(MusicAuthorization, ReadsTheStoredTextAndTakesAnythingElseAsNotDetermined) {
  using Status = MusicAuthorization::Status;
  struct Row {
    const char* stored;  // JSON; nullptr: absent
    Status expected;
  };
  const std::vector<Row> rows = {
      {nullptr, Status::notDetermined},        {R"("notDetermined")", Status::notDetermined},
      {R"("denied")", Status::denied},         {R"("restricted")", Status::restricted},
      {R"("authorized")", Status::authorized}, {R"("Authorized")", Status::notDetermined},
      {"true", Status::notDetermined},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored ? row.stored : "absent");
    testing::TempDir dir;
    SettingsStore settings(dir.path() / "settings.json");
    if (row.stored)
      settings.set(setting::kMusicAuthorization.name, nlohmann::json::parse(row.stored));
    NobodyAsked asker;
    const MusicAuthorization authorization(settings, asker);
    EXPECT_EQ(authorization.currentStatus(), row.expected);
  }
}

using nlohmann::json;

TEST(WebAPIURL, FollowsTheBaseWithThePathAndItsQuery) {
  struct Row {
    const char* name;
    std::string path;
    QueryItems query;
    std::optional<std::string> url;
  };
  const std::vector<Row> rows = {
      {"a plain path", "/v1/x/p.AbC-_~9", {}, "https://h/v1/x/p.AbC-_~9"},
      {"its own query kept", "/v1/x?limit=100&offset=5", {}, "https://h/v1/x?limit=100&offset=5"},
      {"replaced by items", "/v1/x?limit=100", {{"limit", "25"}}, "https://h/v1/x?limit=25"},
      {"items encoded",
       "/v1/x",
       {{"ids[songs]", "a,b"}, {"q", "x y/é#&=+"}},
       "https://h/v1/x?ids%5Bsongs%5D=a,b&q=x%20y/%C3%A9%23%26%3D%2B"},
      {"percent escapes allowed", "/v1/x/p.a%20b", {}, "https://h/v1/x/p.a%20b"},
      {"a space", "/v1/x/p.a b", {}, std::nullopt},
      {"a fragment", "/v1/x#y", {}, std::nullopt},
      {"non-ASCII", "/v1/x/\xC3\xA9", {}, std::nullopt},
      {"a lone percent", "/v1/x/50%", {}, std::nullopt},
      {"a bad escape", "/v1/x/%zz", {}, std::nullopt},
      {"dots inside segments", "/v1/x/p..1/.a/b./...", {}, "https://h/v1/x/p..1/.a/b./..."},
      {"dot segments in the query", "/v1/x?a=../b&c=.", {}, "https://h/v1/x?a=../b&c=."},
      {"a parent segment", "/v1/me/library/playlists/p.1/../../x", {}, std::nullopt},
      {"a current segment", "/v1/./x", {}, std::nullopt},
      {"a current segment before the query", "/v1/x/.?limit=1", {}, std::nullopt},
      {"an encoded parent segment", "/v1/x/%2e%2E/y", {}, std::nullopt},
      {"an encoded slash", "/v1/x/p.1%2F..%2Fy", {}, std::nullopt},
      {"an encoded backslash", "/v1/x/p.1%5cy", {}, std::nullopt},
      {"no leading slash: could change the host", ".evil.example/v1", {}, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(webAPIURL("https://h", row.path, row.query), row.url);
  }
  EXPECT_EQ(parseWebAPITarget("/v1/a%2Fb?ids%5Bsongs%5D=a,b&q=x%20y%26&flag&limit=5"),
            (WebAPITarget{"/v1/a/b",
                          {{"ids[songs]", "a,b"}, {"q", "x y&"}, {"flag", ""}, {"limit", "5"}}}));
}

Song catalogSong(int n) {
  const std::string id = std::to_string(1000 + n);
  return Song{.id = id,
              .title = "Song " + std::to_string(n),
              .artistName = "Artist",
              .albumTitle = "Album",
              .genreNames = {"Rock"},
              .duration = std::chrono::milliseconds(200'500 + n),
              .trackNumber = n,
              .releaseDate = std::chrono::year(1971) / 11 / 8,
              .playParameters = PlayParameters{id, "song"}};
}

// A library with five playlists of the user's, the first with three songs.
struct LibraryFixture {
  LibraryFixture() {
    await(
        library.createPlaylist("Mix 1", "Late", {catalogSong(1), catalogSong(2), catalogSong(3)}));
    for (int i = 2; i <= 5; ++i) {
      await(library.createPlaylist("Mix " + std::to_string(i), std::nullopt, {}));
    }
  }
  WebAPIResponse get(const std::string& target) {
    return await(api.serve("GET", target, std::nullopt));
  }

  testing::TempDir dir;
  std::chrono::system_clock::time_point now{std::chrono::hours(24 * 365 * 55)};
  Library library{dir.path() / "library.sqlite", [this] { return now; }};
  LocalCatalog catalog{MELODOCK_CATALOG_FILE};
  InProcessWebAPI api{library, catalog};
};

TEST(InProcessWebAPI, PagesListsAtTheRequestedLimit) {
  LibraryFixture f;
  std::vector<std::string> seen;
  std::string target = "/v1/me/library/playlists?limit=2";
  int pages = 0;
  while (!target.empty()) {
    const WebAPIResponse page = f.get(target);
    ASSERT_EQ(page.status, 200) << page.body;
    const json body = json::parse(page.body);
    EXPECT_LE(body.at("data").size(), 2U);
    for (const json& item : body.at("data")) seen.push_back(item.at("id").get<std::string>());
    target = body.contains("next") ? body.at("next").get<std::string>() : "";
    ++pages;
  }
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(seen, (Strings{"p.1", "p.2", "p.7", "p.8", "p.9", "p.10"}));
  EXPECT_EQ(json::parse(f.get("/v1/me/library/playlists?limit=2&offset=2").body).at("next"),
            "/v1/me/library/playlists?limit=2&offset=4");
  EXPECT_EQ(json::parse(f.get("/v1/me/library/playlists").body).at("data").size(), 6U);
}

TEST(InProcessWebAPI, AnswersInTheWebAPIsShape) {
  LibraryFixture f;
  EXPECT_EQ(f.get("/v1/me/library/playlists/p.2").body,
            R"({"data":[{"attributes":{"canEdit":true,"description":{"standard":"Late"},)"
            R"("name":"Mix 1","playParams":{"id":"p.2","isLibrary":true,"kind":"playlist"}},)"
            R"("href":"/v1/me/library/playlists/p.2","id":"p.2","type":"library-playlists"}]})");
  EXPECT_EQ(f.get("/v1/me/library/playlists/p.2/tracks?limit=1").body,
            R"({"data":[{"attributes":{"albumName":"Album","artistName":"Artist",)"
            R"("durationInMillis":200501,"genreNames":["Rock"],"name":"Song 1",)"
            R"("playParams":{"catalogId":"1001","id":"i.3","isLibrary":true,"kind":"song"},)"
            R"("releaseDate":"1971-11-08","trackNumber":1},"href":"/v1/me/library/songs/i.3",)"
            R"("id":"i.3","type":"library-songs"}],)"
            R"("next":"/v1/me/library/playlists/p.2/tracks?limit=1&offset=1"})");
  EXPECT_EQ(json::parse(f.get("/v1/me/library/playlists/p.1").body)
                .at("data")[0]
                .at("attributes")
                .at("canEdit"),
            false);
  EXPECT_EQ(json::parse(f.get("/v1/me/library/recently-added?limit=3").body).at("data").size(), 3U);
  EXPECT_EQ(f.get("/v1/me/history/heavy-rotation?limit=10").body, R"({"data":[]})");
}

// The error answer of the web API's shape, as the first row spells it out.
WebAPIResponse failure(int status, const std::string& title, const std::string& detail) {
  const std::string code = std::to_string(status);
  return {status, R"({"errors":[{"code":")" + code + R"(00","detail":")" + detail +
                      R"(","status":")" + code + R"(","title":")" + title + R"("}]})"};
}

// The ratings' 404s, through the tools:
// LibraryTools.RatingAnItemNeitherInTheCatalogNorInTheLibraryFails.
TEST(InProcessWebAPI, AnswersErrorsWithStatusTitleAndDetail) {
  LibraryFixture f;
  const std::string missing = "Resource Not Found";
  const std::string invalid = "Invalid Parameter Value";
  struct Row {
    std::string method;
    std::string target;
    WebAPIResponse response;
  };
  const std::vector<Row> rows = {
      {"GET",
       "/v1/me/library/playlists/p.404",
       {404, R"({"errors":[{"code":"40400","detail":"No library playlist with id p.404",)"
             R"("status":"404","title":"Resource Not Found"}]})"}},
      {"GET", "/v1/me/library/playlists/p.404/tracks",
       failure(404, missing, "No library playlist with id p.404")},
      {"GET", "/v1/me/library/playlists?limit=101",
       failure(400, invalid, "limit must be an integer from 1 to 100")},
      {"GET", "/v1/me/library/recently-added?limit=26",
       failure(400, invalid, "limit must be an integer from 1 to 25")},
      {"GET", "/v1/me/library/playlists?offset=-1",
       failure(400, invalid, "offset must be a non-negative integer")},
      {"DELETE", "/v1/me/library/playlists",
       failure(405, "Method Not Allowed", "DELETE is not allowed on /v1/me/library/playlists")},
      {"GET", "/v2/nothing", failure(404, missing, "No resource at /v2/nothing")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    EXPECT_EQ(await(f.api.serve(row.method, row.target, std::nullopt)), row.response);
  }
}

// Serves an InProcessWebAPI over HTTP/1.1 on 127.0.0.1, one request per connection, and
// keeps the head of each request; `silent`, it holds each connection without an answer.
class LoopbackWebAPI {
 public:
  explicit LoopbackWebAPI(InProcessWebAPI& api) : api_(api) {
    socket_.listen();
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackWebAPI() {
    ::shutdown(socket_.fd(), SHUT_RDWR);  // ends the accept
    thread_.join();
    for (const int held : held_) ::close(held);
  }
  [[nodiscard]] std::string base() const {
    return "http://127.0.0.1:" + std::to_string(socket_.port());
  }
  std::vector<std::string> heads() {
    std::lock_guard lock(mutex_);
    return heads_;
  }
  std::atomic<bool> silent = false;

 private:
  void serve() {
    for (int client = 0; (client = ::accept(socket_.fd(), nullptr, nullptr)) >= 0;) {
      std::string head = testing::readThrough(client, "\r\n\r\n");
      if (!head.ends_with("\r\n\r\n")) {
        ::close(client);
        continue;
      }
      head.resize(head.size() - 2);  // the head's lines, each ending in CR LF
      {
        std::lock_guard lock(mutex_);
        heads_.push_back(head);
      }
      if (silent) {
        held_.push_back(client);
        continue;
      }
      const auto mark = head.find("Content-Length: ");
      const std::size_t length = mark == std::string::npos ? 0 : std::stoul(head.substr(mark + 16));
      const std::string method = head.substr(0, head.find(' '));
      const std::string target =
          head.substr(method.size() + 1, head.find(' ', method.size() + 1) - method.size() - 1);
      std::optional<std::string> body;
      if (length > 0) {
        body = std::string(length, '\0');
        body->resize(std::max<ssize_t>(::recv(client, body->data(), length, MSG_WAITALL), 0));
      }
      const WebAPIResponse response = await(api_.serve(method, target, body));
      const std::string answer = "HTTP/1.1 " + std::to_string(response.status) +
                                 " Status\r\nContent-Type: application/json\r\nContent-Length: " +
                                 std::to_string(response.body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + response.body;
      ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  InProcessWebAPI& api_;
  testing::LoopbackSocket socket_;
  std::thread thread_;
  std::vector<int> held_;  // the server thread's, until it ends
  std::mutex mutex_;
  std::vector<std::string> heads_;
};

struct RemoteFixture : LibraryFixture {
  RemoteFixture() {
    AppSettings(settings).set(setting::kWebAPIDeveloperToken, "dev.token");
    AppSettings(settings).set(setting::kWebAPIUserToken, "user-token");
  }
  WebAPIResponse send(WebAPIClient& client, const std::string& method, const std::string& target,
                      std::optional<std::string> body = std::nullopt) {
    WebAPIRequest request{.method = method, .url = client.baseURL() + target};
    if (body) request.headers.emplace_back("Content-Type", "application/json");
    request.body = std::move(body);
    request.timeout = timeout;
    return await(client.send(std::move(request)));
  }
  std::string error(const std::string& target) {
    return errorText<WebAPIError>([&] { send(configured, "GET", target); });
  }
  void setBase(const std::string& base) {
    AppSettings(settings).set(setting::kWebAPIBaseURL, base);
  }

  std::chrono::milliseconds timeout = 60s;
  LiveSettings settings{dir.path() / "settings.json"};
  WebAPIHTTPTransport http;
  ConfiguredWebAPI configured{settings, api, http};
};

TEST(WebAPIHTTPTransport, GivesTheSameBytesAsTheLibraryInProcess) {
  RemoteFixture f;
  LoopbackWebAPI server(f.api);
  f.setBase(server.base() + "/");
  EXPECT_EQ(f.configured.baseURL(), server.base());
  std::vector<InProcessWebAPI::Served> served;
  f.api.observe([&](const InProcessWebAPI::Served& request) { served.push_back(request); });

  struct Row {
    std::string method;
    std::string target;
    std::optional<std::string> body;
  };
  const std::vector<Row> rows = {
      {"GET", "/v1/me/library/playlists?limit=2&offset=2", std::nullopt},
      {"GET", "/v1/me/library/playlists/p.2", std::nullopt},
      {"GET", "/v1/me/library/playlists/p.404/tracks?limit=100", std::nullopt},
      {"GET", "/v1/me/library/playlists?limit=0", std::nullopt},
      {"DELETE", "/v1/me/library/playlists", std::nullopt},
      // A rating without its value: 400.
      {"PUT", "/v1/me/ratings/library-songs/i.3?x=%C3%A9", R"({"type":"rating"})"},
      {"POST", "/v1/me/library?ids%5Bsongs%5D=1", std::nullopt},
      {"DELETE", "/v1/me/ratings/library-songs/i.3", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method + " " + row.target);
    const WebAPIResponse local = f.send(f.api, row.method, row.target, row.body);
    const WebAPIResponse remote = f.send(f.configured, row.method, row.target, row.body);
    EXPECT_EQ(remote, local);
  }
  // The body and the decoded query arrive as they were sent.
  EXPECT_EQ(served[11].method, "PUT");
  EXPECT_EQ(served[11].path, "/v1/me/ratings/library-songs/i.3");
  EXPECT_EQ(served[11].query, (QueryItems{{"x", "\xC3\xA9"}}));
  EXPECT_EQ(served[11].body, R"({"type":"rating"})");
  const std::vector<std::string> heads = server.heads();
  ASSERT_EQ(heads.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(heads[i]);
    EXPECT_TRUE(heads[i].starts_with(rows[i].method + " " + rows[i].target + " HTTP/1.1\r\n"));
    EXPECT_NE(heads[i].find("\r\nAuthorization: Bearer dev.token\r\n"), std::string::npos);
    EXPECT_NE(heads[i].find("\r\nMusic-User-Token: user-token\r\n"), std::string::npos);
    std::string head = heads[i];
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(head.find("\r\ncontent-type: application/json\r\n") != std::string::npos,
              rows[i].body.has_value());
  }
}

TEST(WebAPIHTTPTransport, RefusesOrFailsWithoutAnAnswer) {
  RemoteFixture f;
  LoopbackWebAPI server(f.api);
  server.silent = true;
  struct Row {
    const char* name;
    std::string base;
    std::string error;
  };
  const std::uint16_t closed = testing::freePort();
  const std::vector<Row> rows = {
      {"plain http off the loopback", "http://192.0.2.1",
       "The web API at 192.0.2.1 must be reached with https://: plain http:// is only for "
       "loopback addresses."},
      {"plain http to a name", "http://localhost:1",
       "The web API at localhost must be reached with https://: plain http:// is only for "
       "loopback addresses."},
      {"another scheme", "ftp://127.0.0.1",
       "The web API must be reached with https://, not ftp://."},
      {"nobody listening", "http://127.0.0.1:" + std::to_string(closed),
       "Could not connect to the server."},
      {"no answer in time", server.base(), "The request timed out."},
      {"IPv6 loopback, nobody listening", "http://[::1]:" + std::to_string(closed),
       "Could not connect to the server."},
  };
  f.timeout = 300ms;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    f.setBase(row.base);
    EXPECT_EQ(f.error("/v1/me/library/playlists"), row.error);
  }
}

// The URL rules' own rows are in WebAPIURL's table; here, that the transport keeps them.
TEST(ConfiguredWebAPI, ServesInProcessUntilABaseURLIsStoredAndRefusesAPathThatResolvesElsewhere) {
  RemoteFixture f;
  EXPECT_EQ(f.configured.baseURL(), "https://library.melodock.invalid");
  EXPECT_EQ(f.send(f.configured, "GET", "/v1/me/library/playlists/p.2").status, 200);
  LoopbackWebAPI server(f.api);
  f.setBase(server.base());
  for (const char* target :
       {"/v1/me/library/playlists/p.2/../../x", "/v1/me/library/p.2%2Ftracks"}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(f.error(target), "Not a valid web API URL: " + server.base() + target);
  }
  EXPECT_TRUE(server.heads().empty());
  EXPECT_EQ(f.send(f.configured, "GET", "/v1/me/library/playlists/p.2").status, 200);
  EXPECT_EQ(server.heads().size(), 1U);
}

}  // namespace
}  // namespace melodock
