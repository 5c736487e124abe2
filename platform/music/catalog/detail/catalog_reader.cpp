#include "platform/music/catalog/detail/catalog_reader.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "platform/music/catalog/local_catalog.h"

namespace melodock::detail {
namespace {

constexpr const char* kTrackColumns =
    "SELECT t.id, t.is_video, t.title, ar.name, al.title, t.genre, t.duration_ms, t.number, "
    "t.disc, t.release_date, t.composer, t.playable, t.album_id "
    "FROM track AS t JOIN album AS al ON al.id = t.album_id "
    "JOIN artist AS ar ON ar.id = t.artist_id ";
constexpr const char* kAlbumColumns =
    "SELECT al.id, al.title, ar.name, al.genres, al.release_date, al.track_count "
    "FROM album AS al JOIN artist AS ar ON ar.id = al.artist_id ";
constexpr const char* kArtistColumns = "SELECT id, name, genres FROM artist ";
constexpr const char* kPlaylistColumns = "SELECT id, name, curator FROM playlist ";
constexpr const char* kStationColumns = "SELECT id, name, live FROM station ";

// Artists of a genre in common, weighted by how much of each artist's music it is,
// then listeners in common: a quarter of the share of the two artists' buyers who
// bought from both, so that the most bought artists are not like everyone. The
// compilation artist "Various Artists" is nobody's like.
constexpr const char* kSimilarArtists = R"sql(
WITH mine AS (SELECT genre, share FROM artist_genre WHERE artist_id = ?1),
overlap AS (
  SELECT g.artist_id, sum(min(g.share, mine.share)) AS genres
  FROM mine JOIN artist_genre AS g ON g.genre = mine.genre
  WHERE g.artist_id != ?1 GROUP BY g.artist_id),
bought AS (
  SELECT other.artist_id, count(*) AS buyers
  FROM artist_buyer AS me JOIN artist_buyer AS other ON other.customer = me.customer
  WHERE me.artist_id = ?1 AND other.artist_id != ?1 GROUP BY other.artist_id),
ours AS (SELECT count(*) AS buyers FROM artist_buyer WHERE artist_id = ?1)
SELECT a.id, a.name, a.genres
FROM overlap JOIN artist AS a ON a.id = overlap.artist_id
LEFT JOIN bought ON bought.artist_id = overlap.artist_id, ours
WHERE a.name != 'Various Artists'
ORDER BY overlap.genres + 0.25 * coalesce(bought.buyers * 1.0 / (ours.buyers - bought.buyers +
           (SELECT count(*) FROM artist_buyer WHERE artist_id = a.id)), 0) DESC,
         a.popularity DESC, a.id
LIMIT ?2
)sql";

std::optional<std::int64_t> numericID(const std::string& id) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
  if (error != std::errc() || end != id.data() + id.size() || id.empty()) return std::nullopt;
  return value;
}

std::optional<ReleaseDate> releaseDate(const Statement& row, int column) {
  if (row.isNull(column)) return std::nullopt;
  return parseReleaseDate(row.text(column));
}

std::vector<std::string> splitGenres(std::string_view names) {
  std::vector<std::string> genres;
  while (!names.empty()) {
    const std::size_t tab = names.find('\t');
    genres.emplace_back(names.substr(0, tab));
    if (tab == std::string_view::npos) break;
    names.remove_prefix(tab + 1);
  }
  return genres;
}

