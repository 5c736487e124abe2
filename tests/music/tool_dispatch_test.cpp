#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "music/music_service.h"
#include "music/tool_error.h"
#include "music/tools.h"
#include "platform/executor.h"

namespace melodock {
namespace {

using mcp::Value;
using Strings = std::vector<std::string>;

constexpr auto kPatience = std::chrono::seconds(10);

Value::Object arguments(const char* json) {
  return *Value::fromJSON(nlohmann::json::parse(json)).objectValue();
}

std::future<std::string> start(asio::awaitable<std::string> call) {
  return asio::co_spawn(Executor::shared().pool(), std::move(call), asio::use_future);
}

// The text of a call, or "error: " and the ToolError's message.
std::string outcome(asio::awaitable<std::string> call) {
  std::future<std::string> result = start(std::move(call));
  if (result.wait_for(kPatience) != std::future_status::ready) return "timed out";
  try {
    return result.get();
  } catch (const ToolError& error) {
    return "error: " + error.message;
  }
}

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }
std::string shown(const std::optional<std::string>& text) {
  return text ? inQuotes(*text) : "none";
}
std::string shown(std::optional<bool> flag) { return flag ? (*flag ? "true" : "false") : "none"; }
std::string shown(const Strings& list) {
  std::string text = "[";
  for (const std::string& item : list) text += (text.size() > 1 ? ", " : "") + inQuotes(item);
  return text + "]";
}

// Writes down each operation with the arguments it received, and whether it ran on the
// main actor.
class RecordingService : public MusicService {
 public:
  Strings calls;
  bool allOnMain = true;
  Value nowPlaying = Value::object({{"status", "playing"}});

  asio::awaitable<Value> nowPlayingDict() override {
    record("nowPlayingDict()");
    co_return nowPlaying;
  }
  asio::awaitable<std::string> playback(std::string action) override {
    co_return record("playback(" + inQuotes(action) + ")");
  }
  asio::awaitable<std::string> seek(double seconds) override {
    co_return record("seek(" + std::to_string(seconds) + ")");
  }
  asio::awaitable<std::string> setModes(std::optional<bool> shuffle,
                                        std::optional<std::string> repeatMode) override {
    co_return record("setModes(" + shown(shuffle) + ", " + shown(repeatMode) + ")");
  }
  asio::awaitable<std::string> playSongs(Strings ids, std::string mode,
                                         std::optional<std::string> note) override {
    co_return record("playSongs(" + shown(ids) + ", " + inQuotes(mode) + ", " + shown(note) + ")");
  }
  asio::awaitable<std::string> playCollection(std::string type, std::string id, bool shuffle,
                                              std::optional<std::string> note) override {
    co_return record("playCollection(" + inQuotes(type) + ", " + inQuotes(id) + ", " +
                     shown(std::optional<bool>(shuffle)) + ", " + shown(note) + ")");
  }
  asio::awaitable<void> applyNote(std::optional<std::string> text) override {
    record("applyNote(" + shown(text) + ")");
    co_return;
  }
  asio::awaitable<std::string> queue() override { co_return record("queue()"); }
  asio::awaitable<std::string> searchCatalog(std::string query, std::int64_t limit) override {
    co_return record("searchCatalog(" + inQuotes(query) + ", " + std::to_string(limit) + ")");
  }
  asio::awaitable<std::string> artistInfo(std::string id) override {
    co_return record("artistInfo(" + inQuotes(id) + ")");
  }
  asio::awaitable<std::string> albumSongs(std::string id) override {
    co_return record("albumSongs(" + inQuotes(id) + ")");
  }
  asio::awaitable<std::string> charts(std::int64_t limit) override {
    co_return record("charts(" + std::to_string(limit) + ")");
  }
  asio::awaitable<std::string> recentlyAdded(std::int64_t limit) override {
    co_return record("recentlyAdded(" + std::to_string(limit) + ")");
  }
  asio::awaitable<std::string> searchLibrary(std::string query, std::string type,
                                             std::int64_t limit) override {
    co_return record("searchLibrary(" + inQuotes(query) + ", " + inQuotes(type) + ", " +
                     std::to_string(limit) + ")");
  }
  asio::awaitable<std::string> libraryPlaylists() override {
    co_return record("libraryPlaylists()");
  }
  asio::awaitable<std::string> playlistSongs(std::string id) override {
    co_return record("playlistSongs(" + inQuotes(id) + ")");
  }
  asio::awaitable<std::string> createPlaylist(std::string name,
                                              std::optional<std::string> description,
                                              Strings songIDs) override {
    co_return record("createPlaylist(" + inQuotes(name) + ", " + shown(description) + ", " +
                     shown(songIDs) + ")");
  }
  asio::awaitable<std::string> addToPlaylist(std::string playlistID, Strings songIDs) override {
    co_return record("addToPlaylist(" + inQuotes(playlistID) + ", " + shown(songIDs) + ")");
  }
  asio::awaitable<std::string> addToLibrary(std::string type, Strings ids) override {
    co_return record("addToLibrary(" + inQuotes(type) + ", " + shown(ids) + ")");
  }
  asio::awaitable<std::string> rate(std::string id, std::string kind, std::string rating) override {
    co_return record("rate(" + inQuotes(id) + ", " + inQuotes(kind) + ", " + inQuotes(rating) +
                     ")");
  }
  asio::awaitable<std::string> listeningHistory() override {
    co_return record("listeningHistory()");
  }

