// The catalog database's layout, shared by the builder and the reader.
//
// Search: each searchable kind has a contentless FTS5 table whose rowid is the item's
// popularity rank (1 = most popular), so a search reads matches most popular first and
// can stop early. `search_term` holds how many rows of each FTS table hold each
// token, the document frequencies that relevance needs, so that a query never counts
// its matches, and `search_length` each row's length in tokens (one byte per rowid, in
// rowid order) with the table's totals, so that relevance reads no table per row.
#pragma once

namespace melodock::detail {

// PRAGMA user_version of a catalog file this code reads.
inline constexpr int kCatalogFormat = 1;

// The FTS tables by source.
inline constexpr const char* kSearchTables[] = {"song_fts", "album_fts", "artist_fts",
                                                "playlist_fts", "station_fts"};

// The FTS tables, in `search_term.source` order.
enum class SearchSource { songs = 0, albums = 1, artists = 2, playlists = 3, stations = 4 };

inline constexpr const char* kCatalogSchema = R"sql(
CREATE TABLE artist (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  genres TEXT NOT NULL DEFAULT '',           -- tab-separated, most songs first
  popularity INTEGER NOT NULL DEFAULT 0,
  search_rank INTEGER
);
CREATE TABLE album (
  id INTEGER PRIMARY KEY,
  title TEXT NOT NULL,
  artist_id INTEGER NOT NULL,
  genres TEXT NOT NULL DEFAULT '',
  release_date TEXT,                         -- YYYY or YYYY-MM-DD: the latest of its tracks
  track_count INTEGER NOT NULL DEFAULT 0,    -- songs and music videos
  popularity INTEGER NOT NULL DEFAULT 0,
  search_rank INTEGER
);
CREATE TABLE track (
  id INTEGER PRIMARY KEY,
  album_id INTEGER NOT NULL,
  artist_id INTEGER NOT NULL,
  is_video INTEGER NOT NULL,
  title TEXT NOT NULL,
  genre TEXT,
  composer TEXT,
  duration_ms INTEGER,
  disc INTEGER,
  number INTEGER,
  release_date TEXT,
  playable INTEGER NOT NULL,
  purchases INTEGER NOT NULL,
  popularity INTEGER NOT NULL,               -- purchases first, radio plays break ties
  search_rank INTEGER                        -- songs only
);
CREATE TABLE playlist (
  search_rank INTEGER PRIMARY KEY,
  id TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL,
  curator TEXT,
  popularity INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE playlist_track (
  playlist_id TEXT NOT NULL,
  position INTEGER NOT NULL,
  track_id INTEGER NOT NULL,
  PRIMARY KEY (playlist_id, position)
) WITHOUT ROWID;
CREATE TABLE station (
  search_rank INTEGER PRIMARY KEY,
  id TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL,
  live INTEGER NOT NULL,
  seed_kind TEXT NOT NULL,                   -- genre, artist or chart
  seed TEXT NOT NULL
);
CREATE TABLE chart (position INTEGER PRIMARY KEY, track_id INTEGER NOT NULL);
CREATE TABLE artist_genre (
  artist_id INTEGER NOT NULL,
  genre TEXT NOT NULL,
  share REAL NOT NULL,                       -- of the artist's songs
  PRIMARY KEY (artist_id, genre)
) WITHOUT ROWID;
CREATE TABLE artist_buyer (
  artist_id INTEGER NOT NULL,
  customer INTEGER NOT NULL,
  PRIMARY KEY (artist_id, customer)
) WITHOUT ROWID;
CREATE TABLE search_term (
  source INTEGER NOT NULL,
  term TEXT NOT NULL,
  docs INTEGER NOT NULL,
  PRIMARY KEY (source, term)
) WITHOUT ROWID;
CREATE TABLE search_length (
  source INTEGER PRIMARY KEY,
  rows INTEGER NOT NULL,
  tokens INTEGER NOT NULL,
  lengths BLOB NOT NULL                      -- byte i: tokens of rowid i + 1, at most 255
);
CREATE VIRTUAL TABLE song_fts USING fts5(title, artist, album, content='',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE album_fts USING fts5(title, artist, content='',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE artist_fts USING fts5(name, content='',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE playlist_fts USING fts5(name, curator, content='',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
CREATE VIRTUAL TABLE station_fts USING fts5(name, content='',
  tokenize='unicode61 remove_diacritics 2', prefix='2 3');
)sql";

// Built after the rows are in: indexes are cheaper to build in one go.
inline constexpr const char* kCatalogIndexes = R"sql(
CREATE UNIQUE INDEX track_by_rank ON track (search_rank);
CREATE INDEX track_by_album ON track (album_id, disc, number, id);
CREATE INDEX track_by_artist ON track (artist_id, is_video, popularity DESC, id);
CREATE INDEX track_by_genre ON track (genre, is_video, playable, popularity DESC, id);
CREATE UNIQUE INDEX album_by_rank ON album (search_rank);
CREATE INDEX album_by_artist ON album (artist_id);
CREATE UNIQUE INDEX artist_by_rank ON artist (search_rank);
CREATE INDEX artist_genre_by_genre ON artist_genre (genre, artist_id, share);
CREATE INDEX artist_buyer_by_customer ON artist_buyer (customer, artist_id);
)sql";

}  // namespace melodock::detail
