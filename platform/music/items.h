// The music items as plain values: what a catalog or library request hands back and
// what the player queues. An item holds its own fields only; its relationships (an
// album's tracks, an artist's top songs, a playlist's tracks) are loaded on request
// through the catalog or the library, never stored in the value.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace melodock {

// A calendar date with no time of day and no time zone: its year is the stored year.
// Sources that know only the year give the first of January of that year.
using ReleaseDate = std::chrono::year_month_day;

// A picture of an item at any size. `urlTemplate` holds "{w}" and "{h}" where the
// wanted pixel size goes; `width` and `height` are the largest size there is.
struct Artwork {
  std::string urlTemplate{};
  int width = 0;
  int height = 0;
  std::optional<std::string> backgroundColor{};  // "rrggbb"

  bool operator==(const Artwork&) const = default;
};

// The URL of `artwork` at `width` x `height` pixels.
[[nodiscard]] std::string artworkURL(const Artwork& artwork, int width, int height);

// What the player needs to play an item. An item without play parameters exists
// but cannot be played on this account.
struct PlayParameters {
  std::string id{};
  std::string kind{};  // "song", "musicVideo", "album", "playlist", "station"

  bool operator==(const PlayParameters&) const = default;
};

struct Song {
  std::string id{};  // a catalog id, or an "i." library id
  std::string title{};
  std::string artistName{};
  std::optional<std::string> albumTitle{};
  std::vector<std::string> genreNames{};
  std::optional<std::chrono::milliseconds> duration{};
  std::optional<int> trackNumber{};
  std::optional<int> discNumber{};
  std::optional<ReleaseDate> releaseDate{};
  std::optional<std::string> composerName{};
  std::optional<Artwork> artwork{};
  std::optional<PlayParameters> playParameters{};
  // The audio file that plays the song: a song of the user's music folder, or a catalog
  // song that one of its files matches; none for others, which play on the virtual output.
  std::optional<std::string> file{};

  bool operator==(const Song&) const = default;
};

struct MusicVideo {
  std::string id{};
  std::string title{};
  std::string artistName{};
  std::optional<std::string> albumTitle{};
  std::vector<std::string> genreNames{};
  std::optional<std::chrono::milliseconds> duration{};
  std::optional<int> trackNumber{};
  std::optional<int> discNumber{};
  std::optional<ReleaseDate> releaseDate{};
  std::optional<Artwork> artwork{};
  std::optional<PlayParameters> playParameters{};

  bool operator==(const MusicVideo&) const = default;
};

// One entry of an album or a playlist: a song or a music video.
using Track = std::variant<Song, MusicVideo>;

// The song a track holds, or nullptr for a music video.
[[nodiscard]] inline const Song* asSong(const Track& track) { return std::get_if<Song>(&track); }
[[nodiscard]] const std::string& trackID(const Track& track);
// The songs among `tracks`, in order.
[[nodiscard]] std::vector<Song> songsOf(const std::vector<Track>& tracks);
[[nodiscard]] const std::string& trackTitle(const Track& track);

struct Album {
  std::string id{};  // a catalog id, or an "l." library id
  std::string title{};
  std::string artistName{};
  std::vector<std::string> genreNames{};
  std::optional<ReleaseDate> releaseDate{};
  int trackCount = 0;  // songs and music videos
  std::optional<Artwork> artwork{};
  std::optional<PlayParameters> playParameters{};

  bool operator==(const Album&) const = default;
};

struct Artist {
  std::string id{};
  std::string name{};
  std::vector<std::string> genreNames{};  // most of the artist's songs first
  std::optional<Artwork> artwork{};

  bool operator==(const Artist&) const = default;
};

struct Playlist {
  std::string id{};  // "pl." in the catalog; "p." or "l." in the library
  std::string name{};
  std::optional<std::string> curatorName{};
  std::optional<std::string> description{};
  std::optional<Artwork> artwork{};
  std::optional<PlayParameters> playParameters{};

  bool operator==(const Playlist&) const = default;
};

struct Station {
  std::string id{};  // "ra."
  std::string name{};
  bool isLive = false;  // a live broadcast: one endless entry without a song
  std::optional<Artwork> artwork{};
  std::optional<PlayParameters> playParameters{};

  bool operator==(const Station&) const = default;
};

// What a song was played as part of: an album or a playlist.
struct PlayContext {
  std::string id{};
  std::string kind{};  // "albums" or "playlists"
  std::string name{};
  std::optional<std::string> artistName{};

  bool operator==(const PlayContext&) const = default;
};

// A release date from "YYYY", "YYYY-MM" or "YYYY-MM-DD" (the first month and day
// when left out); none for any other text or an impossible date.
[[nodiscard]] std::optional<ReleaseDate> parseReleaseDate(std::string_view text);
// "YYYY-MM-DD".
[[nodiscard]] std::string releaseDateText(const ReleaseDate& date);

// The year of a release date as stored.
[[nodiscard]] inline int yearOf(const ReleaseDate& date) { return static_cast<int>(date.year()); }

// Id forms shared by catalog and library ("p." and "pl." never overlap).
[[nodiscard]] inline bool isLibrarySongID(std::string_view id) { return id.starts_with("i."); }
[[nodiscard]] inline bool isLibraryItemID(std::string_view id) { return id.starts_with("l."); }
[[nodiscard]] inline bool isCloudPlaylistID(std::string_view id) { return id.starts_with("p."); }
[[nodiscard]] inline bool isCatalogPlaylistID(std::string_view id) { return id.starts_with("pl."); }

}  // namespace melodock
