#include "platform/music/library/library.h"

#include "platform/music/catalog/statement.h"
#include "platform/music/library/detail/file_matcher.h"
#include "platform/music/library/detail/library_schema.h"
#include "platform/music/library/detail/library_store.h"
#include "platform/music/library/detail/music_file_store.h"
#include "platform/user_dirs.h"

namespace melodock {
namespace {

std::filesystem::path withFolder(const std::filesystem::path& file) {
  // SQLite creates the file but not its folder.
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  return file;
}

// SQLite's verdict on a file that is not a database, or a damaged one.
bool unreadable(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

std::string unreadableLibrary(const std::filesystem::path& file, std::string_view why) {
  return "Melodock cannot read its music library " + file.string() + " (" + std::string(why) +
         "). The file is left as it is: restore it from a backup, or move it away and start "
         "Melodock again for an empty library.";
}

// Agents and their notes may still hold the id "Favourite Songs" had before.
std::string current(std::string id) {
  if (id == Library::kFormerFavouriteSongsID) return Library::kFavouriteSongsID;
  return id;
}

}  // namespace

Library::Library(const std::filesystem::path& file, WallClock clock)
    : clock_(std::move(clock)),
      database_(withFolder(file), Database::Access::readWrite, [this, file](sqlite3* connection) {
        try {
          // WAL keeps readers off the writer's back; FULL makes every commit durable.
          detail::execute(connection, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL");
          detail::migrateLibrary(connection);
        } catch (const DatabaseError& error) {
          if (!unreadable(error.code())) throw;
          // Nothing has written to the file: it stays for the user to move or restore.
          throw DatabaseError(error.code(), unreadableLibrary(file, error.what()));
        }
        store_ = std::make_unique<detail::LibraryStore>(connection);
        files_ = std::make_unique<detail::MusicFileStore>(connection);
        matcher_ = std::make_unique<detail::FileMatcher>(connection);
      }) {}

Library::~Library() = default;

std::filesystem::path Library::defaultFile() {
  return userDataDir() / "melodock" / "library.sqlite";
}

namespace {
std::int64_t milliseconds(std::chrono::system_clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}
}  // namespace

// Each request hands its arguments to the database thread inside the work, built as a
// named local (see database.h); the clock is read on the caller's side.

asio::awaitable<std::vector<Song>> Library::addSongs(std::vector<Song> songs) {
  auto work = [this, songs = std::move(songs), now = milliseconds(clock_())](sqlite3*) {
    return store_->addSongs(songs, now);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<Album> Library::addAlbum(Album album, std::vector<Song> songs) {
  auto work = [this, album = std::move(album), songs = std::move(songs),
               now = milliseconds(clock_())](sqlite3*) {
    return store_->addAlbum(album, songs, now);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> Library::songs(std::vector<std::string> ids) {
  auto work = [this, ids = std::move(ids)](sqlite3*) { return store_->songs(ids); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::optional<Album>> Library::album(std::string id) {
  auto work = [this, id = std::move(id)](sqlite3*) { return store_->album(id); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> Library::albumSongs(std::string albumID) {
  auto work = [this, id = std::move(albumID)](sqlite3*) { return store_->albumSongs(id); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> Library::searchSongs(std::string text, int limit) {
  auto work = [this, text = std::move(text), limit](sqlite3*) {
    return store_->searchSongs(text, limit);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Album>> Library::searchAlbums(std::string text, int limit) {
  auto work = [this, text = std::move(text), limit](sqlite3*) {
    return store_->searchAlbums(text, limit);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Artist>> Library::searchArtists(std::string text, int limit) {
  auto work = [this, text = std::move(text), limit](sqlite3*) {
    return store_->searchArtists(text, limit);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Playlist>> Library::searchPlaylists(std::string text, int limit) {
  auto work = [this, text = std::move(text), limit](sqlite3*) {
    return store_->searchPlaylists(text, limit);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<LibraryPlaylist>> Library::playlists() {
  auto work = [this](sqlite3*) { return store_->playlists(std::nullopt); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::optional<LibraryPlaylist>> Library::playlist(std::string id) {
  auto work = [this, id = current(std::move(id))](sqlite3*) {
    std::vector<LibraryPlaylist> found = store_->playlists(id);
    return found.empty() ? std::nullopt : std::optional(std::move(found.front()));
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<LibraryPlaylist> Library::createPlaylist(std::string name,
                                                         std::optional<std::string> description,
                                                         std::vector<Song> songs) {
  auto work = [this, name = std::move(name), description = std::move(description),
               songs = std::move(songs), now = milliseconds(clock_())](sqlite3*) {
    return store_->createPlaylist(name, description, songs, now);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<LibraryPlaylist> Library::addPlaylist(Playlist playlist, std::vector<Song> songs) {
  auto work = [this, playlist = std::move(playlist), songs = std::move(songs),
               now = milliseconds(clock_())](sqlite3*) {
    return store_->addPlaylist(playlist, songs, now);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<void> Library::addToPlaylist(std::string playlistID, std::vector<Song> songs) {
  auto work = [this, id = current(std::move(playlistID)), songs = std::move(songs),
               now = milliseconds(clock_())](sqlite3*) { store_->addToPlaylist(id, songs, now); };
  co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> Library::playlistSongs(std::string playlistID) {
  auto work = [this, id = current(std::move(playlistID))](sqlite3*) {
    return store_->playlistSongs(id);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<void> Library::rate(std::string id, std::string kind,
                                    std::optional<Rating> rating) {
  auto work = [this, id = current(std::move(id)), kind = std::move(kind), rating,
               now = milliseconds(clock_())](sqlite3*) { store_->rate(id, kind, rating, now); };
  co_await database_.run(std::move(work));
}

asio::awaitable<std::optional<Rating>> Library::rating(std::string id) {
  auto work = [this, id = current(std::move(id))](sqlite3*) { return store_->rating(id); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<void> Library::recordPlay(Song song, std::optional<PlayContext> context) {
  auto work = [this, song = std::move(song), context = std::move(context),
               now = milliseconds(clock_())](sqlite3*) { store_->recordPlay(song, context, now); };
  co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> Library::recentlyPlayed(int limit) {
  auto work = [this, limit](sqlite3*) { return store_->recentlyPlayed(limit); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<RotationItem>> Library::heavyRotation(int limit) {
  const auto since = milliseconds(clock_() - kHeavyRotationWindow);
  auto work = [this, limit, since](sqlite3*) { return store_->heavyRotation(limit, since); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<KnownMusicFile>> Library::musicFiles(std::string under) {
  auto work = [this, under = std::move(under)](sqlite3*) { return files_->files(under); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<void> Library::storeMusicFiles(MusicFileChanges changes) {
  auto work = [this, changes = std::move(changes), now = milliseconds(clock_())](sqlite3*) {
    files_->store(changes, now);
  };
  co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<Song>> Library::withMusicFiles(std::vector<Song> songs) {
  auto work = [this, songs = std::move(songs)](sqlite3*) mutable {
    for (Song& song : songs) {
      if (!song.file) song.file = matcher_->fileFor(song);
    }
    return std::move(songs);
  };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::vector<AddedItem>> Library::recentlyAdded(int limit) {
  auto work = [this, limit](sqlite3*) { return store_->recentlyAdded(limit); };
  co_return co_await database_.run(std::move(work));
}

asio::awaitable<std::int64_t> Library::changeCount() {
  // One connection makes every change, so its own count sees them all.
  auto work = [](sqlite3* connection) { return sqlite3_total_changes64(connection); };
  co_return co_await database_.run(std::move(work));
}

}  // namespace melodock
