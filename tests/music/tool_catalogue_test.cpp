#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "music/tools.h"

namespace melodock {
namespace {

// The twenty tools as an agent reads them on tools/list, in order, byte for byte.
TEST(ToolCatalogue, ListsEachToolAsTheAgentReadsIt) {
  // Each tool's text is written in pieces, not several texts missing a comma.
  // NOLINTBEGIN(bugprone-suspicious-missing-comma)
  const std::vector<std::string> expected = {
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"What's )"
      R"(playing: track, position (s), status, shuffle, repeat, queue length.",)"
      R"("inputSchema":{"properties":{},"required":[],"type":"object"},"name":"now_playing"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Control )"
      R"(playback. Returns the new now-playing state.",)"
      R"("inputSchema":{"properties":{"action":{"enum":["play","pause","toggle","next","previous",)"
      R"("stop"],"type":"string"}},"required":["action"],"type":"object"},"name":"playback"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Jump to a )"
      R"(position in the current song.","inputSchema":{"properties":{"seconds":{"type":"number"}},)"
      R"("required":["seconds"],"type":"object"},"name":"seek"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Set shuffle )"
      R"(and/or repeat.","inputSchema":{"properties":{"repeat":{"enum":["off","one","all"],)"
      R"("type":"string"},"shuffle":{"type":"boolean"}},"required":[],"type":"object"},)"
      R"("name":"set_modes"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Play songs by )"
      R"(id (catalog ids from search/artist/album/charts tools, or library ids from )"
      R"(search_library). mode: replace = start this set now, next = play right after the current )"
      R"(song, queue = add to the end. note: an optional short name for the set, shown to the )"
      R"(user in the Melodock panel (e.g. \"Birthday Party\"); a new set without a note clears )"
      R"(it.","inputSchema":{"properties":{"ids":{"items":{"type":"string"},"type":"array"},)"
      R"("mode":{"enum":["replace","next","queue"],"type":"string"},"note":{"type":"string"}},)"
      R"("required":["ids"],"type":"object"},"name":"play_songs"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Play a whole )"
      R"(album, playlist, or station by id, replacing the queue. Playlist ids can be catalog )"
      R"((pl.…) or the user's own, from library_playlists or create_playlist (p.…); new playlists )"
      R"(play right away. note: an optional short name for what's playing, shown in the Melodock )"
      R"(panel.","inputSchema":{"properties":{"id":{"type":"string"},"note":{"type":"string"},)"
      R"("shuffle":{"type":"boolean"},"type":{"enum":["album","playlist","station"],)"
      R"("type":"string"}},"required":["type","id"],"type":"object"},"name":"play_collection"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Show a short )"
      R"(line (at most 60 characters) next to Now Playing in the Melodock panel, e.g. \"Birthday )"
      R"(Party\" or \"Exploring late-night jazz\". Omit text to clear it.",)"
      R"("inputSchema":{"properties":{"text":{"type":"string"}},"required":[],"type":"object"},)"
      R"("name":"set_note"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"List the songs )"
      R"(in the play queue and which one is current.","inputSchema":{"properties":{},)"
      R"("required":[],"type":"object"},"name":"get_queue"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"Search all of )"
      R"(Apple Music for songs, artists, albums, playlists and radio stations.",)"
      R"("inputSchema":{"properties":{"limit":{"type":"integer"},"query":{"type":"string"}},)"
      R"("required":["query"],"type":"object"},"name":"search_catalog"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"An artist's )"
      R"(top songs, latest release, albums and similar artists. Great for building a set.",)"
      R"("inputSchema":{"properties":{"artist_id":{"type":"string"}},"required":["artist_id"],)"
      R"("type":"object"},"name":"artist_info"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"The songs on a )"
      R"(catalog album.","inputSchema":{"properties":{"album_id":{"type":"string"}},)"
      R"("required":["album_id"],"type":"object"},"name":"album_songs"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"Current )"
      R"(most-played songs chart in the user's country.",)"
      R"("inputSchema":{"properties":{"limit":{"type":"integer"}},"required":[],"type":"object"},)"
      R"("name":"charts"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"Search the )"
      R"(user's own library: songs, albums, artists or playlists (an empty query lists them). )"
      R"(recently_added: true lists what they added lately instead. If the user hasn't allowed it )"
      R"(yet, Melodock asks them.","inputSchema":{"properties":{"limit":{"type":"integer"},)"
      R"("query":{"type":"string"},"recently_added":{"type":"boolean"},"type":{"enum":["songs",)"
      R"("albums","artists","playlists"],"type":"string"}},"required":[],"type":"object"},)"
      R"("name":"search_library"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"The user's own )"
      R"(playlists (p.… ids) and whether each can be edited. If the user hasn't allowed it yet, )"
      R"(Melodock asks them.","inputSchema":{"properties":{},"required":[],"type":"object"},)"
      R"("name":"library_playlists"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"The songs in a )"
      R"(playlist: a catalog playlist (pl.…) or one of the user's own (p.…; if the user hasn't )"
      R"(allowed sharing their library yet, Melodock asks them).",)"
      R"("inputSchema":{"properties":{"playlist_id":{"type":"string"}},"required":["playlist_id"],)"
      R"("type":"object"},"name":"playlist_songs"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Create a )"
      R"(playlist in the user's Apple Music library, optionally with songs (catalog ids or )"
      R"(library ids). If the user hasn't allowed it yet, Melodock asks them.",)"
      R"("inputSchema":{"properties":{"description":{"type":"string"},)"
      R"("ids":{"items":{"type":"string"},"type":"array"},"name":{"type":"string"}},)"
      R"("required":["name"],"type":"object"},"name":"create_playlist"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Add songs to )"
      R"(one of the user's editable playlists (p.… id from library_playlists or create_playlist). )"
      R"(Favourite Songs can't be edited: to put a song there, love it with rate. If the user )"
      R"(hasn't allowed it yet, Melodock asks them.",)"
      R"("inputSchema":{"properties":{"ids":{"items":{"type":"string"},"type":"array"},)"
      R"("playlist_id":{"type":"string"}},"required":["playlist_id","ids"],"type":"object"},)"
      R"("name":"add_to_playlist"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Save catalog )"
      R"(songs, albums or playlists to the user's library. If the user hasn't allowed it yet, )"
      R"(Melodock asks them.","inputSchema":{"properties":{"ids":{"items":{"type":"string"},)"
      R"("type":"array"},"type":{"enum":["songs","albums","playlists"],"type":"string"}},)"
      R"("required":["type","ids"],"type":"object"},"name":"add_to_library"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":false},"description":"Love )"
      R"((favorite) or dislike a song, album or playlist for the user (clear removes the rating). )"
      R"(Love also adds it to the library, which puts loved songs into Favourite Songs. Apple )"
      R"(Music uses it for recommendations. If the user hasn't allowed it yet, Melodock asks )"
      R"(them.","inputSchema":{"properties":{"id":{"type":"string"},"kind":{"enum":["song",)"
      R"("album","playlist"],"type":"string"},"rating":{"enum":["love","dislike","clear"],)"
      R"("type":"string"}},"required":["id","kind","rating"],"type":"object"},"name":"rate"})",
      R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"The user's )"
      R"(taste: recently played songs, heavy rotation (what they play a lot lately) and personal )"
      R"(recommendations. If the user hasn't allowed it yet, Melodock asks them.",)"
      R"("inputSchema":{"properties":{},"required":[],"type":"object"},)"
      R"("name":"listening_history"})",
  };
  // NOLINTEND(bugprone-suspicious-missing-comma)
  const std::vector<mcp::Tool>& tools = Tools::all();
  ASSERT_EQ(tools.size(), expected.size());
  for (std::size_t index = 0; index < tools.size(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(tools[index].toJSON().dump(), expected[index]);
  }
}

}  // namespace
}  // namespace melodock
