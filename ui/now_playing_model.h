// What the now-playing area shows, decided without a toolkit: the current song's
// titles, whether next is possible, the times, where a click on the progress track
// seeks, the queue rows' flags and the marquee's scrolling. It reads a snapshot of the
// player that the main actor takes.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/music/playback/music_player.h"

namespace melodock {

// One queue entry as the views need it.
struct QueueItem {
  std::string id;
  std::string title;       // the entry's title, else its song's, else "Unknown Song"
  std::string subtitle;    // artist — album, else the entry's subtitle
  std::string artworkURL;  // empty without artwork; a file:// URL for the scanner's covers
  double duration = 0;     // seconds; 0 when unknown

  friend bool operator==(const QueueItem&, const QueueItem&) = default;
};

// The player as the main actor saw it.
struct NowPlayingSnapshot {
  std::vector<QueueItem> entries;
  std::optional<std::size_t> current;  // index into `entries`
  bool playing = false;
  MusicPlayer::RepeatMode repeat = MusicPlayer::RepeatMode::none;
  double playbackTime = 0;  // seconds into the current entry
  std::optional<std::string> note;

  friend bool operator==(const NowPlayingSnapshot&, const NowPlayingSnapshot&) = default;

  // Takes the player's state; `songFor` gives the song behind an entry (the music
  // service's lookup), so titles and durations are known for bare entries too.
  template <typename SongFor>
  static NowPlayingSnapshot of(const MusicPlayer& player, SongFor&& songFor,
                               std::optional<std::string> note);
};

// One row of the queue list.
struct QueueRow {
  std::string title;
  std::string subtitle;
  std::string artworkURL;
  bool isCurrent = false;
  bool isPlayed = false;   // drawn at half opacity
  bool isPlaying = false;  // shows only together with isCurrent

  friend bool operator==(const QueueRow&, const QueueRow&) = default;
};

namespace nowplaying {

inline constexpr std::string_view kNothingPlaying = "Nothing playing";
inline constexpr std::string_view kAskYourAI = "Ask your AI to play something";
inline constexpr std::string_view kUnknownSong = "Unknown Song";
inline constexpr std::string_view kShowMore = "Show more";
inline constexpr std::string_view kShowLess = "Show less";
inline constexpr std::string_view kLowDataModeHint = "Low Data Mode is on. Playback may stutter.";
inline constexpr std::string_view kLowDataModeTitle = "Low Data Mode";
inline constexpr std::string_view kLowDataModeWhy =
    "With Low Data Mode on, Melodock can only buffer a little music ahead, so every dip in "
    "the connection becomes audible.";
inline constexpr std::string_view kLowDataModeHow =
    "On your computer: Settings → Network → your connection → Details…, then turn off "
    "Metered connection.";
inline constexpr std::string_view kOpenNetworkSettings = "Open Network Settings";

inline constexpr double kRowHeight = 34;
inline constexpr double kVisibleRows = 5.5;

[[nodiscard]] const QueueItem* currentItem(const NowPlayingSnapshot& snapshot);
[[nodiscard]] std::string title(const NowPlayingSnapshot& snapshot);
[[nodiscard]] std::string subtitle(const NowPlayingSnapshot& snapshot);
// True under repeat one or all; otherwise when the current entry is not the last.
[[nodiscard]] bool hasNext(const NowPlayingSnapshot& snapshot);
// Whole minutes and seconds, "%02d:%02d"; minutes are not capped (75:03).
[[nodiscard]] std::string formatTime(double seconds);
// The playback time a click `x` points into a track `width` wide seeks to, the
// fraction clamped to 0…1.
[[nodiscard]] double seekTime(double x, double width, double duration);
// The fill of the progress track, 0…1.
[[nodiscard]] double progress(const NowPlayingSnapshot& snapshot);
[[nodiscard]] std::vector<QueueRow> queueRows(const NowPlayingSnapshot& snapshot);
// The entry a click on row `index` makes current; nothing for the current row or a row
// that is gone.
[[nodiscard]] std::optional<std::string> jumpTarget(const NowPlayingSnapshot& snapshot,
                                                    std::size_t index);
// "artist — album", or the entry's subtitle when no song is known.
[[nodiscard]] std::string songSubtitle(const MusicPlayer::Entry& entry,
                                       const std::optional<Song>& song);

}  // namespace nowplaying

// A line of text that scrolls sideways when it does not fit: still when it fits within
// one point, else cycles of pause, fade in, travel, pause, fade out.
class Marquee {
 public:
  static constexpr double kSpeed = 30;   // points per second
  static constexpr double kPause = 2.5;  // seconds
  static constexpr double kGap = 36;     // points between the end and the repeated start
  static constexpr double kFade = 10;    // width of the edge fade
  static constexpr double kFadeTime = 0.25;

  Marquee(double textWidth, double containerWidth)
      : textWidth_(textWidth), containerWidth_(containerWidth) {}

  [[nodiscard]] bool scrolls() const { return textWidth_ - containerWidth_ > 1; }
  // The length of one cycle in seconds; 0 when it does not scroll.
  [[nodiscard]] double cycle() const;

  struct Frame {
    double offset = 0;  // how far the text has moved left
    double fade = 0;    // 0…1: how strongly the edges fade
  };
  // Where the text stands `elapsed` seconds after it appeared.
  [[nodiscard]] Frame at(double elapsed) const;

 private:
  [[nodiscard]] double travel() const { return (textWidth_ + kGap) / kSpeed; }

  double textWidth_;
  double containerWidth_;
};

template <typename SongFor>
NowPlayingSnapshot NowPlayingSnapshot::of(const MusicPlayer& player, SongFor&& songFor,
                                          std::optional<std::string> note) {
  NowPlayingSnapshot snapshot;
  const MusicPlayer::Entry* current = player.currentEntry();
  snapshot.entries.reserve(player.entries().size());
  for (const MusicPlayer::Entry& entry : player.entries()) {
    if (current != nullptr && entry.id == current->id) snapshot.current = snapshot.entries.size();
    const std::optional<Song> song = songFor(entry);
    QueueItem item{.id = entry.id,
                   .title = entry.title,
                   .subtitle = nowplaying::songSubtitle(entry, song),
                   .artworkURL = {},
                   .duration = 0};
    if (item.title.empty() && song) item.title = song->title;
    if (item.title.empty()) item.title = nowplaying::kUnknownSong;
    if (song && song->artwork) {
      item.artworkURL = song->artwork->urlTemplate;
    } else if (entry.artwork) {
      item.artworkURL = entry.artwork->urlTemplate;
    }
    if (song && song->duration) {
      item.duration = std::chrono::duration<double>(*song->duration).count();
    } else if (entry.duration) {
      item.duration = std::chrono::duration<double>(*entry.duration).count();
    }
    snapshot.entries.push_back(std::move(item));
  }
  snapshot.playing = player.status() == MusicPlayer::Status::playing;
  snapshot.repeat = player.repeatMode();
  snapshot.playbackTime = player.playbackTime();
  snapshot.note = std::move(note);
  return snapshot;
}

}  // namespace melodock
