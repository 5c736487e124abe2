// The library's songs and albums from the user's music files, read and written on the
// library's database thread. A file's song is found by its path, so its "i." id stays
// while the path does; a file album ("l.") is the files of one folder with one album
// title, and its artist is counted again from them with its tracks.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/music/catalog/statement.h"
#include "platform/music/library/music_file.h"

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
  // What one store() has decided so far, inside its transaction.
  struct Batch {
    std::int64_t nextID = 0;       // the sequence's next value
    std::set<std::string> albums;  // to be counted again
    std::map<std::pair<std::string, std::string>, std::string> albumIDs;  // by folder, title
    std::set<std::string> artists;               // known to be or to become rows
    std::map<std::string, std::string> songIDs;  // by path, of files staged here
  };

  void stageTables();
  std::string nextID(Batch& batch, const char* prefix);
  // The file album's id; a new one is staged.
  std::string album(Batch& batch, const std::string& folder, const std::string& title,
                    const std::string& artist);
  void addArtist(Batch& batch, const std::string& name);
  void stage(Batch& batch, const ReadMusicFile& file);
  // Sets present on the songs at `paths`; their albums are counted again.
  void mark(Batch& batch, const std::vector<std::string>& paths, bool present);
  void recount(const std::string& albumID);

  sqlite3* connection_;
  StatementCache statements_;
  bool staged_ = false;  // the staging tables exist
};

}  // namespace melodock::detail
