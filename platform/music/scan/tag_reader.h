// Reads what a music file's tags say, with TagLib: FLAC, MP3, Ogg Vorbis, Opus, M4A
// (AAC and ALAC) and WAV. Embedded cover pictures are kept as files in an artwork
// folder, one file per distinct picture, so the songs of an album share one file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "platform/music/library/music_file.h"

namespace melodock {

class TagReader {
 public:
  // The names given when the tags give none.
  static constexpr const char* kUnknownArtist = "Unknown Artist";
  static constexpr const char* kVariousArtists = melodock::kVariousArtists;

  // `artworkFolder` is made when the first picture is kept there.
  explicit TagReader(std::filesystem::path artworkFolder);

  // $XDG_CACHE_HOME/melodock/artwork, or ~/.cache/melodock/artwork.
  [[nodiscard]] static std::filesystem::path defaultArtworkFolder();

  // Whether a file of this name is one of the formats read (by its extension).
  [[nodiscard]] static bool isMusicFile(std::string_view name);

  // The tags of the file at `path`, or nothing when TagLib cannot read it as audio.
  // The title falls back to the file name without its extension. A compilation without
  // an album artist has "Various Artists". The artwork is the embedded
  // picture (the front cover first), else `coverBeside` when given. Blocks on the file.
  [[nodiscard]] std::optional<MusicFileTags> read(
      const std::filesystem::path& path, const std::optional<std::filesystem::path>& coverBeside);

 private:
  // A file: URL of the cached copy of an embedded picture; nothing for other formats
  // than JPEG and PNG or when it cannot be written.
  std::optional<std::string> keep(std::string_view picture);

  std::filesystem::path folder_;
  std::unordered_set<std::string> kept_;  // file names known to be in the folder
  std::optional<std::pair<std::string, std::string>> lastPicture_;  // bytes, URL
};

// "file://" and `path` with every byte outside the unreserved set and "/" escaped.
[[nodiscard]] std::string fileURL(const std::filesystem::path& path);

}  // namespace melodock
