#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "music/tools.h"

namespace melodock {
namespace {

using mcp::Value;

Value plain(const char* type) { return Value::object({{"type", type}}); }

Value stringList() { return Value::object({{"type", "array"}, {"items", plain("string")}}); }

Value enumProp(std::initializer_list<const char*> values) {
  Value::Array allowed;
  for (const char* value : values) allowed.emplace_back(value);
  return Value::object({{"type", "string"}, {"enum", std::move(allowed)}});
}

enum class Access { kReadOnly, kChanges };

mcp::Tool tool(const char* name, Access access, const char* description,
               Value::Object properties = {}, std::initializer_list<const char*> required = {}) {
  Value::Array requiredNames;
  for (const char* key : required) requiredNames.emplace_back(key);
  mcp::Tool entry;
  entry.name = name;
  entry.description = description;
  entry.inputSchema = Value::object({{"type", "object"},
                                     {"properties", std::move(properties)},
                                     {"required", std::move(requiredNames)}});
  entry.annotations.readOnlyHint = access == Access::kReadOnly;
  entry.annotations.openWorldHint = false;
  return entry;
}

std::vector<mcp::Tool> buildCatalogue() {
  constexpr Access kReadOnly = Access::kReadOnly;
  constexpr Access kChanges = Access::kChanges;
  return {
      tool("now_playing", kReadOnly,
           "What's playing: track, position (s), status, shuffle, repeat, queue length."),
      tool("playback", kChanges, "Control playback. Returns the new now-playing state.",
           {{"action", enumProp({"play", "pause", "toggle", "next", "previous", "stop"})}},
           {"action"}),
      tool("seek", kChanges, "Jump to a position in the current song.",
           {{"seconds", plain("number")}}, {"seconds"}),
      tool("set_modes", kChanges, "Set shuffle and/or repeat.",
           {{"shuffle", plain("boolean")}, {"repeat", enumProp({"off", "one", "all"})}}),
      tool("play_songs", kChanges,
           "Play songs by id (catalog ids from search/artist/album/charts tools, or library ids "
           "from search_library). mode: replace = start this set now, next = play right after "
           "the current song, queue = add to the end. note: an optional short name for the set, "
           "shown to the user in the Melodock panel (e.g. \"Birthday Party\"); a new set without "
           "a note clears it.",
           {{"ids", stringList()},
            {"mode", enumProp({"replace", "next", "queue"})},
            {"note", plain("string")}},
           {"ids"}),
      tool("play_collection", kChanges,
           "Play a whole album, playlist, or station by id, replacing the queue. Playlist ids "
           "can be catalog (pl.\u2026) or the user's own, from library_playlists or "
           "create_playlist (p.\u2026); new playlists play right away. note: an optional short "
           "name for what's playing, shown in the Melodock panel.",
           {{"type", enumProp({"album", "playlist", "station"})},
            {"id", plain("string")},
            {"shuffle", plain("boolean")},
            {"note", plain("string")}},
           {"type", "id"}),
      tool("set_note", kChanges,
           "Show a short line (at most 60 characters) next to Now Playing in the Melodock "
           "panel, e.g. \"Birthday Party\" or \"Exploring late-night jazz\". Omit text to clear "
           "it.",
           {{"text", plain("string")}}),
      tool("get_queue", kReadOnly, "List the songs in the play queue and which one is current."),
      tool("search_catalog", kReadOnly,
           "Search all of Apple Music for songs, artists, albums, playlists and radio stations.",
           {{"query", plain("string")}, {"limit", plain("integer")}}, {"query"}),
      tool("artist_info", kReadOnly,
           "An artist's top songs, latest release, albums and similar artists. Great for "
           "building a set.",
           {{"artist_id", plain("string")}}, {"artist_id"}),
      tool("album_songs", kReadOnly, "The songs on a catalog album.",
           {{"album_id", plain("string")}}, {"album_id"}),
      tool("charts", kReadOnly, "Current most-played songs chart in the user's country.",
           {{"limit", plain("integer")}}),
      tool("search_library", kReadOnly,
           "Search the user's own library: songs, albums, artists or playlists (an empty query "
           "lists them). recently_added: true lists what they added lately instead. If the user "
           "hasn't allowed it yet, Melodock asks them.",
           {{"query", plain("string")},
            {"type", enumProp({"songs", "albums", "artists", "playlists"})},
            {"recently_added", plain("boolean")},
            {"limit", plain("integer")}}),
      tool("library_playlists", kReadOnly,
           "The user's own playlists (p.\u2026 ids) and whether each can be edited. If the user "
           "hasn't allowed it yet, Melodock asks them."),
      tool("playlist_songs", kReadOnly,
           "The songs in a playlist: a catalog playlist (pl.\u2026) or one of the user's own "
           "(p.\u2026; if the user hasn't allowed sharing their library yet, Melodock asks "
           "them).",
           {{"playlist_id", plain("string")}}, {"playlist_id"}),
      tool("create_playlist", kChanges,
           "Create a playlist in the user's Apple Music library, optionally with songs (catalog "
           "ids or library ids). If the user hasn't allowed it yet, Melodock asks them.",
           {{"name", plain("string")}, {"description", plain("string")}, {"ids", stringList()}},
           {"name"}),
      tool("add_to_playlist", kChanges,
           "Add songs to one of the user's editable playlists (p.\u2026 id from "
           "library_playlists or create_playlist). Favourite Songs can't be edited: to put a "
           "song there, love it with rate. If the user hasn't allowed it yet, Melodock asks "
           "them.",
           {{"playlist_id", plain("string")}, {"ids", stringList()}}, {"playlist_id", "ids"}),
      tool("add_to_library", kChanges,
           "Save catalog songs, albums or playlists to the user's library. If the user hasn't "
           "allowed it yet, Melodock asks them.",
           {{"type", enumProp({"songs", "albums", "playlists"})}, {"ids", stringList()}},
           {"type", "ids"}),
      tool("rate", kChanges,
           "Love (favorite) or dislike a song, album or playlist for the user (clear removes the "
           "rating). Love also adds it to the library, which puts loved songs into Favourite "
           "Songs. Apple Music uses it for recommendations. If the user hasn't allowed it yet, "
           "Melodock asks them.",
           {{"id", plain("string")},
            {"kind", enumProp({"song", "album", "playlist"})},
            {"rating", enumProp({"love", "dislike", "clear"})}},
           {"id", "kind", "rating"}),
      tool("listening_history", kReadOnly,
           "The user's taste: recently played songs, heavy rotation (what they play a lot "
           "lately) and personal recommendations. If the user hasn't allowed it yet, Melodock "
           "asks them."),
  };
}

}  // namespace

const std::vector<mcp::Tool>& Tools::all() {
  // A function-local static: built once, thread-safely, on first use.
  static const std::vector<mcp::Tool> catalogue = buildCatalogue();
  return catalogue;
}

}  // namespace melodock
