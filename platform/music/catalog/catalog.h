// Catalog requests: what the music service asks of the music catalog. Searches,
// look-ups by id, the most-played chart, and the relationships of catalog items,
// loaded on request. Every request is asynchronous and may fail with the catalog's
// own error (a DatabaseError for the local catalog), which callers pass on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "platform/music/items.h"

namespace melodock {

struct CatalogSearchResults {
  std::vector<Song> songs{};
  std::vector<Artist> artists{};
  std::vector<Album> albums{};
  std::vector<Playlist> playlists{};
  std::vector<Station> stations{};

  bool operator==(const CatalogSearchResults&) const = default;
};

struct SongChart {
  std::string title{};
  std::vector<Song> songs{};  // in chart order

  bool operator==(const SongChart&) const = default;
};

// What loading an artist with its relationships gives; a relationship the catalog
// knows nothing of is empty.
struct ArtistRelationships {
  std::vector<Song> topSongs{};          // the most popular first
  std::vector<Artist> similarArtists{};  // the most similar first
  std::optional<Album> latestRelease{};  // the album with the latest known release date
  std::vector<Album> fullAlbums{};       // albums rather than singles or EPs, newest first

  bool operator==(const ArtistRelationships&) const = default;
};

// What the catalog offers a listener of one genre.
struct GenreItems {
  std::vector<Album> albums{};      // the most popular first
  std::vector<Station> stations{};  // the non-live stations drawn from the genre

  bool operator==(const GenreItems&) const = default;
};

class Catalog {
 public:
  virtual ~Catalog() = default;

  // Songs, artists, albums, playlists and stations whose titles, names, artists or
  // albums hold every word of `term`, a word also matching as the start of a longer
  // one; at most `limit` of each type (none when `limit` < 1), the most relevant first
  // and, among equally relevant ones, the most popular. Case and diacritics do not
  // matter. A term without words finds nothing.
  virtual asio::awaitable<CatalogSearchResults> search(std::string term, int limit) = 0;

  // The items with these ids, in the order of `ids`, each once; ids that name no item
  // of the type are left out.
  virtual asio::awaitable<std::vector<Song>> songs(std::vector<std::string> ids) = 0;
  virtual asio::awaitable<std::vector<Album>> albums(std::vector<std::string> ids) = 0;
  virtual asio::awaitable<std::vector<Artist>> artists(std::vector<std::string> ids) = 0;
  virtual asio::awaitable<std::vector<Playlist>> playlists(std::vector<std::string> ids) = 0;
  virtual asio::awaitable<std::vector<Station>> stations(std::vector<std::string> ids) = 0;

  // The song charts of the most played, each with at most `limit` songs; empty when
  // the catalog has none.
  virtual asio::awaitable<std::vector<SongChart>> mostPlayedSongs(int limit) = 0;

  // The genres of the catalog's songs, the most popular first; at most `limit`.
  virtual asio::awaitable<std::vector<std::string>> genres(int limit) = 0;
  // At most `limit` albums (those with the most popular songs of the genre) and the
  // stations of `genre`, named exactly.
  virtual asio::awaitable<GenreItems> genreItems(std::string genre, int limit) = 0;

  // Relationships, loaded on request. An unknown id gives empty relationships.
  // An album's tracks, music videos included, in album order.
  virtual asio::awaitable<std::vector<Track>> albumTracks(std::string albumID) = 0;
  // A playlist's tracks in playlist order.
  virtual asio::awaitable<std::vector<Track>> playlistTracks(std::string playlistID) = 0;
  virtual asio::awaitable<ArtistRelationships> artistRelationships(std::string artistID) = 0;
  // The playable songs a non-live station draws its endless run from; none for a live
  // station, which plays as one entry without a song.
  virtual asio::awaitable<std::vector<Song>> stationSongs(std::string stationID) = 0;
};

}  // namespace melodock
