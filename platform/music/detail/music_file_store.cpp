#include "platform/music/detail/music_file_store.h"

#include <set>

namespace melodock::detail {

std::vector<KnownMusicFile> MusicFileStore::files(const std::string& under) {
  auto read = [&](const CachedStatement& query) {
    std::vector<KnownMusicFile> found;
    while (query->step()) {
      found.push_back(KnownMusicFile{.path = std::string(query->text(0)),
                                     .stamp = {query->integer(1), query->integer(2)},
                                     .present = query->integer(3) != 0});
    }
    return found;
  };
  if (under.empty()) {
    return read(statements_(connection_,
                            "SELECT path, size, modified, present FROM song "
                            "WHERE path IS NOT NULL"));
  }
  // Inside a folder: the paths from "<folder>/" up to, not including, "<folder>0"
  // ('0' follows '/').
  auto query = statements_(connection_,
                           "SELECT path, size, modified, present FROM song "
                           "WHERE path = ?1 OR (path >= ?2 AND path < ?3)");
  query->bind(1, under).bind(2, under + "/").bind(3, under + "0");
  return read(query);
}

std::string MusicFileStore::nextID(const char* prefix) {
  auto next = statements_(connection_, "UPDATE sequence SET next = next + 1 RETURNING next - 1");
  next->step();
  return prefix + std::to_string(next->integer(0));
}

std::string MusicFileStore::album(const std::string& title, const std::string& artist,
                                  std::int64_t now) {
  auto find = statements_(connection_,
                          "SELECT id FROM album WHERE title = ?1 AND artist = ?2 AND from_files");
  find->bind(1, title).bind(2, artist);
  if (find->step()) return std::string(find->text(0));
  std::string id = nextID("l.");
  auto insert = statements_(connection_,
                            "INSERT INTO album (id, title, artist, track_count, added_at, "
                            "present, from_files) VALUES (?1, ?2, ?3, 0, ?4, 1, 1)");
  insert->bind(1, id).bind(2, title).bind(3, artist).bind(4, now);
  insert->run();
  return id;
}

void MusicFileStore::addArtist(const std::string& name) {
  auto artist = statements_(connection_, "SELECT 1 FROM artist WHERE name = ?1");
  artist->bind(1, name);
  if (artist->step()) return;
  const std::string id = nextID("l.");
  auto add = statements_(connection_, "INSERT INTO artist (id, name) VALUES (?1, ?2)");
  add->bind(1, id).bind(2, name);
  add->run();
}

std::optional<std::string> MusicFileStore::mark(const std::string& path, bool present) {
  auto update =
      statements_(connection_, "UPDATE song SET present = ?2 WHERE path = ?1 RETURNING album_id");
  update->bind(1, path).bind(2, present ? 1 : 0);
  std::optional<std::string> album;
  if (update->step()) album = update->optionalText(0);
  while (update->step()) {
  }
  return album;
}

void MusicFileStore::write(const ReadMusicFile& file, const std::optional<std::string>& albumID,
                           std::int64_t now) {
  const Song& song = file.tags.song;
  auto existing = statements_(connection_, "SELECT id FROM song WHERE path = ?1");
  existing->bind(1, file.path);
  std::string id;
  if (existing->step()) {
    id = std::string(existing->text(0));
  } else {
    id = nextID("i.");
  }
  existing->reset();
  // A new file's song plays as itself; added_at is when the file first appeared.
  auto upsert = statements_(
      connection_,
      "INSERT INTO song (id, title, artist, album, genre, duration_ms, number, disc, "
      "release_date, artwork_url, play_id, added_at, path, size, modified, first_seen, "
      "album_id, present) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?1, ?11, ?12, ?13, ?14, ?11, ?15, 1) "
      "ON CONFLICT (id) DO UPDATE SET title = excluded.title, artist = excluded.artist, "
      "album = excluded.album, genre = excluded.genre, duration_ms = excluded.duration_ms, "
      "number = excluded.number, disc = excluded.disc, release_date = excluded.release_date, "
      "artwork_url = excluded.artwork_url, size = excluded.size, modified = excluded.modified, "
      "album_id = excluded.album_id, present = 1");
  upsert->bind(1, id)
      .bind(2, song.title)
      .bind(3, song.artistName)
      .bind(4, song.albumTitle)
      .bind(5, song.genreNames.empty() ? std::nullopt : std::optional(song.genreNames.front()))
      .bind(6, song.duration ? std::optional<std::int64_t>(song.duration->count()) : std::nullopt)
      .bind(7, song.trackNumber)
      .bind(8, song.discNumber)
      .bind(9, song.releaseDate ? std::optional(releaseDateText(*song.releaseDate)) : std::nullopt)
      .bind(10, song.artwork ? std::optional(song.artwork->urlTemplate) : std::nullopt)
      .bind(11, now)
      .bind(12, file.path)
      .bind(13, file.stamp.size)
      .bind(14, file.stamp.modified)
      .bind(15, albumID);
  upsert->run();
}

void MusicFileStore::recount(const std::string& albumID) {
  auto update = statements_(
      connection_,
      "UPDATE album SET "
      "track_count = (SELECT count(*) FROM song WHERE album_id = ?1 AND present), "
      "present = EXISTS (SELECT 1 FROM song WHERE album_id = ?1 AND present), "
      "release_date = (SELECT min(release_date) FROM song WHERE album_id = ?1 AND present), "
      "genre = (SELECT genre FROM song WHERE album_id = ?1 AND present AND genre IS NOT NULL "
      "ORDER BY disc, number LIMIT 1), "
      "artwork_url = (SELECT artwork_url FROM song WHERE album_id = ?1 AND present "
      "AND artwork_url IS NOT NULL ORDER BY disc, number LIMIT 1) "
      "WHERE id = ?1");
  update->bind(1, albumID);
  update->run();
}

void MusicFileStore::store(const MusicFileChanges& changes, std::int64_t now) {
  Transaction transaction(connection_);
  std::set<std::string> albums;
  for (const ReadMusicFile& file : changes.read) {
    // A changed file may have moved to another album: the old one is counted again.
    if (auto old = mark(file.path, true)) albums.insert(*old);
    std::optional<std::string> albumID;
    if (file.tags.song.albumTitle) {
      albumID = album(*file.tags.song.albumTitle, file.tags.albumArtist, now);
      albums.insert(*albumID);
    }
    write(file, albumID, now);
    addArtist(file.tags.song.artistName);
    if (file.tags.albumArtist != file.tags.song.artistName) addArtist(file.tags.albumArtist);
  }
  for (const std::string& path : changes.returned) {
    if (auto album = mark(path, true)) albums.insert(*album);
  }
  for (const std::string& path : changes.vanished) {
    if (auto album = mark(path, false)) albums.insert(*album);
  }
  for (const std::string& album : albums) recount(album);
  transaction.commit();
}

}  // namespace melodock::detail
