// The four changes to the user's library: a new playlist, songs added to one, items
// saved, ratings. Every request goes through appleMusicAPI; the checks run in a fixed
// order, the consent gate always first.
#include <algorithm>

#include "music/detail/result_text.h"
#include "music/detail/web_api_path.h"
#include "music/music_service.h"
#include "music/tool_error.h"

namespace melodock {
namespace {

using nlohmann::json;

constexpr std::string_view kEmptyIDs = "ids must not be empty";
constexpr std::string_view kNotCloudPlaylist =
    "Use the playlist's p.\u2026 id from library_playlists or create_playlist.";
constexpr std::string_view kNotEditable =
    "\" can't be edited: it's Apple Music's or someone else's playlist. If it's Favourite Songs "
    "(its name depends on the language), it fills itself with loved songs: love the song with "
    "rate instead. Otherwise create a playlist of the user's own.";
constexpr std::string_view kBadLibraryType = "type must be songs, albums, or playlists";
constexpr std::string_view kBadKind = "kind must be song, album, or playlist";
constexpr std::string_view kBadRating = "rating must be love, dislike, or clear";

bool isLibraryID(std::string_view id) {
  return id.starts_with("i.") || id.starts_with("l.") || id.starts_with("p.");
}

std::optional<std::string> pluralKind(std::string_view kind) {
  if (kind == "song") return "songs";
  if (kind == "album") return "albums";
  if (kind == "playlist") return "playlists";
  return std::nullopt;
}

std::string joined(const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) text += (text.empty() ? "" : ",") + id;
  return text;
}

}  // namespace

asio::awaitable<std::string> MusicService::createPlaylist(std::string name,
                                                          std::optional<std::string> description,
                                                          std::vector<std::string> songIDs) {
  co_await requireLibraryChanges();
  json attributes{{"name", name}};
  if (description) attributes["description"] = *description;
  json body{{"attributes", std::move(attributes)}};
  if (!songIDs.empty()) {
    body["relationships"] = {{"tracks", {{"data", trackReferences(songIDs)}}}};
  }
  std::optional<json> sent = std::move(body);
  const std::string answer =
      co_await appleMusicAPI("POST", "/v1/me/library/playlists", {}, std::move(sent));
  mcp::Value::Object result{
      {"created", true}, {"name", name}, {"songs", static_cast<std::int64_t>(songIDs.size())}};
  // An answer that can't be read still means the playlist was made: only its id is
  // missing from the result.
  const json parsed = json::parse(answer, nullptr, false);
  if (parsed.is_object() && parsed.contains("data") && parsed.at("data").is_array() &&
      !parsed.at("data").empty() && parsed.at("data").front().is_object() &&
      parsed.at("data").front().contains("id") && parsed.at("data").front().at("id").is_string()) {
    result.emplace("id", parsed.at("data").front().at("id").get<std::string>());
  }
  co_return detail::resultText(mcp::Value(std::move(result)));
}

asio::awaitable<std::string> MusicService::addToPlaylist(std::string playlistID,
                                                         std::vector<std::string> songIDs) {
  co_await requireLibraryChanges();
  if (songIDs.empty()) throw ToolError(std::string(kEmptyIDs));
  if (!isCloudPlaylistID(playlistID)) throw ToolError(std::string(kNotCloudPlaylist));
  const std::string path =
      detail::webAPIPathWithID("/v1/me/library/playlists/", playlistID, "/tracks");
  // A playlist the listing does not show (or a listing that failed) counts as editable.
  const std::vector<CloudPlaylist> playlists = co_await cloudPlaylists();
  for (const CloudPlaylist& playlist : playlists) {
    if (playlist.id != playlistID) continue;
    if (!playlist.canEdit) throw ToolError("\"" + playlist.name + std::string(kNotEditable));
    break;
  }
  std::optional<json> body = json{{"data", trackReferences(songIDs)}};
  co_await appleMusicAPI("POST", path, {}, std::move(body));
  co_return detail::resultText(mcp::Value(mcp::Value::Object{
      {"added", static_cast<std::int64_t>(songIDs.size())}, {"playlist_id", playlistID}}));
}

asio::awaitable<std::string> MusicService::addToLibrary(std::string type,
                                                        std::vector<std::string> ids) {
  co_await requireLibraryChanges();
  if (type != "songs" && type != "albums" && type != "playlists") {
    throw ToolError(std::string(kBadLibraryType));
  }
  if (ids.empty()) throw ToolError(std::string(kEmptyIDs));
  QueryItems query{{"ids[" + type + "]", joined(ids)}};
  co_await appleMusicAPI("POST", "/v1/me/library", std::move(query));
  co_return detail::resultText(mcp::Value(
      mcp::Value::Object{{"added", static_cast<std::int64_t>(ids.size())}, {"type", type}}));
}

asio::awaitable<std::string> MusicService::rate(std::string id, std::string kind,
                                                std::string rating) {
  co_await requireLibraryChanges();
  const bool library = isLibraryID(id);
  const std::optional<std::string> plural = pluralKind(kind);
  if (!plural) throw ToolError(std::string(kBadKind));
  if (rating != "love" && rating != "dislike" && rating != "clear") {
    throw ToolError(std::string(kBadRating));
  }
  const std::string path = detail::webAPIPathWithID(
      "/v1/me/ratings/" + std::string(library ? "library-" : "") + *plural + "/", id);
  if (rating == "clear") {
    co_await appleMusicAPI("DELETE", path);
  } else {
    std::optional<json> body =
        json{{"type", "rating"}, {"attributes", {{"value", rating == "love" ? 1 : -1}}}};
    co_await appleMusicAPI("PUT", path, {}, std::move(body));
  }
  if (rating == "love" && !library) {
    // Saves the loved item, which puts a song into Favourite Songs; a failure is ignored.
    try {
      QueryItems query{{"ids[" + *plural + "]", id}};
      co_await appleMusicAPI("POST", "/v1/me/library", std::move(query));
    } catch (const std::exception&) {
      // The rating stands either way.
    }
  }
  co_return detail::resultText(mcp::Value(mcp::Value::Object{{"id", id}, {"rating", rating}}));
}

}  // namespace melodock
