// The library's reads and changes, run on its database thread; each change is one
// transaction.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/music/catalog/query_words.h"
#include "platform/music/catalog/statement.h"
#include "platform/music/library/library.h"

namespace melodock::detail {

class LibraryStore {
 public:
  // `connection` must be at the current schema version.
  explicit LibraryStore(sqlite3* connection);

  // `now` is milliseconds since the epoch, by the library's wall clock.
  std::vector<Song> addSongs(const std::vector<Song>& songs, std::int64_t now);
  Album addAlbum(const Album& album, const std::vector<Song>& songs, std::int64_t now);
  std::vector<Song> songs(const std::vector<std::string>& ids);
  std::optional<Album> album(const std::string& id);
  std::vector<Song> albumSongs(const std::string& id);
  std::vector<Song> searchSongs(const std::string& text, int limit);
  std::vector<Album> searchAlbums(const std::string& text, int limit);
  std::vector<Artist> searchArtists(const std::string& text, int limit);
  std::vector<Playlist> searchPlaylists(const std::string& text, int limit);
  std::vector<LibraryPlaylist> playlists(const std::optional<std::string>& id);
  LibraryPlaylist createPlaylist(const std::string& name,
                                 const std::optional<std::string>& description,
                                 const std::vector<Song>& songs, std::int64_t now);
  LibraryPlaylist addPlaylist(const Playlist& playlist, const std::vector<Song>& songs,
                              std::int64_t now);
  void addToPlaylist(const std::string& id, const std::vector<Song>& songs, std::int64_t now);
  std::vector<Song> playlistSongs(const std::string& id);
  void rate(const std::string& id, const std::string& kind, std::optional<Rating> rating,
            std::int64_t now);
  std::optional<Rating> rating(const std::string& id);
  void recordPlay(const Song& song, const std::optional<PlayContext>& context, std::int64_t now);
  std::vector<Song> recentlyPlayed(int limit);
  std::vector<RotationItem> heavyRotation(int limit, std::int64_t since);
  std::vector<AddedItem> recentlyAdded(int limit);

 private:
  std::string nextID(const char* prefix);
  // Saves one song inside the caller's transaction and returns its library form.
  Song save(const Song& song, std::int64_t now);
  void appendToPlaylist(const std::string& id, const std::vector<Song>& songs);
  void updateFavourite(const std::string& songID, bool loved);
  std::string match(const std::string& text) const;

  sqlite3* connection_;
  StatementCache statements_;
  QueryWords words_;
};

}  // namespace melodock::detail
