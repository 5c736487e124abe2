#include "platform/music/catalog/local_catalog.h"

#include "platform/music/catalog/detail/catalog_reader.h"
#include "platform/music/catalog/statement.h"

namespace melodock {

LocalCatalog::LocalCatalog(const std::filesystem::path& file)
    : database_(file, Database::Access::immutable, [this, file](sqlite3* connection) {
        try {
          detail::checkCatalogFormat(connection);
        } catch (const DatabaseError& error) {
          throw DatabaseError(error.code(), "Melodock cannot read its built-in catalog " +
                                                file.string() + " (" + error.what() +
                                                "). Reinstall Melodock to repair it.");
        }
        // The file is read, never written: map it rather than copy pages around.
        detail::execute(connection, "PRAGMA mmap_size = 1073741824; PRAGMA cache_size = -16384");
        reader_ = std::make_unique<detail::CatalogReader>(connection);
      }) {}

LocalCatalog::~LocalCatalog() = default;

// Each request hands its arguments to the database thread inside the work, built as a
// named local (see database.h).

asio::awaitable<CatalogSearchResults> LocalCatalog::search(std::string term, int limit) {
  auto work = [this, term = std::move(term), limit](sqlite3*) {
    return reader_->search(term, limit);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> LocalCatalog::songs(std::vector<std::string> ids) {
  auto work = [this, ids = std::move(ids)](sqlite3*) { return reader_->songs(ids); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Album>> LocalCatalog::albums(std::vector<std::string> ids) {
  auto work = [this, ids = std::move(ids)](sqlite3*) { return reader_->albums(ids); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Artist>> LocalCatalog::artists(std::vector<std::string> ids) {
  auto work = [this, ids = std::move(ids)](sqlite3*) { return reader_->artists(ids); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Playlist>> LocalCatalog::playlists(std::vector<std::string> ids) {
  auto work = [this, ids = std::move(ids)](sqlite3*) { return reader_->playlists(ids); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Station>> LocalCatalog::stations(std::vector<std::string> ids) {
  auto work = [this, ids = std::move(ids)](sqlite3*) { return reader_->stations(ids); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<SongChart>> LocalCatalog::mostPlayedSongs(int limit) {
  auto work = [this, limit](sqlite3*) { return reader_->mostPlayedSongs(limit); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<std::string>> LocalCatalog::genres(int limit) {
  auto work = [this, limit](sqlite3*) { return reader_->genres(limit); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<GenreItems> LocalCatalog::genreItems(std::string genre, int limit) {
  auto work = [this, genre = std::move(genre), limit](sqlite3*) {
    return reader_->genreItems(genre, limit);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Track>> LocalCatalog::albumTracks(std::string albumID) {
  auto work = [this, id = std::move(albumID)](sqlite3*) { return reader_->albumTracks(id); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Track>> LocalCatalog::playlistTracks(std::string playlistID) {
  auto work = [this, id = std::move(playlistID)](sqlite3*) { return reader_->playlistTracks(id); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<ArtistRelationships> LocalCatalog::artistRelationships(std::string artistID) {
  auto work = [this, id = std::move(artistID)](sqlite3*) {
    return reader_->artistRelationships(id);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> LocalCatalog::stationSongs(std::string stationID) {
  auto work = [this, id = std::move(stationID)](sqlite3*) { return reader_->stationSongs(id); };
  co_return co_await database_.run(std::move(work));
}

std::filesystem::path builtInCatalogFile(const std::filesystem::path& executable) {
  const std::filesystem::path folder = executable.parent_path();
  std::filesystem::path beside = folder / "catalog.sqlite";
  if (std::filesystem::exists(beside)) return beside;
  return (folder / ".." / "share" / "melodock" / "catalog.sqlite").lexically_normal();
}

}  // namespace melodock
