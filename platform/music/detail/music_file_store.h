// The library's songs and albums from the user's music files, read and written on the
// library's database thread. A file's song is found by its path, so its "i." id stays
// while the path does; a file album ("l.") is found by its title and album artist.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/music/detail/statement.h"
#include "platform/music/music_file.h"

namespace melodock::detail {

class MusicFileStore {
 public:
  // `connection` must be at the current schema version.
  explicit MusicFileStore(sqlite3* connection) : connection_(connection) {}

  // The files at `under` or inside it; every file when `under` is empty.
  std::vector<KnownMusicFile> files(const std::string& under);
  // One transaction; `now` (milliseconds since the epoch) is when new files first
  // appeared.
  void store(const MusicFileChanges& changes, std::int64_t now);

 private:
  std::string nextID(const char* prefix);
  std::string album(const std::string& title, const std::string& artist, std::int64_t now);
  void addArtist(const std::string& name);
  // Sets present on the song at `path`; returns its album, if any.
  std::optional<std::string> mark(const std::string& path, bool present);
  void write(const ReadMusicFile& file, const std::optional<std::string>& albumID,
             std::int64_t now);
  void recount(const std::string& albumID);

  sqlite3* connection_;
  StatementCache statements_;
};

}  // namespace melodock::detail
