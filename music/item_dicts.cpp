#include "music/item_dicts.h"

namespace melodock {
namespace {

mcp::Value::Array texts(const std::vector<std::string>& values) {
  return {values.begin(), values.end()};
}

// Copies `object[from]` to `dict[to]` when it is there; null counts as absent.
void passOn(const nlohmann::json& object, const char* from, mcp::Value::Object& dict,
            const char* to) {
  if (!object.is_object()) return;
  const auto found = object.find(from);
  if (found != object.end() && !found->is_null()) dict.emplace(to, mcp::Value::fromJSON(*found));
}

}  // namespace

mcp::Value::Object albumDict(const Album& album) {
  mcp::Value::Object dict{
      {"id", album.id},
      {"type", "album"},
      {"name", album.title},
      {"artist", album.artistName},
      {"tracks", static_cast<std::int64_t>(album.trackCount)},
  };
  if (album.releaseDate) {
    dict.emplace("year", static_cast<std::int64_t>(yearOf(*album.releaseDate)));
  }
  return dict;
}

mcp::Value::Object playlistDict(const Playlist& playlist) {
  mcp::Value::Object dict{
      {"id", playlist.id},
      {"type", "playlist"},
      {"name", playlist.name},
  };
  if (playlist.curatorName) dict.emplace("curator", *playlist.curatorName);
  return dict;
}

mcp::Value::Object artistDict(const Artist& artist) {
  mcp::Value::Object dict{
      {"id", artist.id},
      {"type", "artist"},
      {"name", artist.name},
  };
  if (!artist.genreNames.empty()) dict.emplace("genres", texts(artist.genreNames));
  return dict;
}

mcp::Value::Object stationDict(const Station& station) {
  mcp::Value::Object dict{
      {"id", station.id},
      {"type", "station"},
      {"name", station.name},
  };
  if (station.isLive) dict.emplace("live", true);
  return dict;
}

mcp::Value::Object resourceDict(const nlohmann::json& element) {
  mcp::Value::Object dict;
  passOn(element, "id", dict, "id");
  passOn(element, "type", dict, "type");
  if (element.is_object()) {
    if (const auto attributes = element.find("attributes");
        attributes != element.end() && attributes->is_object()) {
      passOn(*attributes, "name", dict, "name");
      passOn(*attributes, "artistName", dict, "artist");
    }
  }
  return dict;
}

}  // namespace melodock
