// The seam under the player: an output renders one queue entry at a time and tells the
// player what happened. The player keeps the queue and the state; the output never sees
// the queue, only the entry it plays and the one to follow it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/music/items.h"

namespace melodock {

// One rendering of a queue entry. Each load or hand-over gets a token of its own, so
// the player can tell a replay of the same entry from the first play.
struct OutputItem {
  std::uint64_t token = 0;
  std::optional<Song> song;  // none for a live station or a music video
  // What the entry says of its length; none for a live station, which never ends.
  std::optional<std::chrono::milliseconds> duration;
  bool live = false;
};

class AudioOutput {
 public:
  using Duration = std::chrono::steady_clock::duration;

  // Events arrive on the player's actor, never inside a call made by the player.
  class Listener {
   public:
    virtual ~Listener() = default;
    // The item with `token` began to render: after a load that plays, or when the output
    // handed over to the item given to setNext.
    virtual void outputStarted(std::uint64_t token) = 0;
    // The item's real length, once the output knows it.
    virtual void outputDuration(std::uint64_t token, Duration duration) = 0;
    // The item ended and nothing was set to follow it.
    virtual void outputEnded(std::uint64_t token) = 0;
    // The item cannot be rendered; `message` says why, for the user.
    virtual void outputFailed(std::uint64_t token, std::string message) = 0;
  };

  AudioOutput() = default;
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;
  virtual ~AudioOutput() = default;

  // `listener` must outlive the output or be replaced first.
  virtual void setListener(Listener* listener) = 0;
  // Starts rendering `item` at `position`, playing or paused, in place of anything else.
  virtual void load(OutputItem item, Duration position, bool playing) = 0;
  // What follows the current item without a gap when it ends; none to stop there.
  virtual void setNext(std::optional<OutputItem> item) = 0;
  virtual void play() = 0;
  virtual void pause() = 0;
  // Unloads the current item; nothing renders until the next load.
  virtual void stop() = 0;
  // Moves within the current item; a position past its end ends it.
  virtual void seek(Duration position) = 0;
  [[nodiscard]] virtual Duration position() const = 0;
};

}  // namespace melodock