// Catalog items have generated artwork: a tile of a colour picked from the item's id,
// at any size.
Artwork artwork(std::string_view kind, std::string_view id) {
  static constexpr const char* kColours[] = {"2d4059", "ea5455", "f07b3f", "ffd460",
                                             "3a6351", "5f939a", "a0937d", "6a2c70",
                                             "b83b5e", "08d9d6", "252a34", "ff2e63"};
  std::uint32_t hash = 2166136261U;  // FNV-1a
  for (const char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
  std::string url = "melodock-artwork://catalog/";
  url += kind;
  url += '/';
  url += id;
  url += "/{w}x{h}.png";
  return Artwork{.urlTemplate = std::move(url),
                 .width = 3000,
                 .height = 3000,
                 .backgroundColor = kColours[hash % std::size(kColours)]};
}

Track trackFrom(const Statement& row) {
  const std::string id = std::to_string(row.integer(0));
  const bool video = row.integer(1) != 0;
  std::vector<std::string> genres;
  if (!row.isNull(5)) genres.emplace_back(row.text(5));
  std::optional<std::chrono::milliseconds> duration;
  if (!row.isNull(6)) duration = std::chrono::milliseconds(row.integer(6));
  std::optional<PlayParameters> play;
  if (row.integer(11) != 0) play = PlayParameters{id, video ? "musicVideo" : "song"};
  const auto number = row.optionalInteger(7);
  const auto disc = row.optionalInteger(8);
  auto art = artwork("album", std::to_string(row.integer(12)));
  if (video) {
    return MusicVideo{.id = id,
                      .title = std::string(row.text(2)),
                      .artistName = std::string(row.text(3)),
                      .albumTitle = std::string(row.text(4)),
                      .genreNames = std::move(genres),
                      .duration = duration,
                      .trackNumber = number ? std::optional<int>(*number) : std::nullopt,
                      .discNumber = disc ? std::optional<int>(*disc) : std::nullopt,
                      .releaseDate = releaseDate(row, 9),
                      .artwork = std::move(art),
                      .playParameters = std::move(play)};
  }
  return Song{.id = id,
              .title = std::string(row.text(2)),
              .artistName = std::string(row.text(3)),
              .albumTitle = std::string(row.text(4)),
              .genreNames = std::move(genres),
              .duration = duration,
              .trackNumber = number ? std::optional<int>(*number) : std::nullopt,
              .discNumber = disc ? std::optional<int>(*disc) : std::nullopt,
              .releaseDate = releaseDate(row, 9),
              .composerName = row.optionalText(10),
              .artwork = std::move(art),
              .playParameters = std::move(play)};
}

Song songFrom(const Statement& row) { return std::get<Song>(trackFrom(row)); }

Album albumFrom(const Statement& row) {
  const std::string id = std::to_string(row.integer(0));
  return Album{.id = id,
               .title = std::string(row.text(1)),
               .artistName = std::string(row.text(2)),
               .genreNames = splitGenres(row.text(3)),
               .releaseDate = releaseDate(row, 4),
               .trackCount = static_cast<int>(row.integer(5)),
               .artwork = artwork("album", id),
               .playParameters = PlayParameters{id, "album"}};
}

Artist artistFrom(const Statement& row) {
  const std::string id = std::to_string(row.integer(0));
  return Artist{.id = id,
                .name = std::string(row.text(1)),
                .genreNames = splitGenres(row.text(2)),
                .artwork = artwork("artist", id)};
}

Playlist playlistFrom(const Statement& row) {
  std::string id(row.text(0));
  auto art = artwork("playlist", id);
  return Playlist{.id = id,
                  .name = std::string(row.text(1)),
                  .curatorName = row.optionalText(2),
                  .artwork = std::move(art),
                  .playParameters = PlayParameters{id, "playlist"}};
}

Station stationFrom(const Statement& row) {
  std::string id(row.text(0));
  auto art = artwork("station", id);
  return Station{.id = id,
                 .name = std::string(row.text(1)),
                 .isLive = row.integer(2) != 0,
                 .artwork = std::move(art),
                 .playParameters = PlayParameters{id, "station"}};
}

// Each id once, in the order given.
std::vector<std::string> distinct(const std::vector<std::string>& ids) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seen;
  for (const std::string& id : ids) {
    if (seen.insert(id).second) result.push_back(id);
  }
  return result;
}

// The items with these ids, in their order and each once.
template <typename Make>
auto lookUp(StatementCache& statements, sqlite3* connection, const std::string& sql,
            const std::vector<std::string>& ids, bool numeric, Make make) {
  std::vector<decltype(make(std::declval<const Statement&>()))> items;
  for (const std::string& id : distinct(ids)) {
    if (!numeric) {
      for (auto& item : all(statements, connection, sql, make, id))
        items.push_back(std::move(item));
    } else if (const auto number = numericID(id)) {
      for (auto& item : all(statements, connection, sql, make, *number)) {
        items.push_back(std::move(item));
      }
    }
  }
  return items;
}

}  // namespace

void checkCatalogFormat(sqlite3* connection) {
  Statement version(connection, "PRAGMA user_version");
  version.step();
  if (version.integer(0) != kCatalogFormat) {
    throw std::runtime_error("the catalog database has format " +
                             std::to_string(version.integer(0)) + "; this program reads format " +
                             std::to_string(kCatalogFormat));
  }
}

CatalogReader::CatalogReader(sqlite3* connection) : connection_(connection), index_(connection) {}

