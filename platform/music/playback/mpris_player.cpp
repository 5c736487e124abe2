#include "platform/music/playback/mpris_player.h"

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

namespace melodock {
namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRoot = "org.mpris.MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr const char* kTrackPrefix = "/org/melodock/track/";
// A jump this far from where the clock says the position is counts as a seek.
constexpr std::int64_t kSeekSlackUs = 1'500'000;

using Status = MusicPlayer::Status;
using Micros = std::chrono::microseconds;

// What the bus shows, read from the player on its actor and handed to the bus's strand.
struct Snapshot {
  std::string status = "Stopped";
  std::string loop = "None";
  bool shuffle = false;
  std::string trackID = kNoTrack;
  std::string title;
  std::vector<std::string> artists;
  std::optional<std::string> album;
  std::optional<std::int64_t> lengthUs;
  std::optional<std::string> artURL;
  std::int64_t positionUs = 0;  // at `at`
  Clock::TimePoint at{};
  bool canNext = false;
  bool canPrevious = false;
  bool hasEntry = false;

  // The position now, moving on from `at` while playing.
  [[nodiscard]] std::int64_t positionAt(Clock::TimePoint now) const {
    std::int64_t position = positionUs;
    if (status == "Playing") {
      position += std::chrono::duration_cast<Micros>(now - at).count();
    }
    if (lengthUs) position = std::min(position, *lengthUs);
    return position;
  }
};

std::vector<std::string> changedNames(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> names;
  if (before.status != after.status) names.emplace_back("PlaybackStatus");
  if (before.loop != after.loop) names.emplace_back("LoopStatus");
  if (before.shuffle != after.shuffle) names.emplace_back("Shuffle");
  if (before.trackID != after.trackID || before.title != after.title ||
      before.artists != after.artists || before.album != after.album ||
      before.lengthUs != after.lengthUs || before.artURL != after.artURL) {
    names.emplace_back("Metadata");
  }
  if (before.canNext != after.canNext) names.emplace_back("CanGoNext");
  if (before.canPrevious != after.canPrevious) names.emplace_back("CanGoPrevious");
  if (before.hasEntry != after.hasEntry) {
    names.insert(names.end(), {"CanPlay", "CanPause", "CanSeek"});
  }
  return names;
}

std::string statusName(Status status) {
  switch (status) {
    case Status::playing:
    case Status::seekingForward:
    case Status::seekingBackward:
      return "Playing";
    case Status::paused:
    case Status::interrupted:
      return "Paused";
    case Status::stopped:
      return "Stopped";
  }
  return "Stopped";
}

std::string loopName(MusicPlayer::RepeatMode mode) {
  switch (mode) {
    case MusicPlayer::RepeatMode::one:
      return "Track";
    case MusicPlayer::RepeatMode::all:
      return "Playlist";
    case MusicPlayer::RepeatMode::none:
      return "None";
  }
  return "None";
}

}  // namespace

// On the bus's strand: the exported object and the last snapshot it answers from.
struct MprisPlayer::Published {
  std::shared_ptr<DBusConnection> bus;
  std::unique_ptr<sdbus::IObject> object;
  Snapshot snapshot;
  Clock* clock = nullptr;
  std::weak_ptr<MprisPlayer::Shared> shared;
  std::function<void()> raise;  // empty: the app cannot be raised
};

// On the player's actor.
struct MprisPlayer::Shared : std::enable_shared_from_this<MprisPlayer::Shared> {
  MusicPlayer& player;
  asio::any_io_executor main;
  Clock& clock;
  std::shared_ptr<DBusConnection> bus;
  std::shared_ptr<Published> published;
  Snapshot last;
  std::unique_ptr<Clock::Timer> check;

  Shared(MusicPlayer& player, asio::any_io_executor main, Clock& clock,
         std::shared_ptr<DBusConnection> bus)
      : player(player), main(std::move(main)), clock(clock), bus(std::move(bus)) {}