 private:
  // Returns the text the tool hands back, so the test sees it came from the service.
  std::string record(std::string call) {
    allOnMain = allOnMain && Executor::shared().mainActor().running_in_this_thread();
    calls.push_back(call);
    return "from " + call;
  }
};

struct Row {
  const char* name;
  std::string tool;
  Value::Object arguments;
  Strings calls;  // empty: the call fails with `error` before reaching the service
  std::string error = "";
};

Value::Object withNumber(const char* key, double number) { return {{key, Value(number)}}; }

TEST(ToolsCall, ReadsEachToolsArgumentsAndCallsItsOperation) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Row> rows = {
      {"action missing", "playback", arguments("{}"), {}, "Missing action"},
      {"action a number", "playback", arguments(R"({"action":1})"), {}, "Missing action"},
      {"action empty", "playback", arguments(R"({"action":""})"), {}, "Missing action"},
      {"action given", "playback", arguments(R"({"action":"pause"})"), {"playback(\"pause\")"}},
      {"seconds missing", "seek", arguments("{}"), {"seek(0.000000)"}},
      {"seconds a string", "seek", arguments(R"({"seconds":"12"})"), {"seek(0.000000)"}},
      {"seconds an integer", "seek", arguments(R"({"seconds":42})"), {"seek(42.000000)"}},
      {"seconds a fraction", "seek", arguments(R"({"seconds":1.25})"), {"seek(1.250000)"}},
      {"no modes", "set_modes", arguments("{}"), {"setModes(none, none)"}},
      {"both modes",
       "set_modes",
       arguments(R"({"shuffle":true,"repeat":"all"})"),
       {"setModes(true, \"all\")"}},
      {"modes of other types",
       "set_modes",
       arguments(R"({"shuffle":"true","repeat":1})"),
       {"setModes(none, none)"}},
      {"number between ids",
       "play_songs",
       arguments(R"({"ids":["a",3,"b"]})"),
       {"playSongs([\"a\", \"b\"], \"replace\", none)"}},
      {"ids missing", "play_songs", arguments("{}"), {"playSongs([], \"replace\", none)"}},
      {"ids not a list",
       "play_songs",
       arguments(R"({"ids":"a","mode":"next","note":"Party"})"),
       {"playSongs([], \"next\", \"Party\")"}},
      {"mode not a string",
       "play_songs",
       arguments(R"({"ids":["a"],"mode":2,"note":false})"),
       {"playSongs([\"a\"], \"replace\", none)"}},
      {"type read before id", "play_collection", arguments("{}"), {}, "Missing type"},
      {"id missing", "play_collection", arguments(R"({"type":"album"})"), {}, "Missing id"},
      {"whole collection",
       "play_collection",
       arguments(R"({"type":"album","id":"1","shuffle":true,"note":"n"})"),
       {"playCollection(\"album\", \"1\", true, \"n\")"}},
      {"shuffle as text",
       "play_collection",
       arguments(R"({"type":"station","id":"ra.1","shuffle":"true"})"),
       {"playCollection(\"station\", \"ra.1\", false, none)"}},
      {"note set",
       "set_note",
       arguments(R"({"text":"Birthday Party"})"),
       {"applyNote(\"Birthday Party\")", "nowPlayingDict()"}},
      {"note cleared",
       "set_note",
       arguments(R"({"text":60})"),
       {"applyNote(none)", "nowPlayingDict()"}},
      {"now playing", "now_playing", arguments("{}"), {"nowPlayingDict()"}},
      {"queue", "get_queue", arguments("{}"), {"queue()"}},
      {"query missing", "search_catalog", arguments(R"({"limit":5})"), {}, "Missing query"},
      {"limit default",
       "search_catalog",
       arguments(R"({"query":"q"})"),
       {"searchCatalog(\"q\", 10)"}},
      {"limit truncated",
       "search_catalog",
       arguments(R"({"query":"q","limit":7.9})"),
       {"searchCatalog(\"q\", 7)"}},
      {"negative limit truncated toward zero",
       "search_catalog",
       arguments(R"({"query":"q","limit":-7.9})"),
       {"searchCatalog(\"q\", -7)"}},
      {"limit a string",
       "search_catalog",
       arguments(R"({"query":"q","limit":"7"})"),
       {"searchCatalog(\"q\", 10)"}},
      {"limit a boolean",
       "search_catalog",
       arguments(R"({"query":"q","limit":true})"),
       {"searchCatalog(\"q\", 10)"}},
      {"largest integer kept",
       "search_catalog",
       arguments(R"({"query":"q","limit":9223372036854775807})"),
       {"searchCatalog(\"q\", 9223372036854775807)"}},
      {"above 64 bits",
       "search_catalog",
       arguments(R"({"query":"q","limit":1e19})"),
       {"searchCatalog(\"q\", 10)"}},
      {"far above 64 bits",
       "search_catalog",
       arguments(R"({"query":"q","limit":-1e300})"),
       {"searchCatalog(\"q\", 10)"}},
      {"artist missing", "artist_info", arguments("{}"), {}, "Missing artist_id"},
      {"artist", "artist_info", arguments(R"({"artist_id":"5"})"), {"artistInfo(\"5\")"}},
      {"album missing", "album_songs", arguments(R"({"id":"5"})"), {}, "Missing album_id"},
      {"album", "album_songs", arguments(R"({"album_id":"6"})"), {"albumSongs(\"6\")"}},
      {"charts default", "charts", arguments("{}"), {"charts(25)"}},
      {"charts not a number", "charts", withNumber("limit", nan), {"charts(25)"}},
      {"charts infinite", "charts", withNumber("limit", inf), {"charts(25)"}},
      {"charts negative infinite", "charts", withNumber("limit", -inf), {"charts(25)"}},
      {"recently added",
       "search_library",
       arguments(R"({"recently_added":true,"query":"x","type":"albums","limit":3})"),
       {"recentlyAdded(3)"}},
      {"recently added default",
       "search_library",
       arguments(R"({"recently_added":true})"),
       {"recentlyAdded(25)"}},
      {"recently added false",
       "search_library",
       arguments(R"({"recently_added":false,"query":"x"})"),
       {"searchLibrary(\"x\", \"songs\", 25)"}},
      {"recently added as text",
       "search_library",
       arguments(R"({"recently_added":"true"})"),
       {"searchLibrary(\"\", \"songs\", 25)"}},
      {"library search",
       "search_library",
       arguments(R"({"type":"albums","limit":2.5})"),
       {"searchLibrary(\"\", \"albums\", 2)"}},
      {"playlists", "library_playlists", arguments("{}"), {"libraryPlaylists()"}},
      {"playlist missing", "playlist_songs", arguments("{}"), {}, "Missing playlist_id"},
      {"playlist",
       "playlist_songs",
       arguments(R"({"playlist_id":"pl.1"})"),
       {"playlistSongs(\"pl.1\")"}},
      {"name missing", "create_playlist", arguments(R"({"ids":["1"]})"), {}, "Missing name"},
      {"name only",
       "create_playlist",
       arguments(R"({"name":"Mix"})"),
       {"createPlaylist(\"Mix\", none, [])"}},
      {"full playlist",
       "create_playlist",
       arguments(R"({"name":"Mix","description":"d","ids":["1","i.2"]})"),
       {"createPlaylist(\"Mix\", \"d\", [\"1\", \"i.2\"])"}},
      {"target missing",
       "add_to_playlist",
       arguments(R"({"ids":["1"]})"),
       {},
       "Missing playlist_id"},
      {"no songs",
       "add_to_playlist",
       arguments(R"({"playlist_id":"p.1"})"),
       {"addToPlaylist(\"p.1\", [])"}},
      {"library type missing", "add_to_library", arguments(R"({"ids":["1"]})"), {}, "Missing type"},
      {"library",
       "add_to_library",
       arguments(R"({"type":"songs","ids":["1",null,"2"]})"),
       {"addToLibrary(\"songs\", [\"1\", \"2\"])"}},
      {"rate with nothing names id", "rate", arguments("{}"), {}, "Missing id"},
      {"rate without id",
       "rate",
       arguments(R"({"kind":"song","rating":"love"})"),
       {},
       "Missing id"},
      {"rate without kind", "rate", arguments(R"({"id":"1","rating":"love"})"), {}, "Missing kind"},
      {"rate without rating",
       "rate",
       arguments(R"({"id":"1","kind":"song"})"),
       {},
       "Missing rating"},
      {"rate",
       "rate",
       arguments(R"({"id":"1","kind":"song","rating":"love"})"),
       {"rate(\"1\", \"song\", \"love\")"}},
      {"history", "listening_history", arguments("{}"), {"listeningHistory()"}},
      {"letter case differs", "Now_Playing", arguments("{}"), {}, "Unknown tool Now_Playing"},
      {"no name", "", arguments("{}"), {}, "Unknown tool "},
      {"name with space",
       "rate ",
       arguments(R"({"id":"1","kind":"song","rating":"love"})"),
       {},
       "Unknown tool rate "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RecordingService service;
    const std::string text = outcome(Tools::call(service, row.tool, row.arguments));
    EXPECT_EQ(service.calls, row.calls);
    EXPECT_TRUE(service.allOnMain);
    if (row.calls.empty()) {
      EXPECT_EQ(text, "error: " + row.error);
    } else if (row.tool != "now_playing" && row.tool != "set_note") {
      EXPECT_EQ(text, "from " + row.calls.back());
    }
  }
}

TEST(ToolsCall, WritesTheNowPlayingObjectAsCompactJSON) {
  struct Row {
    const char* name;
    Value nowPlaying;
    std::string text;
  };
  const std::vector<Row> rows = {
      {"slashes kept", Value::object({{"artwork", "https://a.b/c/d.jpg"}}),
       R"({"artwork":"https://a.b/c/d.jpg"})"},
      {"nested, no spaces",
       Value::object({{"track", Value::object({{"title", "Caf\xC3\xA9"}, {"position", 1.5}})},
                      {"queue_length", 3},
                      {"shuffle", false}}),
       "{\"queue_length\":3,\"shuffle\":false,\"track\":{\"position\":1.5,\"title\":"
       "\"Caf\xC3\xA9\"}}"},
      {"empty", Value::Object{}, "{}"},
      {"text not UTF-8", Value::object({{"title", "bad \xFF byte"}, {"status", "playing"}}), "{}"},
      {"key not UTF-8", Value::object({{"\xC3", 1}}), "{}"},
      {"number not finite", Value::object({{"position", std::numeric_limits<double>::quiet_NaN()}}),
       "{}"},
      {"infinity deep inside",
       Value::object({{"queue", Value::array({Value::object(
                                    {{"d", std::numeric_limits<double>::infinity()}})})}}),
       "{}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const char* tool : {"now_playing", "set_note"}) {
      SCOPED_TRACE(tool);
      RecordingService service;
      service.nowPlaying = row.nowPlaying;
      EXPECT_EQ(outcome(Tools::call(service, tool, {})), row.text);
    }
  }
}

TEST(ToolsCall, ReportsEachToolAsNotAvailableYetWithoutAService) {
  const Value::Object everything = arguments(
      R"({"action":"play","type":"album","id":"1","query":"q","artist_id":"1","album_id":"1",)"
      R"("playlist_id":"p.1","name":"N","kind":"song","rating":"love","ids":["1"]})");
  ASSERT_EQ(Tools::all().size(), 20u);
  for (const mcp::Tool& tool : Tools::all()) {
    SCOPED_TRACE(tool.name);
    EXPECT_EQ(outcome(Tools::call(tool.name, everything)),
              "error: " + tool.name + " is not available yet.");
  }
  Value::Object recent = arguments(R"({"recently_added":true})");
  EXPECT_EQ(outcome(Tools::call("search_library", recent)),
            "error: search_library is not available yet.");
  EXPECT_EQ(outcome(Tools::call("now playing", {})), "error: Unknown tool now playing");
}

TEST(ToolsCall, PassesTheServicesOwnFailuresThrough) {
  class FailingService : public MusicService {
    asio::awaitable<std::string> queue() override {
      throw std::runtime_error("The player went away");
      co_return "";
    }
  } service;
  std::future<std::string> result = start(Tools::call(service, "get_queue", {}));
  ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready);
  try {
    result.get();
    ADD_FAILURE() << "the call succeeded";
  } catch (const ToolError& error) {
    ADD_FAILURE() << "turned into a ToolError: " << error.message;
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "The player went away");
  }
}

TEST(ToolsCall, LetsAnotherCallRunWhileOneWaits) {
  // playback waits on the main actor until get_queue releases it.
  class WaitingService : public MusicService {
   public:
    std::atomic<bool> waiting{false};

    asio::awaitable<std::string> playback(std::string /*action*/) override {
      waiting = true;
      while (!released_) co_await wake_.async_wait(kUseTuple);
      co_return "played";
    }
    asio::awaitable<std::string> queue() override {
      released_ = true;
      wake_.cancel();
      co_return "queued";
    }

   private:
    bool released_ = false;
    asio::steady_timer wake_{Executor::shared().mainActor(), asio::steady_timer::time_point::max()};
  } service;

  std::future<std::string> playing =
      start(Tools::call(service, "playback", arguments(R"({"action":"play"})")));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!service.waiting && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(service.waiting);
  EXPECT_EQ(outcome(Tools::call(service, "get_queue", {})), "queued");
  ASSERT_EQ(playing.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(playing.get(), "played");
}

TEST(ToolError, DescribesItselfByItsMessageAlone) {
  const ToolError error("Missing action");
  EXPECT_STREQ(error.what(), "Missing action");
}

}  // namespace
}  // namespace melodock
