// An output that renders nothing audible: it plays each item on a clock, so catalog
// songs (which have no audio here) and tests behave like a real player's. Time advances
// only while playing, and an item's end is a scheduled timer, so the end happens when
// it is due even if nobody looks.
#pragma once

#include <memory>
#include <optional>

#include <asio.hpp>

#include "platform/clock.h"
#include "platform/music/playback/audio_output.h"

namespace melodock {

class VirtualOutput final : public AudioOutput {
 public:
  // An item whose length nobody knows plays for this long (a typical song's length),
  // so a set without durations still moves on.
  static constexpr std::chrono::seconds kAssumedDuration{180};

  // Events are delivered on `executor` (the player's actor), which must be the one every
  // call comes from. `clock` must outlive the output.
  VirtualOutput(Clock& clock, asio::any_io_executor executor);

  void setListener(Listener* listener) override { listener_ = listener; }
  void load(OutputItem item, Duration position, bool playing) override;
  void setNext(std::optional<OutputItem> item) override { next_ = std::move(item); }
  void play() override;
  void pause() override;
  void stop() override;
  void seek(Duration position) override;
  [[nodiscard]] Duration position() const override;

 private:
  [[nodiscard]] std::optional<Duration> length() const;
  void scheduleEnd();
  void reached();
  void deliver(std::function<void(Listener&)> event);

  Clock& clock_;
  asio::any_io_executor executor_;
  Listener* listener_ = nullptr;
  std::optional<OutputItem> item_;
  std::optional<OutputItem> next_;
  bool playing_ = false;
  Duration base_{0};              // position when last paused, loaded or moved
  Clock::TimePoint resumedAt_{};  // when playing last began
  std::unique_ptr<Clock::Timer> end_;
  // Events still queued for delivery are dropped once the output is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace melodock
