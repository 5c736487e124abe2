// The catalog's queries, run on its database thread: one object per connection,
// holding the prepared statements and the search index.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/music/catalog/catalog.h"
#include "platform/music/catalog/detail/search_index.h"
#include "platform/music/catalog/statement.h"

namespace melodock::detail {

// Throws std::runtime_error when the connection's file is not a catalog database of
// the format this code reads.
void checkCatalogFormat(sqlite3* connection);

class CatalogReader {
 public:
  explicit CatalogReader(sqlite3* connection);

  CatalogSearchResults search(const std::string& term, int limit);
  std::vector<Song> songs(const std::vector<std::string>& ids);
  std::vector<Album> albums(const std::vector<std::string>& ids);
  std::vector<Artist> artists(const std::vector<std::string>& ids);
  std::vector<Playlist> playlists(const std::vector<std::string>& ids);
  std::vector<Station> stations(const std::vector<std::string>& ids);
  std::vector<SongChart> mostPlayedSongs(int limit);
  std::vector<std::string> genres(int limit);
  GenreItems genreItems(const std::string& genre, int limit);
  std::vector<Track> albumTracks(const std::string& albumID);
  std::vector<Track> playlistTracks(const std::string& playlistID);
  ArtistRelationships artistRelationships(const std::string& artistID);
  std::vector<Song> stationSongs(const std::string& stationID);

 private:
  // The items of `sql` (one ?1 for a popularity rank) for each match of `term`.
  template <typename Make>
  auto found(SearchSource source, const std::string& term, int limit, const std::string& sql,
             Make make);

  sqlite3* connection_;
  StatementCache statements_;
  // Every genre, the most popular first: read once, the catalog never changes.
  std::optional<std::vector<std::string>> genres_;
  SearchIndex index_;
};

}  // namespace melodock::detail
