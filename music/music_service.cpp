#include "music/music_service.h"

#include <cmath>

#include "music/detail/note_text.h"
#include "music/detail/result_text.h"
#include "music/tool_error.h"

namespace melodock {
namespace {

using Status = MusicPlayer::Status;

constexpr std::string_view kNotAuthorized =
    "Apple Music access isn't granted yet. Ask the user to open the Melodock panel and click Set "
    "Up Apple Music.";
constexpr const char* kPersonalDataRefusal =
    "The user chose not to share their library and listening history. Continue without it. They "
    "can turn it on later: Melodock panel \u2192 Connect Your AI \u2192 Share Library & History.";
constexpr const char* kLibraryChangesRefusal =
    "The user chose not to allow changes to their library. They can turn it on later: Melodock "
    "panel \u2192 Connect Your AI \u2192 Allow Library Changes.";
constexpr std::string_view kBadAction =
    "action must be play, pause, toggle, next, previous, or stop";
constexpr std::string_view kBadRepeat = "repeat must be off, one, or all";

constexpr int kSettleChecks = 20;
constexpr auto kSettlePause = std::chrono::milliseconds(100);
constexpr auto kReloadRetry = std::chrono::seconds(15);

std::string statusName(Status status) {
  switch (status) {
    case Status::playing:
      return "playing";
    case Status::paused:
      return "paused";
    case Status::stopped:
      return "stopped";
    case Status::interrupted:
      return "interrupted";
    case Status::seekingForward:
      return "seekingForward";
    case Status::seekingBackward:
      return "seekingBackward";
  }
  return "stopped";
}

std::string repeatName(MusicPlayer::RepeatMode mode) {
  switch (mode) {
    case MusicPlayer::RepeatMode::one:
      return "one";
    case MusicPlayer::RepeatMode::all:
      return "all";
    case MusicPlayer::RepeatMode::none:
      break;
  }
  return "off";
}

// Whole seconds, truncated toward zero.
std::int64_t wholeSeconds(double seconds) {
  return std::isfinite(seconds) ? static_cast<std::int64_t>(std::trunc(seconds)) : 0;
}

}  // namespace

MusicService::MusicService(Parts parts)
    : parts_(std::move(parts)),
      authorization_(MusicAuthorization::parse(
          AppSettings(parts_.settings).get(setting::kMusicAuthorization))) {
  parts_.player.observe([this] { playerWillChange(); });
}

MusicService::~MusicService() {
  *alive_ = false;
  if (activityHeld_ && parts_.keepAwake) parts_.keepAwake(false);
}

void MusicService::observe(std::function<void()> observer) {
  observers_.push_back(std::move(observer));
}

void MusicService::changed() {
  for (const auto& observer : observers_) observer();
}

void MusicService::setAuthorization(MusicAuthorization::Status status) {
  if (status == authorization_) return;
  authorization_ = status;
  changed();
}

void MusicService::requireAuthorized() const {
  if (authorization_ != MusicAuthorization::Status::authorized) {
    throw ToolError(std::string(kNotAuthorized));
  }
}

asio::awaitable<void> MusicService::refreshSubscription() {
  if (authorization_ != MusicAuthorization::Status::authorized) co_return;
  // The account's subscription is a stored setting here; an account without one is
  // configured by storing false.
  const bool canPlay = AppSettings(parts_.settings).get(setting::kMusicSubscription);
  if (canPlay != canPlayCatalog_) {
    canPlayCatalog_ = canPlay;
    changed();
  }
}

asio::awaitable<void> MusicService::requirePersonalData() {
  co_await requireConsent(setting::kSharePersonalData, PermissionPrompt::Kind::library,
                          kPersonalDataRefusal);
}

asio::awaitable<void> MusicService::requireLibraryChanges() {
  co_await requireConsent(setting::kAllowLibraryChanges, PermissionPrompt::Kind::changes,
                          kLibraryChangesRefusal);
}

asio::awaitable<void> MusicService::requireConsent(SettingKey<bool> key,
                                                   PermissionPrompt::Kind kind,
                                                   const char* refusal) {
  requireAuthorized();
  if (AppSettings(parts_.settings).get(key)) co_return;
  const bool allowed = co_await parts_.prompt.ask(kind);
  if (!allowed) throw ToolError(refusal);
  AppSettings(parts_.settings).set(key, true);
}

mcp::Value::Object MusicService::songDict(const Song& song) {
  mcp::Value::Object object{
      {"id", song.id},
      {"name", song.title},
      {"artist", song.artistName},
  };
  if (song.albumTitle) object.emplace("album", *song.albumTitle);
  if (!song.genreNames.empty()) object.emplace("genre", song.genreNames.front());
  if (song.releaseDate)
    object.emplace("year", static_cast<std::int64_t>(yearOf(*song.releaseDate)));
  if (song.duration) {
    object.emplace("duration",
                   static_cast<std::int64_t>(
                       std::chrono::duration_cast<std::chrono::seconds>(*song.duration).count()));
  }
  return object;
}

mcp::Value::Object MusicService::entryDict(const MusicPlayer::Entry& entry) {
  if (const std::optional<Song> song = songFor(entry)) return songDict(*song);
  mcp::Value::Object object{{"name", entry.title}};
  if (entry.subtitle) object.emplace("subtitle", *entry.subtitle);
  return object;
}

std::optional<Song> MusicService::songFor(const MusicPlayer::Entry& entry) {
  if (entry.song) return entry.song;
  if (parts_.player.shuffleMode() == MusicPlayer::ShuffleMode::songs) return std::nullopt;
  const auto& entries = parts_.player.entries();
  if (entries.size() != queuedSongs.size()) return std::nullopt;
  for (std::size_t position = 0; position < entries.size(); ++position) {
    if (entries[position].id == entry.id) return complete(queuedSongs[position]);
  }
  return std::nullopt;
}

Song MusicService::complete(const Song& song) {
  if (song.artwork) return song;
  if (const auto found = reloaded_.find(song.id); found != reloaded_.end()) return found->second;
  if (reloading_.insert(song.id).second) {
    asio::co_spawn(parts_.main.strand(), reload(song.id, alive_), [](const std::exception_ptr&) {
      // A failed reload is silent: it is tried again no sooner than 15 seconds later.
    });
  }
  return song;
}

asio::awaitable<void> MusicService::reload(std::string id, std::weak_ptr<bool> alive) {
  std::optional<Song> found;
  try {
    std::vector<std::string> ids{id};
    std::vector<Song> songs = co_await resolveSongs(std::move(ids));
    if (!songs.empty() && songs.front().artwork) found = std::move(songs.front());
  } catch (const std::exception&) {
    // Treated as finding nothing.
  }
  if (!alive.lock()) co_return;
  if (found) {
    reloaded_[id] = std::move(*found);  // the id stays in `reloading_`: never again
    changed();
    co_return;
  }
  co_await parts_.clock.sleep(kReloadRetry);
  if (!alive.lock()) co_return;
  reloading_.erase(id);
}

mcp::Value::Object MusicService::nowPlayingObject() {
  MusicPlayer& player = parts_.player;
  mcp::Value::Object object{
      {"status", statusName(player.status())},
      {"shuffle", player.shuffleMode() == MusicPlayer::ShuffleMode::songs},
      {"repeat", repeatName(player.repeatMode())},
      {"queue_length", static_cast<std::int64_t>(player.entries().size())},
  };
  if (const MusicPlayer::Entry* current = player.currentEntry()) {
    object.emplace("track", entryDict(*current));
    object.emplace("position", wholeSeconds(player.playbackTime()));
  }
  if (parts_.network.isLowDataMode()) object.emplace("low_data_mode", true);
  if (note_) object.emplace("note", *note_);
  return object;
}

asio::awaitable<mcp::Value> MusicService::nowPlayingDict() { co_return nowPlayingObject(); }

asio::awaitable<std::string> MusicService::playback(std::string action) {
  requireAuthorized();
  MusicPlayer& player = parts_.player;
  const MusicPlayer::Entry* current = player.currentEntry();
  const Snapshot before{player.status(),
                        current ? std::optional<std::string>(current->id) : std::nullopt};
  if (action == "play") {
    player.play();
  } else if (action == "pause") {
    player.pause();
  } else if (action == "toggle") {
    if (player.status() == Status::playing) {
      player.pause();
    } else {
      player.play();
    }
  } else if (action == "next") {
    player.skipToNextEntry();
  } else if (action == "previous") {
    player.skipToPreviousEntry();
  } else if (action == "stop") {
    player.stop();
  } else {
    throw ToolError(std::string(kBadAction));
  }
  co_await settle(action, before);
  co_return detail::resultText(nowPlayingObject());
}

asio::awaitable<void> MusicService::settle(std::string action, Snapshot before) {
  MusicPlayer& player = parts_.player;
  co_await settleUntil([&] {
    const Status status = player.status();
    if (action == "play") return status == Status::playing;
    if (action == "pause" || action == "stop") return status != Status::playing;
    if (action == "toggle") return status != before.status;
    const MusicPlayer::Entry* current = player.currentEntry();
    if (!current) return before.entryID.has_value();
    return !before.entryID || *before.entryID != current->id;
  });
}

asio::awaitable<void> MusicService::settle(std::size_t queueLength) {
  MusicPlayer& player = parts_.player;
  co_await settleUntil(
      [&] { return player.status() == Status::playing && player.entries().size() >= queueLength; });
}

asio::awaitable<void> MusicService::settleUntil(std::function<bool()> settled) {
  for (int check = 0; check < kSettleChecks; ++check) {
    if (!settled()) co_await parts_.clock.sleep(kSettlePause);
  }
}

asio::awaitable<std::string> MusicService::seek(double seconds) {
  requireAuthorized();
  parts_.player.setPlaybackTime(std::isnan(seconds) || seconds < 0 ? 0 : seconds);
  co_return detail::resultText(
      mcp::Value::Object{{"position", wholeSeconds(parts_.player.playbackTime())}});
}

asio::awaitable<std::string> MusicService::setModes(std::optional<bool> shuffle,
                                                    std::optional<std::string> repeatMode) {
  requireAuthorized();
  MusicPlayer& player = parts_.player;
  if (shuffle) {
    player.setShuffleMode(*shuffle ? MusicPlayer::ShuffleMode::songs
                                   : MusicPlayer::ShuffleMode::off);
  }
  if (repeatMode) {
    if (*repeatMode == "off") {
      player.setRepeatMode(MusicPlayer::RepeatMode::none);
    } else if (*repeatMode == "one") {
      player.setRepeatMode(MusicPlayer::RepeatMode::one);
    } else if (*repeatMode == "all") {
      player.setRepeatMode(MusicPlayer::RepeatMode::all);
    } else {
      throw ToolError(std::string(kBadRepeat));
    }
  }
  co_return detail::resultText(mcp::Value::Object{
      {"shuffle", player.shuffleMode() == MusicPlayer::ShuffleMode::songs},
      {"repeat", repeatName(player.repeatMode())},
  });
}

asio::awaitable<void> MusicService::applyNote(std::optional<std::string> text) {
  std::optional<std::string> note = text ? detail::noteText(*text) : std::nullopt;
  if (note != note_) {
    note_ = std::move(note);
    changed();
  }
  co_return;
}

// The player tells before each change; the keep-awake rule reads the state after it,
// so it runs once the change is done.
void MusicService::playerWillChange() {
  asio::post(parts_.main.strand(), [this, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.lock()) return;
    const bool playing = parts_.player.status() == Status::playing;
    if (playing == activityHeld_) return;
    activityHeld_ = playing;
    if (parts_.keepAwake) parts_.keepAwake(playing);
  });
}

}  // namespace melodock
