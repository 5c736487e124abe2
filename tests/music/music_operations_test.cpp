#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/music/run_tool.h"
#include "tests/support/null_music_operations.h"

namespace melodock {
namespace {

// Until the music behind it exists, every tool answers that it is not available yet.
TEST(MusicOperations, SaysOfEachToolThatItIsNotAvailableYet) {
  const mcp::Value::Object everything =
      *mcp::Value::fromJSON(
           nlohmann::json::parse(R"({"action":"play","type":"album","id":"1","query":"q",)"
                                 R"("artist_id":"1","album_id":"1","playlist_id":"p.1",)"
                                 R"("name":"N","kind":"song","rating":"love","ids":["1"]})"))
           .objectValue();
  NullMusicOperations service;
  for (const char* name :
       {"now_playing",     "playback",          "seek",           "set_modes",
        "play_songs",      "play_collection",   "set_note",       "get_queue",
        "search_catalog",  "artist_info",       "album_songs",    "charts",
        "search_library",  "library_playlists", "playlist_songs", "create_playlist",
        "add_to_playlist", "add_to_library",    "rate",           "listening_history"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(runTool(service, name, everything),
              "error: " + std::string(name) + " is not available yet.");
  }
  EXPECT_EQ(runTool(service, "search_library", {{"recently_added", true}}),
            "error: search_library is not available yet.");
}

}  // namespace
}  // namespace melodock
