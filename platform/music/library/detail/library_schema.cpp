#include "platform/music/library/detail/library_schema.h"

#include <stdexcept>
#include <string>

#include "platform/music/catalog/statement.h"

namespace melodock::detail {
namespace {

// Version 1: songs ("i."), albums, artists and library-only playlists ("l."), the
// user's playlists ("p."), ratings and play history. Ids of all kinds share one
// sequence, so no two items ever have the same id.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE sequence (next INTEGER NOT NULL);
INSERT INTO sequence VALUES (2);
CREATE TABLE song (
  id TEXT NOT NULL UNIQUE,
  catalog_id TEXT UNIQUE,
  title TEXT NOT NULL,
  artist TEXT NOT NULL,
  album TEXT,
  genre TEXT,
  duration_ms INTEGER,
  number INTEGER,
  disc INTEGER,
  release_date TEXT,
  composer TEXT,
  artwork_url TEXT,
  artwork_color TEXT,
  play_id TEXT,
  added_at INTEGER NOT NULL
);
CREATE TABLE album (
  id TEXT NOT NULL UNIQUE,
  catalog_id TEXT UNIQUE,
  title TEXT NOT NULL,
  artist TEXT NOT NULL,
  genre TEXT,
  release_date TEXT,
  track_count INTEGER NOT NULL,
  artwork_url TEXT,
  artwork_color TEXT,
  added_at INTEGER NOT NULL
);
CREATE TABLE artist (id TEXT NOT NULL UNIQUE, name TEXT NOT NULL UNIQUE);
CREATE TABLE playlist (
  id TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL,
  description TEXT,
  editable INTEGER NOT NULL,
  created_at INTEGER NOT NULL,
  modified_at INTEGER NOT NULL
);
CREATE TABLE playlist_entry (
  playlist_id TEXT NOT NULL,
  position INTEGER NOT NULL,
  song_id TEXT NOT NULL,
  PRIMARY KEY (playlist_id, position)
) WITHOUT ROWID;
CREATE TABLE rating (
  item_id TEXT PRIMARY KEY,
  kind TEXT NOT NULL,
  value INTEGER NOT NULL,
  rated_at INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE played_song (
  id TEXT PRIMARY KEY,
  title TEXT NOT NULL,
  artist TEXT NOT NULL,
  album TEXT,
  genre TEXT,
  duration_ms INTEGER,
  release_date TEXT,
  artwork_url TEXT,
  artwork_color TEXT,
  play_id TEXT
) WITHOUT ROWID;
CREATE TABLE play (id INTEGER PRIMARY KEY, song_id TEXT NOT NULL, played_at INTEGER NOT NULL);
INSERT INTO playlist VALUES ('l.1', 'Favourite Songs', NULL, 0, 0, 0);
)sql";

// Version 2: what a play was part of (an album or a playlist), for heavy rotation; each
// played song's latest play, for recently played without reading every play; and
// search over songs, albums, artists and playlists, kept in step by triggers.
constexpr const char* kVersion2 = R"sql(
ALTER TABLE play ADD COLUMN container_id TEXT;
ALTER TABLE play ADD COLUMN container_kind TEXT;
ALTER TABLE play ADD COLUMN container_name TEXT;
ALTER TABLE play ADD COLUMN container_artist TEXT;
ALTER TABLE played_song ADD COLUMN last_played INTEGER;
ALTER TABLE played_song ADD COLUMN last_play INTEGER;
UPDATE played_song SET last_played = (SELECT max(played_at) FROM play WHERE song_id = played_song.id),
                       last_play = (SELECT max(id) FROM play WHERE song_id = played_song.id);
CREATE INDEX played_song_by_time ON played_song (last_played DESC, last_play DESC);
CREATE INDEX play_by_time ON play (played_at);
CREATE INDEX play_by_song ON play (song_id, played_at);
CREATE INDEX song_by_title ON song (title COLLATE NOCASE, artist COLLATE NOCASE, id);
CREATE INDEX album_by_title ON album (title COLLATE NOCASE, artist COLLATE NOCASE, id);
CREATE INDEX album_by_name ON album (title, artist);
CREATE INDEX song_by_album ON song (album, artist, disc, number);

CREATE VIRTUAL TABLE song_search USING fts5(title, artist, album, content='song',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE album_search USING fts5(title, artist, content='album',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE artist_search USING fts5(name, content='artist',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE playlist_search USING fts5(name, content='playlist',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
INSERT INTO song_search (song_search) VALUES ('rebuild');
INSERT INTO album_search (album_search) VALUES ('rebuild');
INSERT INTO artist_search (artist_search) VALUES ('rebuild');
INSERT INTO playlist_search (playlist_search) VALUES ('rebuild');

CREATE TRIGGER song_added AFTER INSERT ON song BEGIN
  INSERT INTO song_search (rowid, title, artist, album)
  VALUES (new.rowid, new.title, new.artist, new.album);
END;
CREATE TRIGGER song_removed AFTER DELETE ON song BEGIN
  INSERT INTO song_search (song_search, rowid, title, artist, album)
  VALUES ('delete', old.rowid, old.title, old.artist, old.album);
END;
CREATE TRIGGER album_added AFTER INSERT ON album BEGIN
  INSERT INTO album_search (rowid, title, artist) VALUES (new.rowid, new.title, new.artist);
END;
CREATE TRIGGER album_removed AFTER DELETE ON album BEGIN
  INSERT INTO album_search (album_search, rowid, title, artist)
  VALUES ('delete', old.rowid, old.title, old.artist);
END;
CREATE TRIGGER artist_added AFTER INSERT ON artist BEGIN
  INSERT INTO artist_search (rowid, name) VALUES (new.rowid, new.name);
END;
CREATE TRIGGER playlist_added AFTER INSERT ON playlist BEGIN
  INSERT INTO playlist_search (rowid, name) VALUES (new.rowid, new.name);
END;
CREATE TRIGGER playlist_renamed AFTER UPDATE OF name ON playlist BEGIN
  INSERT INTO playlist_search (playlist_search, rowid, name) VALUES ('delete', old.rowid, old.name);
  INSERT INTO playlist_search (rowid, name) VALUES (new.rowid, new.name);
END;
)sql";

// Version 3: songs read from the user's music files. A file's song keeps its row (and
// so its id) while the file keeps its path; a vanished file's song stays, not present,
// so that playlists and history still name it and it comes back with the file. Songs
// of a file album point at it by id, since a compilation's songs have other artists.
constexpr const char* kVersion3 = R"sql(
ALTER TABLE song ADD COLUMN path TEXT;
ALTER TABLE song ADD COLUMN size INTEGER;
ALTER TABLE song ADD COLUMN modified INTEGER;
ALTER TABLE song ADD COLUMN first_seen INTEGER;
ALTER TABLE song ADD COLUMN album_id TEXT;
ALTER TABLE song ADD COLUMN present INTEGER NOT NULL DEFAULT 1;
ALTER TABLE album ADD COLUMN present INTEGER NOT NULL DEFAULT 1;
ALTER TABLE album ADD COLUMN from_files INTEGER NOT NULL DEFAULT 0;
CREATE UNIQUE INDEX song_by_path ON song (path);
CREATE INDEX song_by_album_id ON song (album_id) WHERE album_id IS NOT NULL;
CREATE INDEX song_by_added ON song (added_at);
CREATE INDEX album_by_added ON album (added_at);

CREATE TRIGGER song_changed AFTER UPDATE OF title, artist, album ON song BEGIN
  INSERT INTO song_search (song_search, rowid, title, artist, album)
  VALUES ('delete', old.rowid, old.title, old.artist, old.album);
  INSERT INTO song_search (rowid, title, artist, album)
  VALUES (new.rowid, new.title, new.artist, new.album);
END;
)sql";

// Version 4: catalog playlists saved to the library: "p." playlists that cannot be
// edited, found again by their catalog id so that saving twice changes nothing.
constexpr const char* kVersion4 = R"sql(
ALTER TABLE playlist ADD COLUMN catalog_id TEXT;
ALTER TABLE playlist ADD COLUMN curator TEXT;
CREATE UNIQUE INDEX playlist_by_catalog_id ON playlist (catalog_id) WHERE catalog_id IS NOT NULL;
)sql";

// Version 5: a file album is the files of one folder with one album title, whatever
// album artists they name; each song keeps the album artist its file names. The albums
// that one folder's files were split into become the first of them, and every file is
// read again at the next scan, so that its album learns the album artists.
constexpr const char* kVersion5 = R"sql(
ALTER TABLE song ADD COLUMN album_artist TEXT;
ALTER TABLE album ADD COLUMN folder TEXT;
UPDATE album SET folder = (
  SELECT substr(path, 1, length(rtrim(path, replace(path, '/', ''))) - 1)
  FROM song WHERE album_id = album.id ORDER BY rowid LIMIT 1) WHERE from_files;
UPDATE song SET album_id = (
  SELECT first.id FROM album AS split
  JOIN album AS first ON first.from_files AND first.folder = split.folder AND first.title = split.title
  WHERE split.id = song.album_id ORDER BY first.rowid LIMIT 1)
WHERE album_id IN (SELECT id FROM album WHERE from_files AND folder IS NOT NULL);
DELETE FROM album WHERE from_files AND EXISTS (
  SELECT 1 FROM album AS first WHERE first.from_files AND first.folder = album.folder
  AND first.title = album.title AND first.rowid < album.rowid);
UPDATE album SET track_count = (SELECT count(*) FROM song WHERE album_id = album.id AND present)
WHERE from_files;
UPDATE song SET size = -1 WHERE path IS NOT NULL;
CREATE INDEX album_by_folder ON album (folder, title) WHERE from_files;
CREATE TRIGGER album_changed AFTER UPDATE OF title, artist ON album
WHEN old.title IS NOT new.title OR old.artist IS NOT new.artist BEGIN
  INSERT INTO album_search (album_search, rowid, title, artist)
  VALUES ('delete', old.rowid, old.title, old.artist);
  INSERT INTO album_search (rowid, title, artist) VALUES (new.rowid, new.title, new.artist);
END;
)sql";

// Version 6: "Favourite Songs" is a "p." playlist that cannot be edited, as the web API
// lists it, so that an agent adding to it is told to love the song instead. Its number
// stays (no other item has it: the sequence starts after it); what named it by its old
// id (ratings, plays) names the new one.
constexpr const char* kVersion6 = R"sql(
UPDATE playlist SET id = 'p.1' WHERE id = 'l.1';
UPDATE playlist_entry SET playlist_id = 'p.1' WHERE playlist_id = 'l.1';
UPDATE rating SET item_id = 'p.1' WHERE item_id = 'l.1';
UPDATE play SET container_id = 'p.1' WHERE container_id = 'l.1';
)sql";

// kMigrations[v] takes a file from version v to v + 1.
constexpr const char* kMigrations[] = {kVersion1, kVersion2, kVersion3,
                                       kVersion4, kVersion5, kVersion6};
static_assert(std::size(kMigrations) == kLibraryVersion);

int version(sqlite3* connection) {
  Statement read(connection, "PRAGMA user_version");
  read.step();
  return static_cast<int>(read.integer(0));
}

}  // namespace

void migrateLibrary(sqlite3* connection) {
  // The version is read inside each transaction: another process may have migrated
  // the file in the meantime.
  for (;;) {
    execute(connection, "BEGIN IMMEDIATE");
    try {
      const int found = version(connection);
      if (found > kLibraryVersion) {
        throw std::runtime_error("the library has schema version " + std::to_string(found) +
                                 ", newer than this program's " + std::to_string(kLibraryVersion));
      }
      if (found == kLibraryVersion) {
        execute(connection, "COMMIT");
        return;
      }
      execute(connection, kMigrations[found]);
      execute(connection, ("PRAGMA user_version = " + std::to_string(found + 1)).c_str());
      execute(connection, "COMMIT");
    } catch (...) {
      execute(connection, "ROLLBACK");
      throw;
    }
  }
}

}  // namespace melodock::detail