  [[nodiscard]] Snapshot read() const {
    Snapshot next;
    next.status = statusName(player.status());
    next.loop = loopName(player.repeatMode());
    next.shuffle = player.shuffleMode() == MusicPlayer::ShuffleMode::songs;
    next.at = clock.now();
    const auto* entry = player.currentEntry();
    if (entry == nullptr) return next;
    next.hasEntry = true;
    next.trackID = kTrackPrefix + entry->id;
    next.title = entry->title;
    if (entry->subtitle) next.artists = {*entry->subtitle};
    if (entry->song) {
      next.artists = {entry->song->artistName};
      next.album = entry->song->albumTitle;
    }
    if (entry->duration)
      next.lengthUs = std::chrono::duration_cast<Micros>(*entry->duration).count();
    if (entry->artwork) {
      const std::string url =
          artworkURL(*entry->artwork, entry->artwork->width, entry->artwork->height);
      if (url.starts_with("file://")) next.artURL = url;
    }
    next.positionUs = static_cast<std::int64_t>(std::llround(player.playbackTime() * 1e6));
    const auto& entries = player.entries();
    const auto index = static_cast<std::size_t>(entry - entries.data());
    const bool repeats = player.repeatMode() != MusicPlayer::RepeatMode::none;
    next.canNext = index + 1 < entries.size() || repeats;
    next.canPrevious = index > 0 || repeats;
    return next;
  }

  // Reads the player and tells the bus what changed; `seeked` when the position moved
  // other than by playing.
  void refresh(bool seeked) {
    Snapshot next = read();
    const std::int64_t expected = last.positionAt(next.at);
    if (!seeked && last.trackID == next.trackID &&
        std::llabs(next.positionUs - expected) > kSeekSlackUs) {
      seeked = true;
    }
    std::vector<std::string> names = changedNames(last, next);
    last = next;
    // The position is watched only while it moves: paused or stopped, it stands still,
    // and the player announces every other change, so an idle app runs no timer.
    if (last.status != "Playing") {
      check.reset();
    } else if (!check) {
      watchPosition();
    }
    if (names.empty() && !seeked) {
      bus->post([published = published, next] { published->snapshot = next; });
      return;
    }
    bus->post([published = published, next, names = std::move(names), seeked] {
      published->snapshot = next;
      if (!published->object) return;
      try {
        if (!names.empty()) published->object->emitPropertiesChangedSignal(kPlayer, names);
        if (seeked) {
          published->object->emitSignal("Seeked").onInterface(kPlayer).withArguments(
              next.positionUs);
        }
      } catch (const sdbus::Error&) {
        // The bus went away: nobody is listening.
      }
    });
  }

  // After a change the player announces (before making it), read once it is made.
  void soon(bool seeked = false) {
    asio::post(main, [weak = weak_from_this(), seeked] {
      if (const auto self = weak.lock()) self->refresh(seeked);
    });
  }

  void watchPosition() {
    check = clock.schedule(main, kPositionCheck, [weak = weak_from_this()] {
      const auto self = weak.lock();
      if (!self) return;
      self->check.reset();
      self->refresh(false);  // schedules the next check while playing
    });
  }

  // Runs `command` on the player's actor; a command the player refuses does nothing.
  void command(std::function<void(MusicPlayer&)> work, bool seeks = false) {
    asio::post(main, [weak = weak_from_this(), work = std::move(work), seeks] {
      const auto self = weak.lock();
      if (!self) return;
      try {
        work(self->player);
      } catch (const PlayerError&) {
        // Nothing to play, or no next entry: MPRIS asks for no answer.
      }
      self->refresh(seeks);
    });
  }
};

