// The dispatcher between the agent's tool calls and the music operations: what each
// tool reads of its arguments, the compact now-playing object, calls in flight, and the
// catalogue of tools.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <set>
#include <stdexcept>
#include <thread>

#include "music/tools.h"
#include "tests/support/null_music_operations.h"

namespace melodock {
namespace {

using mcp::Value;
using Strings = std::vector<std::string>;

constexpr auto kPatience = std::chrono::seconds(10);

// The pool and main actor of these tests, for the life of the test program.
Executor& testPool() {
  static Executor executor(2);
  return executor;
}
const MainActor& testMainActor() {
  static const MainActor main(testPool());
  return main;
}

// Starts the tool call from the pool, as a request does, through the dispatcher as the
// endpoint holds it.
std::future<Tools::Outcome> startTool(MusicOperations& service, std::string name,
                                      Value::Object arguments) {
  auto run = [](MusicOperations& service, std::string name,
                Value::Object arguments) -> asio::awaitable<Tools::Outcome> {
    const Tools tools(testMainActor(), service);
    co_return co_await tools.run(std::move(name), std::move(arguments));
  };
  return asio::co_spawn(testPool().pool(), run(service, std::move(name), std::move(arguments)),
                        asio::use_future);
}

// What the agent reads: the result text, a ToolError's message after "error: ", any
// other failure's after "failure: ".
std::string shownOutcome(std::future<Tools::Outcome> call) {
  if (call.wait_for(kPatience) != std::future_status::ready) return "timed out";
  Tools::Outcome outcome = call.get();
  if (!outcome.failure) return outcome.text;
  try {
    std::rethrow_exception(outcome.failure);
  } catch (const ToolError&) {
    return "error: " + outcome.text;
  } catch (const std::exception&) {
    return "failure: " + outcome.text;
  }
}

std::string runTool(MusicOperations& service, std::string name, Value::Object arguments = {}) {
  return shownOutcome(startTool(service, std::move(name), std::move(arguments)));
}

Value::Object args(const char* json) {
  return *Value::fromJSON(nlohmann::json::parse(json)).objectValue();
}

std::string shown(const std::string& text) { return "\"" + text + "\""; }
std::string shown(bool flag) { return flag ? "true" : "false"; }
std::string shown(std::int64_t number) { return std::to_string(number); }
std::string shown(double number) { return std::to_string(number); }
template <typename T>
std::string shown(const std::optional<T>& value) {
  return value ? shown(*value) : "none";
}
std::string shown(const Strings& list) {
  std::string text;
  for (const std::string& item : list) text += (text.empty() ? "" : ", ") + shown(item);
  return "[" + text + "]";
}

// Writes down each operation with the arguments it received, and whether it ran on the
// main actor, and answers with a text naming the call.
class RecordingService : public NullMusicOperations {
 public:
  Strings calls;
  bool allOnMain = true;
  Value nowPlaying = Value::object({{"status", "playing"}});

  asio::awaitable<Value> nowPlayingDict() override {
    record("nowPlayingDict");
    co_return nowPlaying;
  }
  Text playback(std::string action) override { co_return record("playback", action); }
  Text seek(double seconds) override { co_return record("seek", seconds); }
  Text setModes(std::optional<bool> shuffle, MaybeText repeat) override {
    co_return record("setModes", shuffle, repeat);
  }
  Text playSongs(IDs ids, std::string mode, MaybeText note) override {
    co_return record("playSongs", ids, mode, note);
  }
  Text playCollection(std::string type, std::string id, bool shuffle, MaybeText note) override {
    co_return record("playCollection", type, id, shuffle, note);
  }
  asio::awaitable<void> applyNote(MaybeText text) override {
    record("applyNote", text);
    co_return;
  }
  Text queue() override { co_return record("queue"); }
  Text searchCatalog(std::string query, std::int64_t limit) override {
    co_return record("searchCatalog", query, limit);
  }
  Text artistInfo(std::string id) override { co_return record("artistInfo", id); }
  Text albumSongs(std::string id) override { co_return record("albumSongs", id); }
  Text charts(std::int64_t limit) override { co_return record("charts", limit); }
  Text recentlyAdded(std::int64_t limit) override { co_return record("recentlyAdded", limit); }
  Text searchLibrary(std::string query, std::string type, std::int64_t limit) override {
    co_return record("searchLibrary", query, type, limit);
  }
  Text libraryPlaylists() override { co_return record("libraryPlaylists"); }
  Text playlistSongs(std::string id) override { co_return record("playlistSongs", id); }
  Text createPlaylist(std::string name, MaybeText about, IDs ids) override {
    co_return record("createPlaylist", name, about, ids);
  }
  Text addToPlaylist(std::string playlistID, IDs songIDs) override {
    co_return record("addToPlaylist", playlistID, songIDs);
  }
  Text addToLibrary(std::string type, IDs ids) override {
    co_return record("addToLibrary", type, ids);
  }
  Text rate(std::string id, std::string kind, std::string rating) override {
    co_return record("rate", id, kind, rating);
  }
  Text listeningHistory() override { co_return record("listeningHistory"); }

