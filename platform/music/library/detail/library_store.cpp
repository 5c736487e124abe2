#include "platform/music/library/detail/library_store.h"

#include <unordered_set>
#include <utility>

#include "platform/music/library/detail/library_schema.h"

namespace melodock::detail {
namespace {

// A song whose file vanished has no play parameters: it is listed but cannot play.
constexpr std::string_view kSongSelect =
    "SELECT s.id, s.title, s.artist, s.album, s.genre, s.duration_ms, s.number, s.disc, "
    "s.release_date, s.composer, s.artwork_url, s.artwork_color, "
    "CASE WHEN s.present THEN s.play_id END, s.path ";
constexpr std::string_view kAlbumSelect =
    "SELECT a.id, a.title, a.artist, a.genre, a.release_date, a.track_count, a.artwork_url, "
    "a.artwork_color ";
constexpr std::string_view kPlaylistSelect =
    "SELECT p.id, p.name, p.description, p.editable, p.curator ";
const std::string kSongColumns = std::string(kSongSelect) + "FROM song AS s ";
const std::string kAlbumColumns = std::string(kAlbumSelect) + "FROM album AS a WHERE present ";
const std::string kPlaylistColumns = std::string(kPlaylistSelect) + "FROM playlist AS p ";

// A search reads the full-text index from its latest rows down and stops at the limit,
// so a word found in half the library costs no more than a rare one (ordering 19k
// matches of "the*" by title took 12 ms at 50k songs; this takes under 1 ms).
std::string searchSQL(std::string_view select, std::string_view table, std::string_view alias,
                      std::string_view condition) {
  const std::string index = std::string(table) + "_search";
  return std::string(select) + "FROM " + index + " JOIN " + std::string(table) + " AS " +
         std::string(alias) + " ON " + std::string(alias) + ".rowid = " + index + ".rowid WHERE " +
         index + " MATCH ?1" + std::string(condition) + " ORDER BY " + index +
         ".rowid DESC LIMIT ?2";
}

std::optional<std::string> dateText(const std::optional<ReleaseDate>& date) {
  if (!date) return std::nullopt;
  return releaseDateText(*date);
}

std::optional<ReleaseDate> dateFrom(const Statement& row, int column) {
  if (row.isNull(column)) return std::nullopt;
  return parseReleaseDate(row.text(column));
}

std::optional<Artwork> artworkFrom(const Statement& row, int url, int colour) {
  if (row.isNull(url)) return std::nullopt;
  return Artwork{.urlTemplate = std::string(row.text(url)),
                 .width = 3000,
                 .height = 3000,
                 .backgroundColor = row.optionalText(colour)};
}

Song songFrom(const Statement& row) {
  Song song{.id = std::string(row.text(0)),
            .title = std::string(row.text(1)),
            .artistName = std::string(row.text(2)),
            .albumTitle = row.optionalText(3)};
  if (!row.isNull(4)) song.genreNames.emplace_back(row.text(4));
  if (!row.isNull(5)) song.duration = std::chrono::milliseconds(row.integer(5));
  if (!row.isNull(6)) song.trackNumber = static_cast<int>(row.integer(6));
  if (!row.isNull(7)) song.discNumber = static_cast<int>(row.integer(7));
  song.releaseDate = dateFrom(row, 8);
  song.composerName = row.optionalText(9);
  song.artwork = artworkFrom(row, 10, 11);
  if (!row.isNull(12)) song.playParameters = PlayParameters{std::string(row.text(12)), "song"};
  song.file = row.optionalText(13);
  return song;
}

Album albumFrom(const Statement& row) {
  Album album{.id = std::string(row.text(0)),
              .title = std::string(row.text(1)),
              .artistName = std::string(row.text(2))};
  if (!row.isNull(3)) album.genreNames.emplace_back(row.text(3));
  album.releaseDate = dateFrom(row, 4);
  album.trackCount = static_cast<int>(row.integer(5));
  album.artwork = artworkFrom(row, 6, 7);
  album.playParameters = PlayParameters{album.id, "album"};
  return album;
}

LibraryPlaylist playlistFrom(const Statement& row) {
  std::string id(row.text(0));
  return LibraryPlaylist{.playlist = {.id = id,
                                      .name = std::string(row.text(1)),
                                      .curatorName = row.optionalText(4),
                                      .description = row.optionalText(2),
                                      .playParameters = PlayParameters{id, "playlist"}},
                         .canEdit = row.integer(3) != 0};
}

}  // namespace

LibraryStore::LibraryStore(sqlite3* connection) : connection_(connection), words_(connection) {}

std::string LibraryStore::nextID(const char* prefix) {
  auto next = statements_(connection_, "UPDATE sequence SET next = next + 1 RETURNING next - 1");
  next->step();
  return prefix + std::to_string(next->integer(0));
}

Song LibraryStore::save(const Song& song, std::int64_t now) {
  if (isLibrarySongID(song.id)) {
    const std::vector<Song> saved =
        all(statements_, connection_, kSongColumns + "WHERE id = ?1", songFrom, song.id);
    if (!saved.empty()) return saved.front();
  } else {
    const std::vector<Song> saved =
        all(statements_, connection_, kSongColumns + "WHERE catalog_id = ?1", songFrom, song.id);
    if (!saved.empty()) return saved.front();
  }
  const std::string id = nextID("i.");
  auto insert = statements_(
      connection_,
      "INSERT INTO song (id, catalog_id, title, artist, album, genre, duration_ms, number, disc, "
      "release_date, composer, artwork_url, artwork_color, play_id, added_at) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
  insert->bind(1, id)
      .bind(2, isLibrarySongID(song.id) ? std::nullopt : std::optional(song.id))
      .bind(3, song.title)
      .bind(4, song.artistName)
      .bind(5, song.albumTitle)
      .bind(6, song.genreNames.empty() ? std::nullopt : std::optional(song.genreNames.front()))
      .bind(7, song.duration ? std::optional<std::int64_t>(song.duration->count()) : std::nullopt)
      .bind(8, song.trackNumber)
      .bind(9, song.discNumber)
      .bind(10, dateText(song.releaseDate))
      .bind(11, song.composerName)
      .bind(12, song.artwork ? std::optional(song.artwork->urlTemplate) : std::nullopt)
      .bind(13, song.artwork ? song.artwork->backgroundColor : std::nullopt)
      .bind(14, song.playParameters ? std::optional(song.playParameters->id) : std::nullopt)
      .bind(15, now);
  insert->run();
  auto artist = statements_(connection_, "SELECT 1 FROM artist WHERE name = ?1");
  artist->bind(1, song.artistName);
  if (!artist->step()) {
    const std::string artistID = nextID("l.");
    auto add = statements_(connection_, "INSERT INTO artist (id, name) VALUES (?1, ?2)");
    add->bind(1, artistID).bind(2, song.artistName);
    add->run();
  }
  // A catalog song loved before it was saved joins "Favourite Songs" now.
  if (rating(song.id) == Rating::love) updateFavourite(id, true);
  return songs({id}).front();
}

std::vector<Song> LibraryStore::addSongs(const std::vector<Song>& songs, std::int64_t now) {
  Transaction transaction(connection_);
  std::vector<Song> saved;
  saved.reserve(songs.size());
  for (const Song& song : songs) saved.push_back(save(song, now));
  transaction.commit();
  return saved;
}

Album LibraryStore::addAlbum(const Album& album, const std::vector<Song>& songs, std::int64_t now) {
  Transaction transaction(connection_);
  for (const Song& song : songs) save(song, now);
  std::vector<Album> saved =
      all(statements_, connection_, kAlbumColumns + "AND (catalog_id = ?1 OR id = ?1)", albumFrom,
          album.id);
  if (saved.empty()) {
    const std::string id = nextID("l.");
    auto insert = statements_(
        connection_,
        "INSERT INTO album (id, catalog_id, title, artist, genre, release_date, track_count, "
        "artwork_url, artwork_color, added_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    insert->bind(1, id)
        .bind(2, isLibraryItemID(album.id) ? std::nullopt : std::optional(album.id))
        .bind(3, album.title)
        .bind(4, album.artistName)
        .bind(5, album.genreNames.empty() ? std::nullopt : std::optional(album.genreNames.front()))
        .bind(6, dateText(album.releaseDate))
        .bind(7, album.trackCount)
        .bind(8, album.artwork ? std::optional(album.artwork->urlTemplate) : std::nullopt)
        .bind(9, album.artwork ? album.artwork->backgroundColor : std::nullopt)
        .bind(10, now);
    insert->run();
    saved = all(statements_, connection_, kAlbumColumns + "AND id = ?1", albumFrom, id);
  }
  transaction.commit();
  return saved.front();
}

std::vector<Song> LibraryStore::songs(const std::vector<std::string>& ids) {
  std::vector<Song> found;
  std::unordered_set<std::string> seen;
  for (const std::string& id : ids) {
    if (!seen.insert(id).second) continue;
    for (Song& song :
         all(statements_, connection_, kSongColumns + "WHERE id = ?1 AND present", songFrom, id)) {
      found.push_back(std::move(song));
    }
  }
  return found;
}

std::optional<Album> LibraryStore::album(const std::string& id) {
  std::vector<Album> found =
      all(statements_, connection_, kAlbumColumns + "AND id = ?1", albumFrom, id);
  if (found.empty()) return std::nullopt;
  return std::move(found.front());
}

std::vector<Song> LibraryStore::albumSongs(const std::string& id) {
  // A file album's songs point at it; a saved catalog album's share its title and artist.
  std::vector<Song> found = all(
      statements_, connection_,
      kSongColumns + "WHERE album_id = ?1 AND present ORDER BY disc, number, path", songFrom, id);
  if (!found.empty()) return found;
  return all(statements_, connection_,
             kSongColumns +
                 "WHERE (album, artist) = (SELECT title, artist FROM album WHERE id = ?1 "
                 "AND NOT from_files) AND present ORDER BY disc, number, rowid",
             songFrom, id);
}

std::string LibraryStore::match(const std::string& text) const {
  std::string expression;
  for (const std::string& word : words_(text)) {
    if (!expression.empty()) expression += " AND ";
    addPhrase(expression, word, true);
  }
  return expression;
}

std::vector<Song> LibraryStore::searchSongs(const std::string& text, int limit) {
  const std::string words = match(text);
  if (words.empty()) {
    return all(
        statements_, connection_,
        kSongColumns +
            "WHERE present ORDER BY title COLLATE NOCASE, artist COLLATE NOCASE, id LIMIT ?1",
        songFrom, limit);
  }
  return all(statements_, connection_, searchSQL(kSongSelect, "song", "s", " AND s.present"),
             songFrom, words, limit);
}

std::vector<Album> LibraryStore::searchAlbums(const std::string& text, int limit) {
  const std::string words = match(text);
  if (words.empty()) {
    return all(statements_, connection_,
               kAlbumColumns + "ORDER BY title COLLATE NOCASE, artist COLLATE NOCASE, id LIMIT ?1",
               albumFrom, limit);
  }
  return all(statements_, connection_, searchSQL(kAlbumSelect, "album", "a", " AND a.present"),
             albumFrom, words, limit);
}

std::vector<Artist> LibraryStore::searchArtists(const std::string& text, int limit) {
  const std::string words = match(text);
  auto artistFrom = [](const Statement& row) {
    return Artist{.id = std::string(row.text(0)), .name = std::string(row.text(1))};
  };
  if (words.empty()) {
    return all(statements_, connection_,
               "SELECT id, name FROM artist ORDER BY name COLLATE NOCASE, id LIMIT ?1", artistFrom,
               limit);
  }
  return all(statements_, connection_, searchSQL("SELECT r.id, r.name ", "artist", "r", ""),
             artistFrom, words, limit);
}

std::vector<Playlist> LibraryStore::searchPlaylists(const std::string& text, int limit) {
  const std::string words = match(text);
  auto playlist = [](const Statement& row) { return playlistFrom(row).playlist; };
  if (words.empty()) {
    return all(statements_, connection_,
               kPlaylistColumns + "ORDER BY name COLLATE NOCASE, id LIMIT ?1", playlist, limit);
  }
  return all(statements_, connection_, searchSQL(kPlaylistSelect, "playlist", "p", ""), playlist,
             words, limit);
}

std::vector<LibraryPlaylist> LibraryStore::playlists(const std::optional<std::string>& id) {
  if (id) {
    return all(statements_, connection_, kPlaylistColumns + "WHERE id = ?1", playlistFrom, *id);
  }
  return all(statements_, connection_, kPlaylistColumns + "ORDER BY rowid", playlistFrom);
}

void LibraryStore::appendToPlaylist(const std::string& id, const std::vector<Song>& songs) {
  auto last = statements_(connection_,
                          "SELECT coalesce(max(position), 0) FROM playlist_entry "
                          "WHERE playlist_id = ?1");
  last->bind(1, id);
  last->step();
  std::int64_t position = last->integer(0);
  for (const Song& song : songs) {
    auto insert = statements_(
        connection_,
        "INSERT INTO playlist_entry (playlist_id, position, song_id) VALUES (?1, ?2, ?3)");
    insert->bind(1, id).bind(2, ++position).bind(3, song.id);
    insert->run();
  }
}

LibraryPlaylist LibraryStore::createPlaylist(const std::string& name,
                                             const std::optional<std::string>& description,
                                             const std::vector<Song>& songs, std::int64_t now) {
  Transaction transaction(connection_);
  const std::string id = nextID("p.");
  auto insert = statements_(connection_,
                            "INSERT INTO playlist (id, name, description, editable, created_at, "
                            "modified_at) VALUES (?1, ?2, ?3, 1, ?4, ?4)");
  insert->bind(1, id).bind(2, name).bind(3, description).bind(4, now);
  insert->run();
  std::vector<Song> saved;
  saved.reserve(songs.size());
  for (const Song& song : songs) saved.push_back(save(song, now));
  appendToPlaylist(id, saved);
  transaction.commit();
  return playlists(id).front();
}

LibraryPlaylist LibraryStore::addPlaylist(const Playlist& playlist, const std::vector<Song>& songs,
                                          std::int64_t now) {
  Transaction transaction(connection_);
  std::vector<LibraryPlaylist> saved =
      all(statements_, connection_, kPlaylistColumns + "WHERE catalog_id = ?1", playlistFrom,
          playlist.id);
  if (!saved.empty()) return std::move(saved.front());
  const std::string id = nextID("p.");
  auto insert =
      statements_(connection_,
                  "INSERT INTO playlist (id, name, description, editable, created_at, "
                  "modified_at, catalog_id, curator) VALUES (?1, ?2, ?3, 0, ?4, ?4, ?5, ?6)");
  insert->bind(1, id)
      .bind(2, playlist.name)
      .bind(3, playlist.description)
      .bind(4, now)
      .bind(5, playlist.id)
      .bind(6, playlist.curatorName);
  insert->run();
  std::vector<Song> entries;
  entries.reserve(songs.size());
  for (const Song& song : songs) entries.push_back(save(song, now));
  appendToPlaylist(id, entries);
  transaction.commit();
  return playlists(id).front();
}

void LibraryStore::addToPlaylist(const std::string& id, const std::vector<Song>& songs,
                                 std::int64_t now) {
  Transaction transaction(connection_);
  const std::vector<LibraryPlaylist> found = playlists(id);
  if (found.empty()) {
    throw LibraryError(LibraryError::Reason::noSuchPlaylist, "No playlist with id " + id);
  }
  if (!found.front().canEdit) {
    throw LibraryError(LibraryError::Reason::notEditable,
                       "\"" + found.front().playlist.name + "\" can't be edited");
  }
  std::vector<Song> saved;
  saved.reserve(songs.size());
  for (const Song& song : songs) saved.push_back(save(song, now));
  appendToPlaylist(id, saved);
  auto touch = statements_(connection_, "UPDATE playlist SET modified_at = ?2 WHERE id = ?1");
  touch->bind(1, id).bind(2, now);
  touch->run();
  transaction.commit();
}

std::vector<Song> LibraryStore::playlistSongs(const std::string& id) {
  return all(statements_, connection_,
             std::string(kSongSelect) +
                 "FROM playlist_entry AS e JOIN song AS s ON s.id = e.song_id "
                 "WHERE e.playlist_id = ?1 ORDER BY e.position",
             songFrom, id);
}

void LibraryStore::updateFavourite(const std::string& songID, bool loved) {
  auto remove = statements_(connection_,
                            "DELETE FROM playlist_entry WHERE playlist_id = ?1 AND song_id = ?2");
  remove->bind(1, kFavouriteSongsID).bind(2, songID);
  remove->run();
  if (loved) appendToPlaylist(kFavouriteSongsID, {Song{.id = songID}});
}

void LibraryStore::rate(const std::string& id, const std::string& kind,
                        std::optional<Rating> rating, std::int64_t now) {
  Transaction transaction(connection_);
  if (rating) {
    auto set = statements_(connection_,
                           "INSERT INTO rating (item_id, kind, value, rated_at) "
                           "VALUES (?1, ?2, ?3, ?4) ON CONFLICT (item_id) DO UPDATE SET "
                           "kind = excluded.kind, value = excluded.value, "
                           "rated_at = excluded.rated_at");
    set->bind(1, id).bind(2, kind).bind(3, *rating == Rating::love ? 1 : -1).bind(4, now);
    set->run();
  } else {
    auto clear = statements_(connection_, "DELETE FROM rating WHERE item_id = ?1");
    clear->bind(1, id);
    clear->run();
  }
  // The library song this rating is about, if the song is saved.
  auto song = statements_(connection_, "SELECT id FROM song WHERE id = ?1 OR catalog_id = ?1");
  song->bind(1, id);
  if (song->step()) {
    const std::string songID(song->text(0));
    song->reset();
    updateFavourite(songID, rating == Rating::love);
  }
  transaction.commit();
}

std::optional<Rating> LibraryStore::rating(const std::string& id) {
  auto read = statements_(connection_, "SELECT value FROM rating WHERE item_id = ?1");
  read->bind(1, id);
  if (!read->step()) return std::nullopt;
  return read->integer(0) > 0 ? Rating::love : Rating::dislike;
}

void LibraryStore::recordPlay(const Song& song, const std::optional<PlayContext>& context,
                              std::int64_t now) {
  Transaction transaction(connection_);
  auto play = statements_(connection_,
                          "INSERT INTO play (song_id, played_at, container_id, container_kind, "
                          "container_name, container_artist) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  play->bind(1, song.id).bind(2, now);
  if (context) {
    play->bind(3, context->id)
        .bind(4, context->kind)
        .bind(5, context->name)
        .bind(6, context->artistName);
  }
  play->run();
  const std::int64_t playID = sqlite3_last_insert_rowid(connection_);
  auto remember = statements_(
      connection_,
      "INSERT INTO played_song (id, title, artist, album, genre, duration_ms, release_date, "
      "artwork_url, artwork_color, play_id, last_played, last_play) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12) ON CONFLICT (id) DO UPDATE SET "
      "title = excluded.title, artist = excluded.artist, album = excluded.album, "
      "genre = excluded.genre, duration_ms = excluded.duration_ms, "
      "release_date = excluded.release_date, artwork_url = excluded.artwork_url, "
      "artwork_color = excluded.artwork_color, play_id = excluded.play_id, "
      "last_played = excluded.last_played, last_play = excluded.last_play");
  remember->bind(1, song.id)
      .bind(2, song.title)
      .bind(3, song.artistName)
      .bind(4, song.albumTitle)
      .bind(5, song.genreNames.empty() ? std::nullopt : std::optional(song.genreNames.front()))
      .bind(6, song.duration ? std::optional<std::int64_t>(song.duration->count()) : std::nullopt)
      .bind(7, dateText(song.releaseDate))
      .bind(8, song.artwork ? std::optional(song.artwork->urlTemplate) : std::nullopt)
      .bind(9, song.artwork ? song.artwork->backgroundColor : std::nullopt)
      .bind(10, song.playParameters ? std::optional(song.playParameters->id) : std::nullopt)
      .bind(11, now)
      .bind(12, playID);
  remember->run();
  transaction.commit();
}

std::vector<Song> LibraryStore::recentlyPlayed(int limit) {
  return all(statements_, connection_,
             "SELECT p.id, p.title, p.artist, p.album, p.genre, p.duration_ms, NULL, NULL, "
             "p.release_date, NULL, p.artwork_url, p.artwork_color, "
             "CASE WHEN s.present = 0 THEN NULL ELSE p.play_id END, s.path FROM played_song AS p "
             "LEFT JOIN song AS s ON s.id = p.id "
             "ORDER BY p.last_played DESC, p.last_play DESC LIMIT ?1",
             songFrom, limit);
}

std::vector<RotationItem> LibraryStore::heavyRotation(int limit, std::int64_t since) {
  return all(
      statements_, connection_,
      "SELECT container_id, container_kind, "
      "coalesce((SELECT name FROM playlist WHERE id = container_id), container_name), "
      "container_artist, count(*) AS plays "
      "FROM play WHERE played_at >= ?1 AND container_id IS NOT NULL GROUP BY container_id "
      "ORDER BY plays DESC, max(played_at) DESC, max(id) DESC LIMIT ?2",
      [](const Statement& row) {
        return RotationItem{.item = {.id = std::string(row.text(0)),
                                     .kind = std::string(row.text(1)),
                                     .name = std::string(row.text(2)),
                                     .artistName = row.optionalText(3)},
                            .plays = static_cast<int>(row.integer(4))};
      },
      since, limit);
}

std::vector<AddedItem> LibraryStore::recentlyAdded(int limit) {
  struct Added {
    std::string kind;
    std::string id;
  };
  // A song on an album (a file's by its album id, a saved catalog song's by title and
  // artist) is listed as that album. What vanished is left out here, before the limit.
  const std::vector<Added> added = all(
      statements_, connection_,
      "SELECT 'album', id, added_at, rowid FROM album WHERE present "
      "UNION ALL SELECT 'playlist', id, created_at, rowid FROM playlist WHERE id != ?2 "
      "UNION ALL SELECT 'song', id, added_at, rowid FROM song AS s "
      "WHERE present AND album_id IS NULL AND NOT EXISTS (SELECT 1 FROM album AS a "
      "WHERE a.title = s.album AND a.artist = s.artist AND NOT a.from_files) "
      "ORDER BY 3 DESC, 4 DESC, 1 LIMIT ?1",
      [](const Statement& row) {
        return Added{std::string(row.text(0)), std::string(row.text(1))};
      },
      limit, kFavouriteSongsID);
  std::vector<AddedItem> items;
  items.reserve(added.size());
  for (const Added& item : added) {
    if (item.kind == "album") {
      if (auto found = album(item.id)) items.emplace_back(std::move(*found));
    } else if (item.kind == "playlist") {
      for (LibraryPlaylist& found : playlists(item.id)) items.emplace_back(std::move(found));
    } else {
      for (Song& found : songs({item.id})) items.emplace_back(std::move(found));
    }
  }
  return items;
}

}  // namespace melodock::detail
