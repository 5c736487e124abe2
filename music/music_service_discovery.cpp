// Catalog discovery: search, an artist, an album's songs and the most-played chart.
#include <algorithm>

#include "music/detail/result_text.h"
#include "music/item_dicts.h"
#include "music/music_service.h"
#include "music/tool_error.h"

namespace melodock {
namespace {

constexpr std::int64_t kMaxSearchLimit = 25;
constexpr std::int64_t kMaxChartLimit = 50;
constexpr std::size_t kMaxFullAlbums = 25;
constexpr std::string_view kNoArtist = "No artist with id ";
constexpr std::string_view kNoAlbum = "No album with id ";
constexpr std::string_view kDefaultChartTitle = "Top Songs";

mcp::Value::Array songDicts(const std::vector<Song>& songs) {
  return dicts(songs, [](const Song& song) { return MusicService::songDict(song); });
}

}  // namespace

asio::awaitable<std::string> MusicService::searchCatalog(std::string query, std::int64_t limit) {
  requireAuthorized();
  const auto perType = static_cast<int>(std::clamp<std::int64_t>(limit, 1, kMaxSearchLimit));
  const CatalogSearchResults found = co_await parts_.catalog.search(std::move(query), perType);
  co_return detail::resultText(mcp::Value::Object{
      {"songs", songDicts(found.songs)},
      {"artists", dicts(found.artists, artistDict)},
      {"albums", dicts(found.albums, albumDict)},
      {"playlists", dicts(found.playlists, playlistDict)},
      {"stations", dicts(found.stations, stationDict)},
  });
}

asio::awaitable<std::string> MusicService::artistInfo(std::string id) {
  requireAuthorized();
  std::vector<std::string> ids{id};
  const std::vector<Artist> artists = co_await parts_.catalog.artists(std::move(ids));
  if (artists.empty()) throw ToolError(std::string(kNoArtist) + id);
  const Artist& artist = artists.front();
  ArtistRelationships loaded = co_await parts_.catalog.artistRelationships(artist.id);
  if (loaded.fullAlbums.size() > kMaxFullAlbums) loaded.fullAlbums.resize(kMaxFullAlbums);
  mcp::Value::Array genres(artist.genreNames.begin(), artist.genreNames.end());
  mcp::Value::Object info{
      {"name", artist.name},
      {"genres", std::move(genres)},
      {"top_songs", songDicts(loaded.topSongs)},
      {"albums", dicts(loaded.fullAlbums, albumDict)},
      {"similar_artists", dicts(loaded.similarArtists, artistDict)},
  };
  if (loaded.latestRelease) info.emplace("latest_release", albumDict(*loaded.latestRelease));
  co_return detail::resultText(info);
}

asio::awaitable<std::string> MusicService::albumSongs(std::string id) {
  requireAuthorized();
  std::vector<std::string> ids{id};
  const std::vector<Album> albums = co_await parts_.catalog.albums(std::move(ids));
  if (albums.empty()) throw ToolError(std::string(kNoAlbum) + id);
  const std::vector<Track> tracks = co_await parts_.catalog.albumTracks(albums.front().id);
  mcp::Value::Array songs;
  for (const Track& track : tracks) {
    if (const Song* song = asSong(track)) songs.emplace_back(songDict(*song));
  }
  co_return detail::resultText(mcp::Value::Object{
      {"album", albumDict(albums.front())},
      {"songs", std::move(songs)},
  });
}

asio::awaitable<std::string> MusicService::charts(std::int64_t limit) {
  requireAuthorized();
  const auto length = static_cast<int>(std::clamp<std::int64_t>(limit, 1, kMaxChartLimit));
  const std::vector<SongChart> found = co_await parts_.catalog.mostPlayedSongs(length);
  if (found.empty()) {
    co_return detail::resultText(
        mcp::Value::Object{{"chart", kDefaultChartTitle}, {"songs", mcp::Value::Array{}}});
  }
  co_return detail::resultText(mcp::Value::Object{
      {"chart", found.front().title},
      {"songs", songDicts(found.front().songs)},
  });
}

}  // namespace melodock