 private:
  template <typename... Values>
  std::string record(const char* operation, const Values&... values) {
    allOnMain = allOnMain && testMainActor().isCurrent();
    std::string shownValues;
    ((shownValues += (shownValues.empty() ? "" : ", ") + shown(values)), ...);
    calls.push_back(std::string(operation) + "(" + shownValues + ")");
    return "from " + calls.back();
  }
};

Value::Object withNumber(const char* key, double number) { return {{key, Value(number)}}; }

// `expected` is the operations the service saw, or the error when it saw none. Well-formed
// arguments reaching each operation are the service's tests, through these same Tools.
TEST(ToolDispatch, ReadsEachToolsArgumentsAndCallsItsOperation) {
  struct Row {
    std::string tool;
    Value::Object arguments;
    std::string expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Row> rows = {
      {"playback", args(R"({"action":1})"), "error: Missing action"},
      {"playback", args(R"({"action":""})"), "error: Missing action"},
      {"seek", args("{}"), "seek(0.000000)"},
      {"seek", args(R"({"seconds":"12"})"), "seek(0.000000)"},
      {"seek", args(R"({"seconds":42})"), "seek(42.000000)"},
      {"set_modes", args("{}"), "setModes(none, none)"},
      {"set_modes", args(R"({"shuffle":"true","repeat":1})"), "setModes(none, none)"},
      {"play_songs", args(R"({"ids":["a",3,"b"]})"), R"(playSongs(["a", "b"], "replace", none))"},
      {"play_songs", args("{}"), R"(playSongs([], "replace", none))"},
      {"play_songs", args(R"({"ids":"a","mode":"next","note":"P"})"),
       R"(playSongs([], "next", "P"))"},
      {"play_songs", args(R"({"ids":["a"],"mode":2,"note":false})"),
       R"(playSongs(["a"], "replace", none))"},
      {"play_collection", args("{}"), "error: Missing type"},
      {"play_collection", args(R"({"type":"album"})"), "error: Missing id"},
      {"play_collection", args(R"({"type":"station","id":"ra.1","shuffle":"true"})"),
       R"(playCollection("station", "ra.1", false, none))"},
      {"set_note", args(R"({"text":"Birthday Party"})"),
       R"(applyNote("Birthday Party") nowPlayingDict())"},
      {"set_note", args(R"({"text":60})"), "applyNote(none) nowPlayingDict()"},
      {"search_catalog", args(R"({"limit":5})"), "error: Missing query"},
      {"search_catalog", args(R"({"query":"q","limit":7.9})"), R"(searchCatalog("q", 7))"},
      {"search_catalog", args(R"({"query":"q","limit":"7"})"), R"(searchCatalog("q", 10))"},
      {"search_catalog", args(R"({"query":"q","limit":9223372036854775807})"),
       R"(searchCatalog("q", 9223372036854775807))"},
      {"search_catalog", args(R"({"query":"q","limit":9223372036854775808})"),
       R"(searchCatalog("q", 10))"},
      {"artist_info", args("{}"), "error: Missing artist_id"},
      {"album_songs", args(R"({"id":"5"})"), "error: Missing album_id"},
      {"charts", withNumber("limit", -9223372036854775808.0), "charts(-9223372036854775808)"},
      {"charts", withNumber("limit", nan), "charts(25)"},
      {"charts", withNumber("limit", inf), "charts(25)"},
      {"search_library", args(R"({"recently_added":true,"query":"x","type":"albums","limit":3})"),
       "recentlyAdded(3)"},
      {"search_library", args(R"({"recently_added":true})"), "recentlyAdded(25)"},
      {"search_library", args(R"({"recently_added":false,"query":"x"})"),
       R"(searchLibrary("x", "songs", 25))"},
      {"search_library", args(R"({"recently_added":"true"})"), R"(searchLibrary("", "songs", 25))"},
      {"search_library", args(R"({"type":"albums","limit":2.5})"),
       R"(searchLibrary("", "albums", 2))"},
      {"playlist_songs", args("{}"), "error: Missing playlist_id"},
      {"create_playlist", args(R"({"ids":["1"]})"), "error: Missing name"},
      {"create_playlist", args(R"({"name":"Mix"})"), R"(createPlaylist("Mix", none, []))"},
      {"add_to_playlist", args(R"({"ids":["1"]})"), "error: Missing playlist_id"},
      {"add_to_playlist", args(R"({"playlist_id":"p.1"})"), R"(addToPlaylist("p.1", []))"},
      {"add_to_library", args(R"({"ids":["1"]})"), "error: Missing type"},
      {"add_to_library", args(R"({"type":"songs","ids":["1",null,"2"]})"),
       R"(addToLibrary("songs", ["1", "2"]))"},
      {"rate", args("{}"), "error: Missing id"},
      {"rate", args(R"({"id":"1","rating":"love"})"), "error: Missing kind"},
      {"rate", args(R"({"id":"1","kind":"song"})"), "error: Missing rating"},
      {"Now_Playing", args("{}"), "error: Unknown tool Now_Playing"},
      {"rate ", args(R"({"id":"1","kind":"song","rating":"love"})"), "error: Unknown tool rate "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tool + " " + Value(row.arguments).description());
    RecordingService service;
    const std::string text = runTool(service, row.tool, row.arguments);
    std::string seen;
    for (const std::string& call : service.calls) seen += (seen.empty() ? "" : " ") + call;
    EXPECT_EQ(seen.empty() ? text : seen, row.expected);
    EXPECT_TRUE(service.allOnMain);
    if (!seen.empty() && row.tool != "now_playing" && row.tool != "set_note") {
      EXPECT_EQ(text, "from " + service.calls.back());
    }
  }
}

TEST(ToolDispatch, WritesTheNowPlayingObjectAsCompactJSON) {
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
      EXPECT_EQ(runTool(service, tool), row.text);
    }
  }
}

TEST(ToolDispatch, PassesTheServicesOwnFailuresThrough) {
  class FailingService : public NullMusicOperations {
    asio::awaitable<std::string> queue() override {
      throw std::runtime_error("The player went away");
      co_return "";
    }
  } service;
  EXPECT_EQ(runTool(service, "get_queue"), "failure: The player went away");
}

TEST(ToolDispatch, LetsAnotherCallRunWhileOneWaits) {
  // playback waits on the main actor until get_queue releases it.
  class WaitingService : public NullMusicOperations {
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
    asio::steady_timer wake_{testMainActor().strand(), asio::steady_timer::time_point::max()};
  } service;

  std::future<Tools::Outcome> playing =
      startTool(service, "playback", args(R"({"action":"play"})"));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!service.waiting && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(service.waiting);
  EXPECT_EQ(runTool(service, "get_queue"), "queued");
  EXPECT_EQ(shownOutcome(std::move(playing)), "played");
}

// Each property of a tool's input schema reaches the service, and a property only
// other tools have changes nothing: every route reads exactly what its schema lists.
TEST(ToolDispatch, EachRouteReadsThePropertiesOfItsSchemaAndNoOtherTools) {
  const auto propertiesOf = [](const mcp::Tool& tool) -> const Value::Object& {
    return *tool.inputSchema.find("properties")->objectValue();
  };
  // The `which`th of two values the property's schema allows.
  const auto sample = [](const Value& schema, int which) {
    if (const Value* allowed = schema.find("enum")) return allowed->arrayValue()->at(which);
    const std::string type = *schema.find("type")->stringValue();
    if (type == "boolean") return Value(which == 1);
    if (type == "integer") return Value(std::int64_t{which + 1});
    if (type == "number") return Value(which + 1.5);
    if (type == "array") return Value::array({which == 0 ? "a" : "b"});
    return Value(which == 0 ? "a" : "b");
  };
  // The answer and every operation the service saw.
  const auto outcome = [](const std::string& tool, const Value::Object& arguments) {
    RecordingService service;
    std::string seen = shownOutcome(startTool(service, tool, arguments));
    for (const std::string& call : service.calls) seen += "\n" + call;
    return seen;
  };
  std::set<std::string> everyName;
  for (const mcp::Tool& tool : Tools::all()) {
    for (const auto& [name, schema] : propertiesOf(tool)) everyName.insert(name);
  }
  for (const mcp::Tool& tool : Tools::all()) {
    SCOPED_TRACE(tool.name);
    const Value::Object& properties = propertiesOf(tool);
    Value::Object given;
    for (const auto& [name, schema] : properties) given[name] = sample(schema, 0);
    const std::string seen = outcome(tool.name, given);
    for (const std::string& name : everyName) {
      SCOPED_TRACE(name);
      Value::Object changed = given;
      const bool listed = properties.contains(name);
      changed[name] = listed ? sample(properties.at(name), 1) : Value("zz");
      EXPECT_EQ(outcome(tool.name, changed) != seen, listed) << seen;
    }
  }
}

// The twenty tools as an agent reads them on tools/list, in order, byte for byte: one
// line of the data file each.
TEST(ToolCatalogue, ListsEachToolAsTheAgentReadsIt) {
  std::ifstream file(MELODOCK_MUSIC_TEST_DATA "/tool_catalogue.jsonl", std::ios::binary);
  std::vector<std::string> expected;
  for (std::string line; std::getline(file, line);) expected.push_back(line);
  const std::vector<mcp::Tool>& tools = Tools::all();
  ASSERT_EQ(tools.size(), 20U);
  ASSERT_EQ(expected.size(), tools.size());
  for (std::size_t index = 0; index < tools.size(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(tools[index].toJSON().dump(), expected[index]);
  }
}

}  // namespace
}  // namespace melodock