template <typename Make>
auto CatalogReader::found(SearchSource source, const std::string& term, int limit,
                          const std::string& sql, Make make) {
  std::vector<decltype(make(std::declval<const Statement&>()))> items;
  for (const std::int64_t rank : index_.search(source, term, limit)) {
    for (auto& item : all(statements_, connection_, sql, make, rank)) {
      items.push_back(std::move(item));
    }
  }
  return items;
}

CatalogSearchResults CatalogReader::search(const std::string& term, int limit) {
  CatalogSearchResults results;
  if (limit < 1) return results;
  results.songs = found(SearchSource::songs, term, limit,
                        std::string(kTrackColumns) + "WHERE t.search_rank = ?1", songFrom);
  results.artists = found(SearchSource::artists, term, limit,
                          std::string(kArtistColumns) + "WHERE search_rank = ?1", artistFrom);
  results.albums = found(SearchSource::albums, term, limit,
                         std::string(kAlbumColumns) + "WHERE al.search_rank = ?1", albumFrom);
  results.playlists = found(SearchSource::playlists, term, limit,
                            std::string(kPlaylistColumns) + "WHERE search_rank = ?1", playlistFrom);
  results.stations = found(SearchSource::stations, term, limit,
                           std::string(kStationColumns) + "WHERE search_rank = ?1", stationFrom);
  return results;
}

std::vector<Song> CatalogReader::songs(const std::vector<std::string>& ids) {
  return lookUp(statements_, connection_,
                std::string(kTrackColumns) + "WHERE t.id = ?1 AND t.is_video = 0", ids, true,
                songFrom);
}

std::vector<Album> CatalogReader::albums(const std::vector<std::string>& ids) {
  return lookUp(statements_, connection_, std::string(kAlbumColumns) + "WHERE al.id = ?1", ids,
                true, albumFrom);
}

std::vector<Artist> CatalogReader::artists(const std::vector<std::string>& ids) {
  return lookUp(statements_, connection_, std::string(kArtistColumns) + "WHERE id = ?1", ids, true,
                artistFrom);
}

std::vector<Playlist> CatalogReader::playlists(const std::vector<std::string>& ids) {
  return lookUp(statements_, connection_, std::string(kPlaylistColumns) + "WHERE id = ?1", ids,
                false, playlistFrom);
}

std::vector<Station> CatalogReader::stations(const std::vector<std::string>& ids) {
  return lookUp(statements_, connection_, std::string(kStationColumns) + "WHERE id = ?1", ids,
                false, stationFrom);
}

std::vector<SongChart> CatalogReader::mostPlayedSongs(int limit) {
  const auto charted = all(statements_, connection_, "SELECT count(*) FROM chart",
                           [](const Statement& row) { return row.integer(0); });
  if (charted.front() == 0) return {};
  SongChart chart{.title = LocalCatalog::kChartTitle};
  chart.songs = all(statements_, connection_,
                    std::string(kTrackColumns) +
                        "JOIN chart AS c ON c.track_id = t.id ORDER BY c.position LIMIT ?1",
                    songFrom, std::clamp(limit, 0, LocalCatalog::kChartLength));
  return {std::move(chart)};
}

std::vector<std::string> CatalogReader::genres(int limit) {
  if (!genres_) {
    genres_ = all(statements_, connection_,
                  "SELECT genre FROM track WHERE genre IS NOT NULL AND is_video = 0 "
                  "GROUP BY genre ORDER BY sum(popularity) DESC, genre",
                  [](const Statement& row) { return std::string(row.text(0)); });
  }
  const auto count = std::min(genres_->size(), static_cast<std::size_t>(std::max(limit, 0)));
  return {genres_->begin(), genres_->begin() + static_cast<std::ptrdiff_t>(count)};
}

GenreItems CatalogReader::genreItems(const std::string& genre, int limit) {
  GenreItems items;
  if (limit < 1) return items;
  // The albums of the genre's most popular songs, read through the genre index: a
  // bounded number of songs, so a large catalog costs no more than a small one.
  const std::vector<std::int64_t> albumIDs = all(
      statements_, connection_,
      "SELECT album_id FROM track WHERE genre = ?1 AND is_video = 0 AND playable = 1 "
      "ORDER BY popularity DESC, id LIMIT ?2",
      [](const Statement& row) { return row.integer(0); }, genre, limit * 20);
  std::vector<std::string> ids;
  for (const std::int64_t id : albumIDs) {
    std::string text = std::to_string(id);
    if (std::find(ids.begin(), ids.end(), text) != ids.end()) continue;
    ids.push_back(std::move(text));
    if (std::ssize(ids) == limit) break;
  }
  items.albums = albums(ids);
  items.stations =
      all(statements_, connection_,
          std::string(kStationColumns) +
              "WHERE seed_kind = 'genre' AND seed = ?1 AND NOT live ORDER BY search_rank",
          stationFrom, genre);
  return items;
}

