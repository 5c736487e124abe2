#include "platform/music/web_api/detail/web_api_resources.h"

#include <string>

namespace melodock::detail {
namespace {

using nlohmann::json;

json resource(const std::string& id, const char* type, const char* hrefKind, json attributes) {
  return json{{"id", id},
              {"type", type},
              {"href", std::string("/v1/me/library/") + hrefKind + "/" + id},
              {"attributes", std::move(attributes)}};
}

json playParams(const std::string& id, const char* kind) {
  return json{{"id", id}, {"kind", kind}, {"isLibrary", true}};
}

}  // namespace

json songResource(const Song& song) {
  json attributes{
      {"name", song.title}, {"artistName", song.artistName}, {"genreNames", song.genreNames}};
  if (song.albumTitle) attributes["albumName"] = *song.albumTitle;
  if (song.duration) attributes["durationInMillis"] = song.duration->count();
  if (song.trackNumber) attributes["trackNumber"] = *song.trackNumber;
  if (song.discNumber) attributes["discNumber"] = *song.discNumber;
  if (song.releaseDate) attributes["releaseDate"] = releaseDateText(*song.releaseDate);
  if (song.playParameters) {
    json params = playParams(song.id, "song");
    // A saved catalog song plays by its catalog id.
    if (!isLibrarySongID(song.playParameters->id)) params["catalogId"] = song.playParameters->id;
    attributes["playParams"] = std::move(params);
  }
  return resource(song.id, "library-songs", "songs", std::move(attributes));
}

json albumResource(const Album& album) {
  json attributes{{"name", album.title},
                  {"artistName", album.artistName},
                  {"genreNames", album.genreNames},
                  {"trackCount", album.trackCount},
                  {"playParams", playParams(album.id, "album")}};
  if (album.releaseDate) attributes["releaseDate"] = releaseDateText(*album.releaseDate);
  return resource(album.id, "library-albums", "albums", std::move(attributes));
}

json playlistResource(const LibraryPlaylist& playlist) {
  json attributes{{"name", playlist.playlist.name},
                  {"canEdit", playlist.canEdit},
                  {"playParams", playParams(playlist.playlist.id, "playlist")}};
  if (playlist.playlist.description) {
    attributes["description"] = json{{"standard", *playlist.playlist.description}};
  }
  return resource(playlist.playlist.id, "library-playlists", "playlists", std::move(attributes));
}

json addedResource(const AddedItem& item) {
  if (const auto* song = std::get_if<Song>(&item)) return songResource(*song);
  if (const auto* album = std::get_if<Album>(&item)) return albumResource(*album);
  return playlistResource(std::get<LibraryPlaylist>(item));
}

json rotationResource(const RotationItem& item) {
  const bool library = item.item.id.starts_with("l.") || item.item.id.starts_with("p.") ||
                       item.item.id.starts_with("i.");
  json attributes{{"name", item.item.name}};
  if (item.item.artistName) attributes["artistName"] = *item.item.artistName;
  return json{{"id", item.item.id},
              {"type", (library ? "library-" : "") + item.item.kind},
              {"attributes", std::move(attributes)}};
}

json errorBody(int status, std::string_view title, std::string_view detail) {
  return json{{"errors", json::array({json{{"status", std::to_string(status)},
                                           {"code", std::to_string(status * 100)},
                                           {"title", title},
                                           {"detail", detail}}})}};
}

std::string jsonText(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace melodock::detail
