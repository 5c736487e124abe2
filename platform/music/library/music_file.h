// The user's audio files as the library keeps them: what a scan found in a file and
// what tells the next scan whether the file changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/music/items.h"

namespace melodock {

// A file is read again only when its size or modification time changed.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch

  bool operator==(const FileStamp&) const = default;
};

// A file the library holds, present or vanished.
struct KnownMusicFile {
  std::string path{};
  FileStamp stamp{};
  bool present = true;
};

// The artist of an album whose songs name no album artist and have several artists.
inline constexpr const char* kVariousArtists = "Various Artists";

// What the tags of one file say. `song.id` is left empty: the library gives the id.
struct MusicFileTags {
  Song song{};  // title, artist, album, genre, duration, numbers, release date, artwork
  // The album artist the tags name ("Various Artists" for a compilation naming none).
  std::optional<std::string> albumArtist{};
  bool compilation = false;
  std::optional<int> trackCount{};
  std::optional<int> discCount{};
};

struct ReadMusicFile {
  std::string path{};
  FileStamp stamp{};
  MusicFileTags tags{};
};

// One batch of a scan, stored in one transaction.
struct MusicFileChanges {
  std::vector<ReadMusicFile> read{};    // new or changed files
  std::vector<std::string> returned{};  // vanished files back unchanged
  std::vector<std::string> vanished{};  // files gone from the folders
};

}  // namespace melodock
