#include "platform/music/library/detail/music_file_store.h"

namespace melodock::detail {

// A batch is written through staging tables, one statement per table. Each statement
// that writes a searchable table through its trigger makes FTS5 write its pending terms
// out (it does so at every statement savepoint): a statement per song cost ~125k
// instructions per song in that alone, three quarters of a scan's database work.

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

void MusicFileStore::stageTables() {
  if (staged_) return;
  // Made outside any transaction, so that a batch rolled back does not take them along.
  execute(connection_,
          "CREATE TEMP TABLE IF NOT EXISTS scanned_song (id TEXT, title TEXT, artist TEXT, "
          "album TEXT, genre TEXT, duration_ms INTEGER, number INTEGER, disc INTEGER, "
          "release_date TEXT, artwork_url TEXT, path TEXT, size INTEGER, modified INTEGER, "
          "album_id TEXT, album_artist TEXT);"
          "CREATE TEMP TABLE IF NOT EXISTS scanned_album (id TEXT, title TEXT, artist TEXT, "
          "folder TEXT);"
          "CREATE TEMP TABLE IF NOT EXISTS scanned_artist (id TEXT, name TEXT);"
          "CREATE TEMP TABLE IF NOT EXISTS scanned_path (path TEXT);");
  staged_ = true;
}

std::string MusicFileStore::nextID(Batch& batch, const char* prefix) {
  return prefix + std::to_string(batch.nextID++);
}

std::string MusicFileStore::album(Batch& batch, const std::string& folder, const std::string& title,
                                  const std::string& artist) {
  auto key = std::make_pair(folder, title);
  if (const auto found = batch.albumIDs.find(key); found != batch.albumIDs.end()) {
    return found->second;
  }
  auto find = statements_(connection_,
                          "SELECT id FROM album WHERE folder = ?1 AND title = ?2 AND from_files "
                          "ORDER BY rowid LIMIT 1");
  find->bind(1, folder).bind(2, title);
  std::string id;
  if (find->step()) {
    id = std::string(find->text(0));
  } else {
    id = nextID(batch, "l.");
    auto stage = statements_(connection_, "INSERT INTO scanned_album VALUES (?1, ?2, ?3, ?4)");
    stage->bind(1, id).bind(2, title).bind(3, artist).bind(4, folder);
    stage->run();
  }
  batch.albumIDs.emplace(std::move(key), id);
  return id;
}

void MusicFileStore::addArtist(Batch& batch, const std::string& name) {
  if (!batch.artists.insert(name).second) return;
  auto artist = statements_(connection_, "SELECT 1 FROM artist WHERE name = ?1");
  artist->bind(1, name);
  if (artist->step()) return;
  auto stage = statements_(connection_, "INSERT INTO scanned_artist VALUES (?1, ?2)");
  stage->bind(1, nextID(batch, "l.")).bind(2, name);
  stage->run();
}

void MusicFileStore::stage(Batch& batch, const ReadMusicFile& file) {
  const Song& song = file.tags.song;
  std::optional<std::string> albumID;
  if (song.albumTitle) {
    const std::string folder = file.path.substr(0, file.path.rfind('/'));
    albumID =
        album(batch, folder, *song.albumTitle, file.tags.albumArtist.value_or(song.artistName));
    batch.albums.insert(*albumID);
  }
  std::string id;
  if (const auto staged = batch.songIDs.find(file.path); staged != batch.songIDs.end()) {
    id = staged->second;
  } else {
    // A changed file may have moved to another album: the old one is counted again.
    auto existing = statements_(connection_, "SELECT id, album_id FROM song WHERE path = ?1");
    existing->bind(1, file.path);
    if (existing->step()) {
      id = std::string(existing->text(0));
      if (auto old = existing->optionalText(1)) batch.albums.insert(std::move(*old));
    } else {
      id = nextID(batch, "i.");
    }
    batch.songIDs.emplace(file.path, id);
  }
  auto row = statements_(connection_,
                         "INSERT INTO scanned_song VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                         "?10, ?11, ?12, ?13, ?14, ?15)");
  row->bind(1, id)
      .bind(2, song.title)
      .bind(3, song.artistName)
      .bind(4, song.albumTitle)
      .bind(5, song.genreNames.empty() ? std::nullopt : std::optional(song.genreNames.front()))
      .bind(6, song.duration ? std::optional<std::int64_t>(song.duration->count()) : std::nullopt)
      .bind(7, song.trackNumber)
      .bind(8, song.discNumber)
      .bind(9, song.releaseDate ? std::optional(releaseDateText(*song.releaseDate)) : std::nullopt)
      .bind(10, song.artwork ? std::optional(song.artwork->urlTemplate) : std::nullopt)
      .bind(11, file.path)
      .bind(12, file.stamp.size)
      .bind(13, file.stamp.modified)
      .bind(14, albumID)
      .bind(15, file.tags.albumArtist);
  row->run();
  addArtist(batch, song.artistName);
  if (file.tags.albumArtist && *file.tags.albumArtist != song.artistName) {
    addArtist(batch, *file.tags.albumArtist);
  }
}

void MusicFileStore::mark(Batch& batch, const std::vector<std::string>& paths, bool present) {
  if (paths.empty()) return;
  for (const std::string& path : paths) {
    auto stage = statements_(connection_, "INSERT INTO scanned_path VALUES (?1)");
    stage->bind(1, path);
    stage->run();
  }
  auto albums = statements_(connection_,
                            "SELECT DISTINCT album_id FROM song WHERE album_id IS NOT NULL "
                            "AND path IN (SELECT path FROM scanned_path)");
  while (albums->step()) batch.albums.emplace(albums->text(0));
  auto update = statements_(
      connection_, "UPDATE song SET present = ?1 WHERE path IN (SELECT path FROM scanned_path)");
  update->bind(1, present ? 1 : 0);
  update->run();
  statements_(connection_, "DELETE FROM scanned_path")->run();
}

void MusicFileStore::recount(const std::string& albumID) {
  // The artist: the album artist its files name most, else their one artist, else
  // Various Artists; an album with no file present keeps the one it had.
  auto update = statements_(
      connection_,
      "UPDATE album SET "
      "artist = coalesce((SELECT album_artist FROM song WHERE album_id = ?1 AND present "
      "AND album_artist IS NOT NULL GROUP BY album_artist "
      "ORDER BY count(*) DESC, min(disc), min(number) LIMIT 1), "
      "(SELECT CASE WHEN count(DISTINCT artist) > 1 THEN ?2 ELSE min(artist) END "
      "FROM song WHERE album_id = ?1 AND present), artist), "
      "track_count = (SELECT count(*) FROM song WHERE album_id = ?1 AND present), "
      "present = EXISTS (SELECT 1 FROM song WHERE album_id = ?1 AND present), "
      "release_date = (SELECT min(release_date) FROM song WHERE album_id = ?1 AND present), "
      "genre = (SELECT genre FROM song WHERE album_id = ?1 AND present AND genre IS NOT NULL "
      "ORDER BY disc, number LIMIT 1), "
      "artwork_url = (SELECT artwork_url FROM song WHERE album_id = ?1 AND present "
      "AND artwork_url IS NOT NULL ORDER BY disc, number LIMIT 1) "
      "WHERE id = ?1");
  update->bind(1, albumID).bind(2, kVariousArtists);
  update->run();
}

void MusicFileStore::store(const MusicFileChanges& changes, std::int64_t now) {
  stageTables();
  Transaction transaction(connection_);
  Batch batch;
  {
    auto next = statements_(connection_, "SELECT next FROM sequence");
    next->step();
    batch.nextID = next->integer(0);
  }
  for (const ReadMusicFile& file : changes.read) stage(batch, file);
  if (!changes.read.empty()) {
    statements_(connection_,
                "INSERT INTO artist (id, name) SELECT id, name FROM scanned_artist ORDER BY rowid")
        ->run();
    auto albums = statements_(connection_,
                              "INSERT INTO album (id, title, artist, track_count, added_at, "
                              "present, from_files, folder) SELECT id, title, artist, 0, ?1, 1, "
                              "1, folder FROM scanned_album ORDER BY rowid");
    albums->bind(1, now);
    albums->run();
    // A new file's song plays as itself; added_at is when the file first appeared.
    auto songs = statements_(
        connection_,
        "INSERT INTO song (id, title, artist, album, genre, duration_ms, number, disc, "
        "release_date, artwork_url, play_id, added_at, path, size, modified, first_seen, "
        "album_id, album_artist, present) "
        "SELECT id, title, artist, album, genre, duration_ms, number, disc, release_date, "
        "artwork_url, id, ?1, path, size, modified, ?1, album_id, album_artist, 1 "
        "FROM scanned_song "
        "WHERE true ORDER BY rowid "
        "ON CONFLICT (id) DO UPDATE SET title = excluded.title, artist = excluded.artist, "
        "album = excluded.album, genre = excluded.genre, duration_ms = excluded.duration_ms, "
        "number = excluded.number, disc = excluded.disc, release_date = excluded.release_date, "
        "artwork_url = excluded.artwork_url, size = excluded.size, modified = excluded.modified, "
        "album_id = excluded.album_id, album_artist = excluded.album_artist, present = 1");
    songs->bind(1, now);
    songs->run();
    for (const char* clear :
         {"DELETE FROM scanned_song", "DELETE FROM scanned_album", "DELETE FROM scanned_artist"}) {
      statements_(connection_, clear)->run();
    }
  }
  mark(batch, changes.returned, true);
  mark(batch, changes.vanished, false);
  for (const std::string& album : batch.albums) recount(album);
  auto sequence = statements_(connection_, "UPDATE sequence SET next = ?1");
  sequence->bind(1, batch.nextID);
  sequence->run();
  transaction.commit();
}

}  // namespace melodock::detail
