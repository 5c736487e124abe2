#include "platform/music/catalog/catalog_builder.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "platform/music/catalog/database.h"
#include "platform/music/catalog/detail/catalog_schema.h"
#include "platform/music/catalog/detail/tsv_reader.h"
#include "platform/music/catalog/statement.h"

namespace melodock {
namespace {

using detail::execute;
using detail::Statement;
using detail::TsvReader;

// Radio plays stay below this, so they only break ties between equal purchase counts.
constexpr std::int64_t kPurchaseWeight = 1000;

struct Closer {
  void operator()(sqlite3* connection) const { sqlite3_close_v2(connection); }
};

void loadArtists(sqlite3* db, const std::filesystem::path& folder, CatalogBuildSummary& summary) {
  TsvReader in(folder / "artists.tsv", {"id", "name"});
  Statement insert(db, "INSERT INTO artist (id, name) VALUES (?, ?)");
  while (in.next()) {
    insert.bind(1, in.integer(0)).bind(2, in.text(1)).run();
    insert.reset();
    ++summary.artists;
  }
}

std::unordered_map<std::int64_t, std::int64_t> loadAlbums(sqlite3* db,
                                                          const std::filesystem::path& folder,
                                                          CatalogBuildSummary& summary) {
  std::unordered_map<std::int64_t, std::int64_t> artistOfAlbum;
  TsvReader in(folder / "albums.tsv", {"id", "title", "artist_id"});
  Statement insert(db, "INSERT INTO album (id, title, artist_id) VALUES (?, ?, ?)");
  while (in.next()) {
    insert.bind(1, in.integer(0)).bind(2, in.text(1)).bind(3, in.integer(2)).run();
    insert.reset();
    artistOfAlbum[in.integer(0)] = in.integer(2);
    ++summary.albums;
  }
  return artistOfAlbum;
}

// Counts the purchases of each track and keeps who bought what for the similarity of
// artists.
std::unordered_map<std::int64_t, std::int64_t> loadPurchases(sqlite3* db,
                                                             const std::filesystem::path& folder) {
  std::unordered_map<std::int64_t, std::int64_t> purchases;
  TsvReader in(folder / "purchases.tsv", {"customer", "track_id"});
  Statement insert(db, "INSERT INTO temp.purchase (customer, track_id) VALUES (?, ?)");
  while (in.next()) {
    insert.bind(1, in.integer(0)).bind(2, in.integer(1)).run();
    insert.reset();
    ++purchases[in.integer(1)];
  }
  return purchases;
}

void loadTracks(sqlite3* db, const std::filesystem::path& folder,
                const std::unordered_map<std::int64_t, std::int64_t>& artistOfAlbum,
                const std::unordered_map<std::int64_t, std::int64_t>& purchases,
                CatalogBuildSummary& summary) {
  TsvReader in(folder / "tracks.tsv",
               {"id", "album_id", "kind", "title", "genre", "composer", "duration_ms", "disc",
                "number", "release_date", "playable", "radio_plays"});
  Statement insert(db,
                   "INSERT INTO track (id, album_id, artist_id, is_video, title, genre, composer, "
                   "duration_ms, disc, number, release_date, playable, purchases, popularity) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  while (in.next()) {
    const std::int64_t id = in.integer(0);
    const auto artist = artistOfAlbum.find(in.integer(1));
    if (artist == artistOfAlbum.end()) {
      throw std::runtime_error("tracks.tsv: track " + std::to_string(id) + " has no album");
    }
    const bool video = in.text(2) == "music-video";
    if (!video && in.text(2) != "song") {
      throw std::runtime_error("tracks.tsv: track " + std::to_string(id) + " has kind " +
                               std::string(in.text(2)));
    }
    const auto bought = purchases.find(id);
    const std::int64_t purchaseCount = bought == purchases.end() ? 0 : bought->second;
    insert.bind(1, id)
        .bind(2, in.integer(1))
        .bind(3, artist->second)
        .bind(4, video ? 1 : 0)
        .bind(5, in.text(3))
        .bind(6, in.optionalText(4))
        .bind(7, in.optionalText(5))
        .bind(8, in.optionalInteger(6))
        .bind(9, in.optionalInteger(7))
        .bind(10, in.optionalInteger(8))
        .bind(11, in.optionalText(9))
        .bind(12, in.integer(10))
        .bind(13, purchaseCount)
        .bind(14, purchaseCount * kPurchaseWeight + std::min(in.integer(11), kPurchaseWeight - 1))
        .run();
    insert.reset();
    ++(video ? summary.musicVideos : summary.songs);
  }
}

void loadPlaylists(sqlite3* db, const std::filesystem::path& folder, CatalogBuildSummary& summary) {
  TsvReader in(folder / "playlists.tsv", {"id", "name", "curator"});
  Statement insert(db, "INSERT INTO temp.playlist_in (id, name, curator) VALUES (?, ?, ?)");
  while (in.next()) {
    insert.bind(1, in.text(0)).bind(2, in.text(1)).bind(3, in.optionalText(2)).run();
    insert.reset();
    ++summary.playlists;
  }
  TsvReader entries(folder / "playlist_tracks.tsv", {"playlist_id", "track_id"});
  Statement add(db,
                "INSERT INTO playlist_track (playlist_id, position, track_id) VALUES (?, ?, ?)");
  std::string playlist;
  std::int64_t position = 0;
  while (entries.next()) {
    if (entries.text(0) != playlist) {
      playlist = entries.text(0);
      position = 0;
    }
    add.bind(1, playlist).bind(2, ++position).bind(3, entries.integer(1)).run();
    add.reset();
  }
}

void loadStations(sqlite3* db, const std::filesystem::path& folder, CatalogBuildSummary& summary) {
  TsvReader in(folder / "stations.tsv", {"id", "name", "live", "seed_kind", "seed"});
  Statement insert(db,
                   "INSERT INTO station (search_rank, id, name, live, seed_kind, seed) "
                   "VALUES (?, ?, ?, ?, ?, ?)");
  while (in.next()) {
    insert.bind(1, static_cast<std::int64_t>(++summary.stations))
        .bind(2, in.text(0))
        .bind(3, in.text(1))
        .bind(4, in.integer(2))
        .bind(5, in.text(3))
        .bind(6, in.text(4))
        .run();
    insert.reset();
  }
}

// Everything computed from the loaded rows: counts, popularity, ranks, genres, the
// chart and the search index.
constexpr const char* kDerive = R"sql(
UPDATE album SET track_count = s.tracks, popularity = s.popularity, release_date = s.released
FROM (SELECT album_id, count(*) AS tracks, sum(popularity) AS popularity,
             max(release_date) AS released
      FROM track GROUP BY album_id) AS s
WHERE album.id = s.album_id;

UPDATE artist SET popularity = s.popularity
FROM (SELECT artist_id, sum(popularity) AS popularity FROM album GROUP BY artist_id) AS s
WHERE artist.id = s.artist_id;

UPDATE track SET search_rank = r.rank
FROM (SELECT id, row_number() OVER (ORDER BY popularity DESC, id) AS rank
      FROM track WHERE is_video = 0) AS r
WHERE track.id = r.id;
UPDATE album SET search_rank = r.rank
FROM (SELECT id, row_number() OVER (ORDER BY popularity DESC, id) AS rank FROM album) AS r
WHERE album.id = r.id;
UPDATE artist SET search_rank = r.rank
FROM (SELECT id, row_number() OVER (ORDER BY popularity DESC, id) AS rank FROM artist) AS r
WHERE artist.id = r.id;

INSERT INTO playlist (search_rank, id, name, curator, popularity)
SELECT row_number() OVER (ORDER BY coalesce(s.popularity, 0) DESC, p.rowid), p.id, p.name,
       p.curator, coalesce(s.popularity, 0)
FROM temp.playlist_in AS p
LEFT JOIN (SELECT pt.playlist_id, sum(t.purchases) AS popularity
           FROM playlist_track AS pt JOIN track AS t ON t.id = pt.track_id
           GROUP BY pt.playlist_id) AS s ON s.playlist_id = p.id;

INSERT INTO artist_genre (artist_id, genre, share)
SELECT artist_id, genre, count(*) * 1.0 / sum(count(*)) OVER (PARTITION BY artist_id)
FROM track WHERE genre IS NOT NULL AND is_video = 0 GROUP BY artist_id, genre;
UPDATE artist SET genres = g.names
FROM (SELECT artist_id, group_concat(genre, char(9)) AS names
      FROM (SELECT artist_id, genre FROM artist_genre ORDER BY artist_id, share DESC, genre)
      GROUP BY artist_id) AS g
WHERE artist.id = g.artist_id;
UPDATE album SET genres = g.names
FROM (SELECT album_id, group_concat(genre, char(9)) AS names
      FROM (SELECT album_id, genre, count(*) AS songs FROM track
            WHERE genre IS NOT NULL GROUP BY album_id, genre
            ORDER BY album_id, songs DESC, genre)
      GROUP BY album_id) AS g
WHERE album.id = g.album_id;

INSERT INTO artist_buyer (artist_id, customer)
SELECT DISTINCT t.artist_id, p.customer FROM temp.purchase AS p JOIN track AS t ON t.id = p.track_id;

-- The most played: songs people bought, that this account can play.
INSERT INTO chart (position, track_id)
SELECT row_number() OVER (ORDER BY popularity DESC, id), id
FROM track WHERE is_video = 0 AND playable = 1 AND purchases > 0
ORDER BY popularity DESC, id LIMIT 50;

INSERT INTO song_fts (rowid, title, artist, album)
SELECT t.search_rank, t.title, ar.name, al.title
FROM track AS t JOIN album AS al ON al.id = t.album_id JOIN artist AS ar ON ar.id = t.artist_id
WHERE t.is_video = 0 ORDER BY t.search_rank;
INSERT INTO album_fts (rowid, title, artist)
SELECT al.search_rank, al.title, ar.name
FROM album AS al JOIN artist AS ar ON ar.id = al.artist_id ORDER BY al.search_rank;
INSERT INTO artist_fts (rowid, name) SELECT search_rank, name FROM artist ORDER BY search_rank;
INSERT INTO playlist_fts (rowid, name, curator)
SELECT search_rank, name, curator FROM playlist ORDER BY search_rank;
INSERT INTO station_fts (rowid, name) SELECT search_rank, name FROM station ORDER BY search_rank;
)sql";

// One segment per index reads fastest; then the document frequencies of every token.
constexpr const char* kSearchTerms = R"sql(
INSERT INTO song_fts (song_fts) VALUES ('optimize');
INSERT INTO album_fts (album_fts) VALUES ('optimize');
INSERT INTO artist_fts (artist_fts) VALUES ('optimize');
INSERT INTO playlist_fts (playlist_fts) VALUES ('optimize');
INSERT INTO station_fts (station_fts) VALUES ('optimize');
CREATE VIRTUAL TABLE temp.song_terms USING fts5vocab(main, song_fts, row);
CREATE VIRTUAL TABLE temp.album_terms USING fts5vocab(main, album_fts, row);
CREATE VIRTUAL TABLE temp.artist_terms USING fts5vocab(main, artist_fts, row);
CREATE VIRTUAL TABLE temp.playlist_terms USING fts5vocab(main, playlist_fts, row);
CREATE VIRTUAL TABLE temp.station_terms USING fts5vocab(main, station_fts, row);
INSERT INTO search_term SELECT 0, term, doc FROM temp.song_terms;
INSERT INTO search_term SELECT 1, term, doc FROM temp.album_terms;
INSERT INTO search_term SELECT 2, term, doc FROM temp.artist_terms;
INSERT INTO search_term SELECT 3, term, doc FROM temp.playlist_terms;
INSERT INTO search_term SELECT 4, term, doc FROM temp.station_terms;
)sql";

