#include "ui/now_playing_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace melodock {
namespace nowplaying {

const QueueItem* currentItem(const NowPlayingSnapshot& snapshot) {
  if (!snapshot.current || *snapshot.current >= snapshot.entries.size()) return nullptr;
  return &snapshot.entries[*snapshot.current];
}

std::string title(const NowPlayingSnapshot& snapshot) {
  const QueueItem* item = currentItem(snapshot);
  return item != nullptr ? item->title : std::string(kNothingPlaying);
}

std::string subtitle(const NowPlayingSnapshot& snapshot) {
  const QueueItem* item = currentItem(snapshot);
  return item != nullptr ? item->subtitle : std::string(kAskYourAI);
}

bool hasNext(const NowPlayingSnapshot& snapshot) {
  if (snapshot.repeat != MusicPlayer::RepeatMode::none) return true;
  return currentItem(snapshot) != nullptr && *snapshot.current + 1 < snapshot.entries.size();
}

std::string formatTime(double seconds) {
  const long long whole =
      std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(seconds) : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
  return text;
}

double seekTime(double x, double width, double duration) {
  if (!(width > 0) || !(duration > 0)) return 0;
  return duration * std::clamp(x / width, 0.0, 1.0);
}

double progress(const NowPlayingSnapshot& snapshot) {
  const QueueItem* item = currentItem(snapshot);
  if (item == nullptr || !(item->duration > 0)) return 0;
  return std::clamp(snapshot.playbackTime / item->duration, 0.0, 1.0);
}

std::vector<QueueRow> queueRows(const NowPlayingSnapshot& snapshot) {
  std::vector<QueueRow> rows;
  rows.reserve(snapshot.entries.size());
  for (std::size_t i = 0; i < snapshot.entries.size(); ++i) {
    const QueueItem& item = snapshot.entries[i];
    rows.push_back({.title = item.title,
                    .subtitle = item.subtitle,
                    .artworkURL = item.artworkURL,
                    .isCurrent = snapshot.current == i,
                    .isPlayed = snapshot.current && i < *snapshot.current,
                    .isPlaying = snapshot.playing});
  }
  return rows;
}

std::optional<std::string> jumpTarget(const NowPlayingSnapshot& snapshot, std::size_t index) {
  if (index >= snapshot.entries.size() || snapshot.current == index) return std::nullopt;
  return snapshot.entries[index].id;
}

std::string songSubtitle(const MusicPlayer::Entry& entry, const std::optional<Song>& song) {
  if (!song) return entry.subtitle.value_or("");
  std::string text = song->artistName;
  if (song->albumTitle && !song->albumTitle->empty()) {
    if (!text.empty()) text += " — ";
    text += *song->albumTitle;
  }
  return text;
}

}  // namespace nowplaying

double Marquee::cycle() const {
  if (!scrolls()) return 0;
  return kPause + travel() + kPause + kFadeTime;
}

// One cycle: pause; fade in while the travel begins; travel; pause; fade out with the
// offset back at 0.
Marquee::Frame Marquee::at(double elapsed) const {
  if (!scrolls() || !(elapsed > 0)) return {};
  double t = std::fmod(elapsed, cycle());
  if (t < kPause) return {};
  t -= kPause;
  const double distance = textWidth_ + kGap;
  if (t < travel()) {
    return {.offset = distance * t / travel(), .fade = std::min(1.0, t / kFadeTime)};
  }
  t -= travel();
  if (t < kPause) return {.offset = 0, .fade = 1};
  t -= kPause;
  return {.offset = 0, .fade = std::max(0.0, 1 - t / kFadeTime)};
}

}  // namespace melodock
