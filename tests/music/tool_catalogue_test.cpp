#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "music/tools.h"

namespace melodock {
namespace {

const mcp::Tool& toolNamed(const std::string& name) {
  const auto& all = Tools::all();
  auto found = std::find_if(all.begin(), all.end(),
                            [&](const mcp::Tool& tool) { return tool.name == name; });
  if (found == all.end()) throw std::runtime_error("no tool " + name);
  return *found;
}

TEST(ToolCatalogue, ListsTheTwentyToolsInOrderOnlyTheReadingOnesReadOnly) {
  const std::vector<std::pair<std::string, bool>> expected = {{"now_playing", true},
                                                              {"playback", false},
                                                              {"seek", false},
                                                              {"set_modes", false},
                                                              {"play_songs", false},
                                                              {"play_collection", false},
                                                              {"set_note", false},
                                                              {"get_queue", true},
                                                              {"search_catalog", true},
                                                              {"artist_info", true},
                                                              {"album_songs", true},
                                                              {"charts", true},
                                                              {"search_library", true},
                                                              {"library_playlists", true},
                                                              {"playlist_songs", true},
                                                              {"create_playlist", false},
                                                              {"add_to_playlist", false},
                                                              {"add_to_library", false},
                                                              {"rate", false},
                                                              {"listening_history", true}};
  std::vector<std::pair<std::string, bool>> listed;
  for (const mcp::Tool& tool : Tools::all()) {
    SCOPED_TRACE(tool.name);
    listed.emplace_back(tool.name, tool.annotations.readOnlyHint.value_or(false));
    EXPECT_TRUE(tool.annotations.readOnlyHint.has_value());
    EXPECT_EQ(tool.annotations.openWorldHint, false);
    EXPECT_EQ(tool.annotations.toJSON().size(), 2u);  // no title, destructive or idempotent
    EXPECT_FALSE(tool.title || tool.outputSchema || tool.icons || tool.meta);
    ASSERT_TRUE(tool.description);
    EXPECT_FALSE(tool.description->empty());
    // Every argument it requires, it describes.
    const nlohmann::json schema = tool.inputSchema.toJSON();
    ASSERT_EQ(schema.size(), 3u);
    EXPECT_EQ(schema.at("type"), "object");
    for (const auto& key : schema.at("required")) {
      EXPECT_TRUE(schema.at("properties").contains(key.get<std::string>())) << key;
    }
  }
  EXPECT_EQ(listed, expected);
}

TEST(ToolCatalogue, WritesEachToolAsTheAgentReadsIt) {
  struct Row {
    const char* name;
    std::string json;
  };
  const std::vector<Row> rows = {
      {"now_playing",
       R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"What's )"
       R"(playing: track, position (s), status, shuffle, repeat, queue length.","inputSchema":)"
       R"({"properties":{},"required":[],"type":"object"},"name":"now_playing"})"},
      {"rate",
       R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Love )"
       R"((favorite) or dislike a song, album or playlist for the user (clear removes the )"
       R"(rating). Love also adds it to the library, which puts loved songs into Favourite )"
       R"(Songs. Apple Music uses it for recommendations. If the user hasn't allowed it yet, )"
       R"(Melodock asks them.","inputSchema":{"properties":{"id":{"type":"string"},"kind":)"
       R"({"enum":["song","album","playlist"],"type":"string"},"rating":{"enum":["love",)"
       R"("dislike","clear"],"type":"string"}},"required":["id","kind","rating"],"type":)"
       R"("object"},"name":"rate"})"},
      {"play_songs",
       R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Play )"
       R"(songs by id (catalog ids from search/artist/album/charts tools, or library ids from )"
       R"(search_library). mode: replace = start this set now, next = play right after the )"
       R"(current song, queue = add to the end. note: an optional short name for the set, )"
       R"(shown to the user in the Melodock panel (e.g. \"Birthday Party\"); a new set )"
       R"(without a note clears it.","inputSchema":{"properties":{"ids":{"items":{"type":)"
       R"("string"},"type":"array"},"mode":{"enum":["replace","next","queue"],"type":)"
       R"("string"},"note":{"type":"string"}},"required":["ids"],"type":"object"},"name":)"
       R"("play_songs"})"},
      {"playlist_songs",
       "{\"annotations\":{\"openWorldHint\":false,\"readOnlyHint\":true},\"description\":\"The "
       "songs in a playlist: a catalog playlist (pl.\xE2\x80\xA6) or one of the user's own "
       "(p.\xE2\x80\xA6; if the user hasn't allowed sharing their library yet, Melodock asks "
       "them).\",\"inputSchema\":{\"properties\":{\"playlist_id\":{\"type\":\"string\"}},"
       "\"required\":[\"playlist_id\"],\"type\":\"object\"},\"name\":\"playlist_songs\"}"},
      {"search_library",
       R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"Search )"
       R"(the user's own library: songs, albums, artists or playlists (an empty query lists )"
       R"(them). recently_added: true lists what they added lately instead. If the user )"
       R"(hasn't allowed it yet, Melodock asks them.","inputSchema":{"properties":{"limit":)"
       R"({"type":"integer"},"query":{"type":"string"},"recently_added":{"type":"boolean"},)"
       R"("type":{"enum":["songs","albums","artists","playlists"],"type":"string"}},)"
       R"("required":[],"type":"object"},"name":"search_library"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(toolNamed(row.name).toJSON().dump(), row.json);
  }
}

TEST(ToolCatalogue, WritesTheEllipsisAsOneCharacter) {
  const std::string ellipsis = "\xE2\x80\xA6";
  std::size_t count = 0;
  for (const mcp::Tool& tool : Tools::all()) {
    EXPECT_EQ(tool.description->find("..."), std::string::npos) << tool.name;
    for (auto at = tool.description->find(ellipsis); at != std::string::npos;
         at = tool.description->find(ellipsis, at + 1)) {
      ++count;
    }
  }
  EXPECT_EQ(count, 6u);
}

}  // namespace
}  // namespace melodock