// SQLite's variable-length integer, as FTS5 writes the column sizes in %_docsize.
std::uint64_t readVarint(const unsigned char*& at, const unsigned char* end) {
  std::uint64_t value = 0;
  for (int i = 0; i < 9 && at < end; ++i) {
    const unsigned char byte = *at++;
    if (i == 8) return (value << 8) | byte;
    value = (value << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) break;
  }
  return value;
}

// Each row's length in tokens, from FTS5's own column sizes, for relevance to read
// from memory.
void storeSearchLengths(sqlite3* db) {
  Statement insert(db,
                   "INSERT INTO search_length (source, rows, tokens, lengths) VALUES (?, ?, ?, ?)");
  for (std::size_t source = 0; source < std::size(detail::kSearchTables); ++source) {
    Statement sizes(db, std::string("SELECT id, sz FROM ") + detail::kSearchTables[source] +
                            "_docsize ORDER BY id");
    std::string lengths;
    std::int64_t rows = 0;
    std::int64_t tokens = 0;
    while (sizes.step()) {
      const auto id = static_cast<std::size_t>(sizes.integer(0));
      const std::string_view size = sizes.blob(1);
      const auto* at = reinterpret_cast<const unsigned char*>(size.data());
      const auto* end = at + size.size();
      std::uint64_t length = 0;
      while (at && at < end) length += readVarint(at, end);
      if (lengths.size() < id) lengths.resize(id, '\0');
      lengths[id - 1] = static_cast<char>(std::min<std::uint64_t>(length, 255));
      ++rows;
      tokens += static_cast<std::int64_t>(length);
    }
    insert.bind(1, static_cast<std::int64_t>(source)).bind(2, rows).bind(3, tokens);
    checkSQLite(
        db, sqlite3_bind_blob64(insert.get(), 4, lengths.data(), lengths.size(), SQLITE_TRANSIENT));
    insert.run();
    insert.reset();
  }
}

