// Reading the user's library: search, what was added lately, the playlists with
// whether each can be edited, the listening history with recommendations, and the
// songs of any playlist. Everything but a catalog playlist passes the personal-data
// gate before any request.
#include <algorithm>

#include "music/detail/result_text.h"
#include "music/detail/web_api_path.h"
#include "music/item_dicts.h"
#include "music/music_service.h"
#include "music/tool_error.h"

namespace melodock {
namespace {

constexpr std::string_view kBadSearchType = "type must be songs, albums, artists, or playlists";
constexpr int kRecentlyPlayed = 30;
constexpr std::size_t kRecommendations = 8;
constexpr std::size_t kRecommendationItems = 8;
constexpr const char* kHeavyRotationLimit = "10";

mcp::Value::Array objects(std::vector<mcp::Value::Object> objects) {
  mcp::Value::Array array;
  array.reserve(objects.size());
  for (mcp::Value::Object& object : objects) array.emplace_back(std::move(object));
  return array;
}

mcp::Value::Object recommendationItem(const RecommendationItem& item) {
  if (const auto* album = std::get_if<Album>(&item)) return albumDict(*album);
  if (const auto* playlist = std::get_if<Playlist>(&item)) return playlistDict(*playlist);
  const auto& station = std::get<Station>(item);
  return {{"id", station.id}, {"type", "station"}, {"name", station.name}};
}

}  // namespace

asio::awaitable<std::string> MusicService::searchLibrary(std::string query, std::string type,
                                                         std::int64_t limit) {
  co_await requirePersonalData();
  const int clamped = static_cast<int>(std::clamp<std::int64_t>(limit, 1, 100));
  Library& library = parts_.library;
  mcp::Value::Array found;
  if (type == "songs") {
    const std::vector<Song> songs = co_await library.searchSongs(std::move(query), clamped);
    found = dicts(songs, songDict);
  } else if (type == "albums") {
    std::vector<Album> albums = co_await library.searchAlbums(std::move(query), clamped);
    // The limit went to the library first, so this can leave fewer than asked.
    std::erase_if(albums, [](const Album& album) { return album.title.empty(); });
    found = dicts(albums, albumDict);
  } else if (type == "artists") {
    const std::vector<Artist> artists = co_await library.searchArtists(std::move(query), clamped);
    found = dicts(artists, artistDict);
  } else if (type == "playlists") {
    const std::vector<Playlist> playlists =
        co_await library.searchPlaylists(std::move(query), clamped);
    found = dicts(playlists, playlistDict);
  } else {
    throw ToolError(std::string(kBadSearchType));
  }
  co_return detail::resultText(mcp::Value(std::move(found)));
}

asio::awaitable<std::string> MusicService::recentlyAdded(std::int64_t limit) {
  co_await requirePersonalData();
  QueryItems query{{"limit", std::to_string(std::clamp<std::int64_t>(limit, 1, 25))}};
  const std::string body =
      co_await appleMusicAPI("GET", "/v1/me/library/recently-added", std::move(query));
  co_return detail::resultText(mcp::Value(objects(resources(body))));
}

asio::awaitable<std::string> MusicService::libraryPlaylists() {
  co_await requirePersonalData();
  const std::vector<CloudPlaylist> playlists = co_await cloudPlaylists();
  co_return detail::resultText(mcp::Value(dicts(playlists, [](const CloudPlaylist& playlist) {
    return mcp::Value::Object{{"id", playlist.id},
                              {"type", "playlist"},
                              {"name", playlist.name},
                              {"can_edit", playlist.canEdit}};
  })));
}

asio::awaitable<std::string> MusicService::listeningHistory() {
  co_await requirePersonalData();
  const std::vector<Song> played = co_await parts_.library.recentlyPlayed(kRecentlyPlayed);
  const std::vector<Recommendation> recommended = co_await recommendations_.personal();
  std::vector<mcp::Value::Object> rotation;
  try {
    QueryItems query{{"limit", kHeavyRotationLimit}};
    const std::string body =
        co_await appleMusicAPI("GET", "/v1/me/history/heavy-rotation", std::move(query));
    rotation = resources(body);
  } catch (const std::exception&) {
    // The history stands without it.
  }
  mcp::Value::Array groups;
  for (std::size_t at = 0; at < recommended.size() && at < kRecommendations; ++at) {
    const Recommendation& group = recommended[at];
    mcp::Value::Array items;
    for (std::size_t item = 0; item < group.items.size() && item < kRecommendationItems; ++item) {
      items.emplace_back(recommendationItem(group.items[item]));
    }
    groups.emplace_back(mcp::Value::Object{{"title", group.title}, {"items", std::move(items)}});
  }
  co_return detail::resultText(mcp::Value::Object{{"recently_played", dicts(played, songDict)},
                                                  {"heavy_rotation", objects(std::move(rotation))},
                                                  {"recommendations", std::move(groups)}});
}

asio::awaitable<std::string> MusicService::playlistSongs(std::string id) {
  requireAuthorized();
  if (isCloudPlaylistID(id)) {
    co_await requirePersonalData();
    const std::string body =
        co_await appleMusicAPI("GET", detail::webAPIPathWithID("/v1/me/library/playlists/", id));
    std::vector<mcp::Value::Object> found = resources(body);
    mcp::Value::Object playlist =
        found.empty() ? mcp::Value::Object{{"id", id}} : std::move(found.front());
    std::vector<mcp::Value::Object> tracks = co_await cloudPlaylistTracks(id);
    co_return detail::resultText(mcp::Value::Object{{"playlist", std::move(playlist)},
                                                    {"songs", objects(std::move(tracks))}});
  }
  std::optional<Playlist> playlist;
  std::vector<Song> songs;
  if (isCatalogPlaylistID(id)) {
    std::vector<std::string> ids{id};
    std::vector<Playlist> found = co_await parts_.catalog.playlists(std::move(ids));
    if (!found.empty()) {
      playlist = std::move(found.front());
      std::optional<std::vector<Track>> tracks = co_await parts_.catalog.playlistTracks(id);
      songs = MusicService::songs(tracks);
    }
  } else {
    playlist = co_await libraryPlaylist(id);
    if (playlist) songs = co_await parts_.library.playlistSongs(id);
  }
  if (!playlist) throw ToolError("No playlist with id " + id);
  co_return detail::resultText(
      mcp::Value::Object{{"playlist", playlistDict(*playlist)}, {"songs", dicts(songs, songDict)}});
}

}  // namespace melodock
