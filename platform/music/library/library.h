// The user's own library: songs, albums, artists and playlists saved from the catalog,
// "Favourite Songs", ratings and listening history, in a SQLite file that outlives the
// program (by default $XDG_DATA_HOME/melodock/library.sqlite).
//
// Ids: "i." songs, "l." albums and artists, "p." playlists: the user's own (the only
// editable kind), the saved catalog ones and "Favourite Songs". All kinds draw from one
// sequence, so an id names one item only. "Favourite Songs" was "l.1" before: that id
// still names it wherever an id is taken.
//
// Every change is one transaction. The file is in WAL mode with synchronous=FULL: a
// change that returned is on disk, so neither a killed process nor a lost machine
// loses it, and changes are few (a user's edit, one row per song played), so the
// flush each costs on the database thread is never felt.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <asio/awaitable.hpp>

#include "platform/music/catalog/database.h"
#include "platform/music/items.h"
#include "platform/music/library/music_file.h"

namespace melodock {

namespace detail {
class FileMatcher;
class LibraryStore;
class MusicFileStore;
}  // namespace detail

// A change the library refuses: the playlist does not exist or cannot be edited.
class LibraryError : public std::runtime_error {
 public:
  enum class Reason { noSuchPlaylist, notEditable };
  LibraryError(Reason reason, const std::string& message)
      : std::runtime_error(message), reason_(reason) {}
  [[nodiscard]] Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

enum class Rating { love, dislike };

struct LibraryPlaylist {
  Playlist playlist{};
  bool canEdit = false;

  bool operator==(const LibraryPlaylist&) const = default;
};

// An album or playlist played often lately, with how many songs of it were played.
struct RotationItem {
  PlayContext item{};
  int plays = 0;

  bool operator==(const RotationItem&) const = default;
};

// An item as added to the library: a song on no saved album, an album, or a playlist
// the user made.
using AddedItem = std::variant<Song, Album, LibraryPlaylist>;

class Library {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;

  static constexpr const char* kFavouriteSongsID = "p.1";
  static constexpr const char* kFormerFavouriteSongsID = "l.1";
  static constexpr const char* kFavouriteSongsName = "Favourite Songs";
  static constexpr std::chrono::hours kHeavyRotationWindow{24 * 30};

  // Opens the library at `file`, creating it (and its folder) when missing and bringing
  // an older file's schema up to date. `clock` gives the wall-clock time of additions
  // and plays. A file that cannot be opened or migrated makes every request fail with
  // its error.
  Library(const std::filesystem::path& file, WallClock clock);
  ~Library();

  // $XDG_DATA_HOME/melodock/library.sqlite, or ~/.local/share/melodock/library.sqlite.
  [[nodiscard]] static std::filesystem::path defaultFile();

  // Saves songs (catalog songs, or library songs already saved) and returns them as
  // library songs, in the order given. A song saved before is not saved twice.
  asio::awaitable<std::vector<Song>> addSongs(std::vector<Song> songs);
  // Saves an album with its songs; returns the library album.
  asio::awaitable<Album> addAlbum(Album album, std::vector<Song> songs);

  // Library songs by "i." id, in the order given, each once; unknown ids are left out.
  asio::awaitable<std::vector<Song>> songs(std::vector<std::string> ids);
  asio::awaitable<std::optional<Album>> album(std::string id);
  // An album's songs in disc and track order.
  asio::awaitable<std::vector<Song>> albumSongs(std::string albumID);

  // Items whose titles, names, artists or albums hold every word of `text` as a word or
  // the start of one, case and diacritics ignored, the latest added first (a file's song
  // keeps its place while the file keeps its path). An empty text lists every item by
  // title (or name) without regard to case, then artist, then id. At most `limit`.
  asio::awaitable<std::vector<Song>> searchSongs(std::string text, int limit);
  asio::awaitable<std::vector<Album>> searchAlbums(std::string text, int limit);
  asio::awaitable<std::vector<Artist>> searchArtists(std::string text, int limit);
  asio::awaitable<std::vector<Playlist>> searchPlaylists(std::string text, int limit);

  // Every playlist, "Favourite Songs" first, then the user's in the order made.
  asio::awaitable<std::vector<LibraryPlaylist>> playlists();
  asio::awaitable<std::optional<LibraryPlaylist>> playlist(std::string id);
  // Makes an editable "p." playlist holding `songs`, which join the library.
  asio::awaitable<LibraryPlaylist> createPlaylist(std::string name,
                                                  std::optional<std::string> description,
                                                  std::vector<Song> songs);
  // Saves a catalog playlist with its songs (which join the library) as a "p."
  // playlist that cannot be edited; saving it again changes nothing.
  asio::awaitable<LibraryPlaylist> addPlaylist(Playlist playlist, std::vector<Song> songs);
  // Appends `songs`, which join the library. Throws LibraryError for an unknown or a
  // non-editable playlist.
  asio::awaitable<void> addToPlaylist(std::string playlistID, std::vector<Song> songs);
  // A playlist's songs in order; empty for an unknown playlist.
  asio::awaitable<std::vector<Song>> playlistSongs(std::string playlistID);

  // Sets (or with no rating, clears) the rating of an item by any id. Loving a song of
  // the library puts it into "Favourite Songs"; disliking or clearing takes it out. A
  // loved catalog song joins "Favourite Songs" once it is saved.
  asio::awaitable<void> rate(std::string id, std::string kind, std::optional<Rating> rating);
  asio::awaitable<std::optional<Rating>> rating(std::string id);

  // Records that `song` started playing now, as part of `context` when given.
  asio::awaitable<void> recordPlay(Song song, std::optional<PlayContext> context);
  // Songs played, each once, the most recently started first.
  asio::awaitable<std::vector<Song>> recentlyPlayed(int limit);
  // The albums and playlists whose songs were played most within kHeavyRotationWindow,
  // the most played first (the latest played first among equals).
  asio::awaitable<std::vector<RotationItem>> heavyRotation(int limit);

  // The user's music files, for the folder scanner. The songs of files are library
  // songs like the others; a vanished file's song leaves every listing but playlists
  // and history, where it stays without play parameters until the file returns.
  //
  // The files the library holds at the path `under` or inside it (all when empty).
  asio::awaitable<std::vector<KnownMusicFile>> musicFiles(std::string under);
  // Stores one batch of a scan in one transaction: read files become or update "i."
  // songs (found by path) in "l." albums (found by title and album artist), and each
  // touched album is counted again.
  asio::awaitable<void> storeMusicFiles(MusicFileChanges changes);

  // `songs` as given, each song without a file (a catalog song) that one of the user's
  // present music files plays carrying that file: the same artist and title once case
  // and punctuation are folded, and durations at most 3 s apart (the nearest wins).
  asio::awaitable<std::vector<Song>> withMusicFiles(std::vector<Song> songs);

  // Albums, songs on no saved album, and the playlists made or saved, the latest added
  // first (the latest saved first among equals); at most `limit`.
  asio::awaitable<std::vector<AddedItem>> recentlyAdded(int limit);

  // A count that grows with every change made to the library (plays and scans
  // included): what was read at the same count is still true.
  asio::awaitable<std::int64_t> changeCount();

 private:
  WallClock clock_;
  std::unique_ptr<detail::LibraryStore> store_;    // used on the database thread only
  std::unique_ptr<detail::MusicFileStore> files_;  // likewise
  std::unique_ptr<detail::FileMatcher> matcher_;   // likewise
  Database database_;                              // stops before store_ goes
};

}  // namespace melodock