namespace {

void publish(const std::shared_ptr<MprisPlayer::Published>& published) {
  MprisPlayer::Published* const state = published.get();
  sdbus::IConnection& connection = state->bus->connection();
  connection.requestName(MprisPlayer::kBusName);
  state->object = sdbus::createObject(connection, kPath);
  sdbus::IObject& object = *state->object;
  auto command = [state](std::function<void(MusicPlayer&)> work, bool seeks = false) {
    if (const auto shared = state->shared.lock()) shared->command(std::move(work), seeks);
  };
  auto snapshot = [state]() -> const Snapshot& { return state->snapshot; };

  object.registerMethod("Raise").onInterface(kRoot).implementedAs([state] {
    if (state->raise) state->raise();
  });
  object.registerMethod("Quit").onInterface(kRoot).implementedAs([] {});
  object.registerProperty("CanQuit").onInterface(kRoot).withGetter([] { return false; });
  object.registerProperty("CanRaise").onInterface(kRoot).withGetter([state] {
    return static_cast<bool>(state->raise);
  });
  object.registerProperty("HasTrackList").onInterface(kRoot).withGetter([] { return false; });
  object.registerProperty("Identity").onInterface(kRoot).withGetter([] {
    return std::string(MprisPlayer::kIdentity);
  });
  object.registerProperty("SupportedUriSchemes").onInterface(kRoot).withGetter([] {
    return std::vector<std::string>{};
  });
  object.registerProperty("SupportedMimeTypes").onInterface(kRoot).withGetter([] {
    return std::vector<std::string>{};
  });

  object.registerMethod("Next").onInterface(kPlayer).implementedAs(
      [command] { command([](MusicPlayer& player) { player.skipToNextEntry(); }); });
  object.registerMethod("Previous").onInterface(kPlayer).implementedAs([command] {
    command([](MusicPlayer& player) { player.skipToPreviousEntry(); });
  });
  object.registerMethod("Pause").onInterface(kPlayer).implementedAs(
      [command] { command([](MusicPlayer& player) { player.pause(); }); });
  object.registerMethod("PlayPause").onInterface(kPlayer).implementedAs([command] {
    command([](MusicPlayer& player) {
      player.status() == Status::playing ? player.pause() : player.play();
    });
  });
  object.registerMethod("Stop").onInterface(kPlayer).implementedAs(
      [command] { command([](MusicPlayer& player) { player.stop(); }); });
  object.registerMethod("Play").onInterface(kPlayer).implementedAs(
      [command] { command([](MusicPlayer& player) { player.play(); }); });
  object.registerMethod("Seek").onInterface(kPlayer).withInputParamNames("Offset").implementedAs(
      [command](std::int64_t offsetUs) {
        command(
            [offsetUs](MusicPlayer& player) {
              if (player.currentEntry() == nullptr) return;
              player.setPlaybackTime(player.playbackTime() + static_cast<double>(offsetUs) / 1e6);
            },
            true);
      });
  object.registerMethod("SetPosition")
      .onInterface(kPlayer)
      .withInputParamNames("TrackId", "Position")
      .implementedAs([command](const sdbus::ObjectPath& track, std::int64_t positionUs) {
        command(
            [track = std::string(track), positionUs](MusicPlayer& player) {
              const auto* entry = player.currentEntry();
              // A stale track id or a position outside the track is ignored, as MPRIS says.
              if (entry == nullptr || track != kTrackPrefix + entry->id || positionUs < 0) return;
              if (entry->duration &&
                  positionUs > std::chrono::duration_cast<Micros>(*entry->duration).count()) {
                return;
              }
              player.setPlaybackTime(static_cast<double>(positionUs) / 1e6);
            },
            true);
      });
  object.registerMethod("OpenUri").onInterface(kPlayer).withInputParamNames("Uri").implementedAs(
      [](const std::string&) {
        throw sdbus::Error("org.mpris.MediaPlayer2.melodock.NotSupported",
                           "Melodock plays what agents queue; it opens no URIs.");
      });
  object.registerSignal("Seeked").onInterface(kPlayer).withParameters<std::int64_t>("Position");

  object.registerProperty("PlaybackStatus").onInterface(kPlayer).withGetter([snapshot] {
    return snapshot().status;
  });
  object.registerProperty("LoopStatus")
      .onInterface(kPlayer)
      .withGetter([snapshot] { return snapshot().loop; })
      .withSetter([command](const std::string& loop) {
        const auto mode = loop == "Track"      ? MusicPlayer::RepeatMode::one
                          : loop == "Playlist" ? MusicPlayer::RepeatMode::all
                                               : MusicPlayer::RepeatMode::none;
        command([mode](MusicPlayer& player) { player.setRepeatMode(mode); });
      });
  object.registerProperty("Shuffle")
      .onInterface(kPlayer)
      .withGetter([snapshot] { return snapshot().shuffle; })
      .withSetter([command](const bool& shuffle) {
        command([shuffle](MusicPlayer& player) {
          player.setShuffleMode(shuffle ? MusicPlayer::ShuffleMode::songs
                                        : MusicPlayer::ShuffleMode::off);
        });
      });
  object.registerProperty("Metadata").onInterface(kPlayer).withGetter([snapshot] {
    const Snapshot& now = snapshot();
    std::map<std::string, sdbus::Variant> metadata;
    metadata.emplace("mpris:trackid", sdbus::Variant(sdbus::ObjectPath(now.trackID)));
    if (!now.hasEntry) return metadata;
    metadata.emplace("xesam:title", sdbus::Variant(now.title));
    if (!now.artists.empty()) metadata.emplace("xesam:artist", sdbus::Variant(now.artists));
    if (now.album) metadata.emplace("xesam:album", sdbus::Variant(*now.album));
    if (now.lengthUs) metadata.emplace("mpris:length", sdbus::Variant(*now.lengthUs));
    if (now.artURL) metadata.emplace("mpris:artUrl", sdbus::Variant(*now.artURL));
    return metadata;
  });
  object.registerProperty("Position")
      .onInterface(kPlayer)
      .withGetter([state] { return state->snapshot.positionAt(state->clock->now()); })
      .withUpdateBehavior(sdbus::Flags::EMITS_NO_SIGNAL);
  object.registerProperty("Rate")
      .onInterface(kPlayer)
      .withGetter([] { return 1.0; })
      .withSetter([](const double&) {});
  object.registerProperty("Volume")
      .onInterface(kPlayer)
      .withGetter([] { return 1.0; })
      .withSetter([](const double&) {});
  object.registerProperty("MinimumRate").onInterface(kPlayer).withGetter([] { return 1.0; });
  object.registerProperty("MaximumRate").onInterface(kPlayer).withGetter([] { return 1.0; });
  object.registerProperty("CanGoNext").onInterface(kPlayer).withGetter([snapshot] {
    return snapshot().canNext;
  });
  object.registerProperty("CanGoPrevious").onInterface(kPlayer).withGetter([snapshot] {
    return snapshot().canPrevious;
  });
  object.registerProperty("CanPlay").onInterface(kPlayer).withGetter(
      [snapshot] { return snapshot().hasEntry; });
  object.registerProperty("CanPause").onInterface(kPlayer).withGetter([snapshot] {
    return snapshot().hasEntry;
  });
  object.registerProperty("CanSeek").onInterface(kPlayer).withGetter(
      [snapshot] { return snapshot().hasEntry; });
  object.registerProperty("CanControl").onInterface(kPlayer).withGetter([] { return true; });
  object.finishRegistration();
}

}  // namespace

MprisPlayer::MprisPlayer(std::shared_ptr<DBusConnection> sessionBus, MusicPlayer& player,
                         asio::any_io_executor main, Clock& clock, std::function<void()> raise)
    : bus_(std::move(sessionBus)) {
  if (!bus_) return;
  shared_ = std::make_shared<Shared>(player, std::move(main), clock, bus_);
  auto published = std::make_shared<Published>();
  published->bus = bus_;
  published->clock = &clock;
  published->shared = shared_;
  published->raise = std::move(raise);
  shared_->published = published;
  bus_->setUp([published] {
    try {
      publish(published);
    } catch (const sdbus::Error&) {
      published->object.reset();  // the name is taken or the bus refuses: stay off it
    }
  });
  player.observe([weak = std::weak_ptr<Shared>(shared_)] {
    if (const auto shared = weak.lock()) shared->soon();
  });
  shared_->soon();
}

MprisPlayer::~MprisPlayer() {
  if (!shared_) return;
  shared_->check.reset();
  // The object goes on the strand, where sdbus-c++ may be using it.
  bus_->post([published = std::move(shared_->published)]() mutable {
    published->object.reset();
    published.reset();
  });
}

}  // namespace melodock
