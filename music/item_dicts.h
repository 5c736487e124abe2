// The JSON objects that the discovery and library tools answer with for albums,
// playlists, artists, stations and web API resources. A key whose value is absent is
// left out of its object; none of them ever holds null.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "mcp/value.h"
#include "platform/music/items.h"

namespace melodock {

// Each item made into its object by `make`, in order.
template <typename Item, typename Make>
[[nodiscard]] mcp::Value::Array dicts(const std::vector<Item>& items, Make make) {
  mcp::Value::Array array;
  array.reserve(items.size());
  for (const Item& item : items) array.emplace_back(make(item));
  return array;
}

// id, type "album", name, artist, year (when the album has a release date), tracks.
[[nodiscard]] mcp::Value::Object albumDict(const Album& album);

// id, type "playlist", name, curator (when the playlist has one).
[[nodiscard]] mcp::Value::Object playlistDict(const Playlist& playlist);

// id, type "artist", name, genres (when the artist has any).
[[nodiscard]] mcp::Value::Object artistDict(const Artist& artist);

// id, type "station", name, live (true, and only for a live station).
[[nodiscard]] mcp::Value::Object stationDict(const Station& station);

// One element of a web API answer's `data` array: its `id` and `type`, and `name` and
// `artist` from the `name` and `artistName` of its `attributes`, each passed through
// unchanged and left out when absent.
[[nodiscard]] mcp::Value::Object resourceDict(const nlohmann::json& element);

}  // namespace melodock