CatalogBuildSummary write(const std::filesystem::path& dataFolder,
                          const std::filesystem::path& partial) {
  CatalogBuildSummary summary;
  {
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(partial.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::unique_ptr<sqlite3, Closer> db(raw);
    checkSQLite(db.get(), opened);
    // A half-built file is thrown away, so nothing needs a journal.
    execute(db.get(),
            "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE;"
            "PRAGMA cache_size = -262144; PRAGMA temp_store = MEMORY;");
    execute(db.get(), detail::kCatalogSchema);
    execute(db.get(),
            "CREATE TEMP TABLE purchase (customer INTEGER, track_id INTEGER);"
            "CREATE TEMP TABLE playlist_in (id TEXT, name TEXT, curator TEXT)");
    execute(db.get(), "BEGIN");
    loadArtists(db.get(), dataFolder, summary);
    const auto artistOfAlbum = loadAlbums(db.get(), dataFolder, summary);
    const auto purchases = loadPurchases(db.get(), dataFolder);
    loadTracks(db.get(), dataFolder, artistOfAlbum, purchases, summary);
    loadPlaylists(db.get(), dataFolder, summary);
    loadStations(db.get(), dataFolder, summary);
    execute(db.get(), kDerive);
    execute(db.get(), detail::kCatalogIndexes);
    execute(db.get(), kSearchTerms);
    storeSearchLengths(db.get());
    execute(db.get(), ("PRAGMA user_version = " + std::to_string(detail::kCatalogFormat)).c_str());
    execute(db.get(), "COMMIT");
    execute(db.get(), "DROP TABLE temp.purchase; DROP TABLE temp.playlist_in; VACUUM");
  }
  return summary;
}

}  // namespace

CatalogBuildSummary buildCatalog(const std::filesystem::path& dataFolder,
                                 const std::filesystem::path& database) {
  std::filesystem::path partial = database;
  partial += ".partial";
  std::filesystem::remove(partial);
  CatalogBuildSummary summary;
  try {
    summary = write(dataFolder, partial);
  } catch (...) {
    std::filesystem::remove(partial);
    throw;
  }
  std::filesystem::rename(partial, database);
  return summary;
}

}  // namespace melodock
