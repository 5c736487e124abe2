// A player on a virtual output and a manual clock, on a main actor of its own.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/music/playback/music_player.h"
#include "platform/music/playback/virtual_output.h"
#include "tests/support/await.h"
#include "tests/support/manual_clock.h"

namespace melodock::testing {

inline Song song(const std::string& id, int seconds, bool playable = true) {
  Song song;
  song.id = id;
  song.title = "Title " + id;
  song.artistName = "Artist " + id;
  if (seconds > 0) song.duration = std::chrono::seconds(seconds);
  if (playable) song.playParameters = PlayParameters{id, "song"};
  return song;
}

struct PlayerFixture {
  PlayerFixture()
      : player(output, clock,
               {.canPlayCatalog = [this] { return subscribed; },
                .songStarted =
                    [this](const Song& song, const std::optional<PlayContext>& context,
                           std::chrono::system_clock::time_point) {
                      played.push_back(song.id);
                      playedIn.push_back(context ? context->id : "");
                    },
                .seed = 7}) {}
  ~PlayerFixture() { executor.stop(); }

  // Runs `work` on the main actor, where the player lives.
  template <typename Work>
  auto on(Work work) {
    return runOn(main, std::move(work));
  }
  // Moves time on and lets every event it caused reach the player.
  void advance(std::chrono::milliseconds delay) {
    clock.advance(delay);
    on([] {});
  }
  // The ids of the queue's songs ("-" for an entry without one), the current one in [ ].
  std::string queue() {
    return on([this] {
      std::string text;
      const auto* current = player.currentEntry();
      for (const auto& entry : player.entries()) {
        const std::string id = entry.song ? entry.song->id : "-";
        text += (text.empty() ? "" : " ") + (&entry == current ? "[" + id + "]" : id);
      }
      return text;
    });
  }
  // Runs `action` on the main actor: "ok", or the PlayerError's text.
  std::string attempt(const std::function<void()>& action) {
    return on([&]() -> std::string {
      try {
        action();
        return "ok";
      } catch (const PlayerError& error) {
        return error.what();
      }
    });
  }
  double time() {
    return on([this] { return player.playbackTime(); });
  }
  MusicPlayer::Status status() {
    return on([this] { return player.status(); });
  }

  Executor executor{1};
  MainActor main{executor};
  ManualClock clock;
  bool subscribed = true;
  std::vector<std::string> played;    // touched on the main actor only
  std::vector<std::string> playedIn;  // the context id of each, or ""
  VirtualOutput output{clock, main.strand()};
  MusicPlayer player;
};

}  // namespace melodock::testing
