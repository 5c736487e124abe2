-- A library as the first released schema wrote it.
CREATE TABLE sequence (next INTEGER NOT NULL);
INSERT INTO sequence VALUES (5);
CREATE TABLE song (id TEXT NOT NULL UNIQUE, catalog_id TEXT UNIQUE, title TEXT NOT NULL,
  artist TEXT NOT NULL, album TEXT, genre TEXT, duration_ms INTEGER, number INTEGER,
  disc INTEGER, release_date TEXT, composer TEXT, artwork_url TEXT, artwork_color TEXT,
  play_id TEXT, added_at INTEGER NOT NULL);
CREATE TABLE album (id TEXT NOT NULL UNIQUE, catalog_id TEXT UNIQUE, title TEXT NOT NULL,
  artist TEXT NOT NULL, genre TEXT, release_date TEXT, track_count INTEGER NOT NULL,
  artwork_url TEXT, artwork_color TEXT, added_at INTEGER NOT NULL);
CREATE TABLE artist (id TEXT NOT NULL UNIQUE, name TEXT NOT NULL UNIQUE);
CREATE TABLE playlist (id TEXT NOT NULL UNIQUE, name TEXT NOT NULL, description TEXT,
  editable INTEGER NOT NULL, created_at INTEGER NOT NULL, modified_at INTEGER NOT NULL);
CREATE TABLE playlist_entry (playlist_id TEXT NOT NULL, position INTEGER NOT NULL,
  song_id TEXT NOT NULL, PRIMARY KEY (playlist_id, position)) WITHOUT ROWID;
CREATE TABLE rating (item_id TEXT PRIMARY KEY, kind TEXT NOT NULL, value INTEGER NOT NULL,
  rated_at INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE played_song (id TEXT PRIMARY KEY, title TEXT NOT NULL, artist TEXT NOT NULL,
  album TEXT, genre TEXT, duration_ms INTEGER, release_date TEXT, artwork_url TEXT,
  artwork_color TEXT, play_id TEXT) WITHOUT ROWID;
CREATE TABLE play (id INTEGER PRIMARY KEY, song_id TEXT NOT NULL, played_at INTEGER NOT NULL);
INSERT INTO playlist VALUES ('l.1', 'Favourite Songs', NULL, 0, 0, 0);
INSERT INTO playlist VALUES ('p.4', 'Old Mix', NULL, 1, 10, 10);
INSERT INTO song VALUES ('i.2', '1100000063', 'Desafinado', 'Antônio Carlos Jobim', 'Warner',
  'Latin', 185000, 1, 1, '1959', NULL, NULL, NULL, '1100000063', 10);
INSERT INTO artist VALUES ('l.3', 'Antônio Carlos Jobim');
INSERT INTO playlist_entry VALUES ('p.4', 1, 'i.2');
INSERT INTO played_song VALUES ('i.2', 'Desafinado', 'Antônio Carlos Jobim', 'Warner', 'Latin',
  185000, '1959', NULL, NULL, '1100000063');
INSERT INTO play VALUES (1, 'i.2', 100);
INSERT INTO play VALUES (2, 'i.2', 200);
PRAGMA user_version = 1;
