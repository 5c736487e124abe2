// The built-in catalog: a catalog database made by buildCatalog, read on a database
// thread of its own. It needs no account and no network.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/music/catalog/catalog.h"
#include "platform/music/catalog/database.h"

namespace melodock {

namespace detail {
class CatalogReader;
}

class LocalCatalog final : public Catalog {
 public:
  // How many songs an artist's top songs and a station's seed hold, how many similar
  // artists and full albums come back, and how many tracks make a full album.
  static constexpr int kTopSongs = 10;
  static constexpr int kSimilarArtists = 10;
  static constexpr int kFullAlbums = 25;
  static constexpr int kFullAlbumTracks = 7;  // EPs have up to six
  static constexpr int kStationSongs = 100;
  static constexpr int kChartLength = 50;
  static constexpr const char* kChartTitle = "Most Played";

  // Opens the database at `file` read-only. A missing file, or one of another format,
  // makes every request fail with DatabaseError or std::runtime_error.
  explicit LocalCatalog(const std::filesystem::path& file);
  ~LocalCatalog() override;

  asio::awaitable<CatalogSearchResults> search(std::string term, int limit) override;
  asio::awaitable<std::vector<Song>> songs(std::vector<std::string> ids) override;
  asio::awaitable<std::vector<Album>> albums(std::vector<std::string> ids) override;
  asio::awaitable<std::vector<Artist>> artists(std::vector<std::string> ids) override;
  asio::awaitable<std::vector<Playlist>> playlists(std::vector<std::string> ids) override;
  asio::awaitable<std::vector<Station>> stations(std::vector<std::string> ids) override;
  asio::awaitable<std::vector<SongChart>> mostPlayedSongs(int limit) override;
  asio::awaitable<std::vector<std::string>> genres(int limit) override;
  asio::awaitable<GenreItems> genreItems(std::string genre, int limit) override;
  asio::awaitable<std::vector<Track>> albumTracks(std::string albumID) override;
  asio::awaitable<std::vector<Track>> playlistTracks(std::string playlistID) override;
  asio::awaitable<ArtistRelationships> artistRelationships(std::string artistID) override;
  asio::awaitable<std::vector<Song>> stationSongs(std::string stationID) override;

 private:
  std::unique_ptr<detail::CatalogReader> reader_;  // used on the database thread only
  Database database_;                              // stops before reader_ goes
};

// Where the built-in catalog is for the program at `executable`: next to it in a
// build tree, or in ../share/melodock when installed. The first that exists; the
// installed place when neither does.
[[nodiscard]] std::filesystem::path builtInCatalogFile(const std::filesystem::path& executable);

}  // namespace melodock