std::vector<Track> CatalogReader::albumTracks(const std::string& albumID) {
  const auto id = numericID(albumID);
  if (!id) return {};
  return all(statements_, connection_,
             std::string(kTrackColumns) + "WHERE t.album_id = ?1 ORDER BY t.disc, t.number, t.id",
             trackFrom, *id);
}

std::vector<Track> CatalogReader::playlistTracks(const std::string& playlistID) {
  return all(statements_, connection_,
             std::string(kTrackColumns) +
                 "JOIN playlist_track AS pt ON pt.track_id = t.id "
                 "WHERE pt.playlist_id = ?1 ORDER BY pt.position",
             trackFrom, playlistID);
}

ArtistRelationships CatalogReader::artistRelationships(const std::string& artistID) {
  ArtistRelationships loaded;
  const auto id = numericID(artistID);
  if (!id) return loaded;
  loaded.topSongs = all(statements_, connection_,
                        std::string(kTrackColumns) +
                            "WHERE t.artist_id = ?1 AND t.is_video = 0 "
                            "ORDER BY t.popularity DESC, t.id LIMIT ?2",
                        songFrom, *id, LocalCatalog::kTopSongs);
  loaded.similarArtists = all(statements_, connection_, kSimilarArtists, artistFrom, *id,
                              LocalCatalog::kSimilarArtists);
  std::vector<Album> latest = all(statements_, connection_,
                                  std::string(kAlbumColumns) +
                                      "WHERE al.artist_id = ?1 AND al.release_date IS NOT NULL "
                                      "ORDER BY al.release_date DESC, al.id DESC LIMIT 1",
                                  albumFrom, *id);
  if (!latest.empty()) loaded.latestRelease = std::move(latest.front());
  loaded.fullAlbums =
      all(statements_, connection_,
          std::string(kAlbumColumns) +
              "WHERE al.artist_id = ?1 AND al.track_count >= ?2 "
              "ORDER BY al.release_date IS NULL, al.release_date DESC, al.id "
              "LIMIT ?3",
          albumFrom, *id, LocalCatalog::kFullAlbumTracks, LocalCatalog::kFullAlbums);
  return loaded;
}

std::vector<Song> CatalogReader::stationSongs(const std::string& stationID) {
  struct Seed {
    bool live;
    std::string kind;
    std::string value;
  };
  const std::vector<Seed> station = all(
      statements_, connection_, "SELECT live, seed_kind, seed FROM station WHERE id = ?1",
      [](const Statement& row) {
        return Seed{row.integer(0) != 0, std::string(row.text(1)), std::string(row.text(2))};
      },
      stationID);
  if (station.empty() || station.front().live) return {};
  const Seed& seed = station.front();
  if (seed.kind == "genre") {
    return all(statements_, connection_,
               std::string(kTrackColumns) +
                   "WHERE t.genre = ?1 AND t.is_video = 0 AND t.playable = 1 "
                   "ORDER BY t.popularity DESC, t.id LIMIT ?2",
               songFrom, seed.value, LocalCatalog::kStationSongs);
  }
  if (seed.kind == "artist") {
    // The artist's own songs first, then those of the artists most like it.
    const auto artist = numericID(seed.value);
    if (!artist) return {};
    std::string members = "[" + seed.value;
    for (const Artist& similar : all(statements_, connection_, kSimilarArtists, artistFrom, *artist,
                                     LocalCatalog::kSimilarArtists)) {
      members += "," + similar.id;
    }
    members += "]";
    return all(statements_, connection_,
               std::string(kTrackColumns) +
                   "WHERE t.artist_id IN (SELECT value FROM json_each(?1)) "
                   "AND t.is_video = 0 AND t.playable = 1 "
                   "ORDER BY t.artist_id != ?2, t.popularity DESC, t.id LIMIT ?3",
               songFrom, members, *artist, LocalCatalog::kStationSongs);
  }
  return all(statements_, connection_,
             std::string(kTrackColumns) +
                 "JOIN chart AS c ON c.track_id = t.id WHERE t.playable = 1 "
                 "ORDER BY c.position LIMIT ?1",
             songFrom, LocalCatalog::kStationSongs);
}

}  // namespace melodock::detail
