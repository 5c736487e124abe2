#include "platform/music/playback/virtual_output.h"

#include <algorithm>

namespace melodock {

VirtualOutput::VirtualOutput(Clock& clock, asio::any_io_executor executor)
    : clock_(clock), executor_(std::move(executor)) {}

std::optional<AudioOutput::Duration> VirtualOutput::length() const {
  if (!item_ || item_->live) return std::nullopt;
  return item_->duration ? Duration(*item_->duration) : Duration(kAssumedDuration);
}

AudioOutput::Duration VirtualOutput::position() const {
  if (!item_) return Duration::zero();
  Duration now = base_;
  if (playing_) now += clock_.now() - resumedAt_;
  if (const auto end = length()) now = std::min(now, *end);
  return now;
}

void VirtualOutput::load(OutputItem item, Duration position, bool playing) {
  end_.reset();
  item_ = std::move(item);
  next_.reset();
  base_ = std::max(position, Duration::zero());
  playing_ = false;
  if (playing) play();
}

void VirtualOutput::play() {
  if (!item_ || playing_) return;
  playing_ = true;
  resumedAt_ = clock_.now();
  const std::uint64_t token = item_->token;
  deliver([token](Listener& listener) { listener.outputStarted(token); });
  if (const auto end = length()) {
    deliver([token, end = *end](Listener& listener) { listener.outputDuration(token, end); });
  }
  scheduleEnd();
}

void VirtualOutput::pause() {
  if (!playing_) return;
  base_ = position();
  playing_ = false;
  end_.reset();
}

void VirtualOutput::stop() {
  end_.reset();
  item_.reset();
  next_.reset();
  playing_ = false;
  base_ = Duration::zero();
}

void VirtualOutput::seek(Duration position) {
  if (!item_) return;
  base_ = std::max(position, Duration::zero());
  if (const auto end = length()) base_ = std::min(base_, *end);
  resumedAt_ = clock_.now();
  if (playing_) scheduleEnd();
}

void VirtualOutput::scheduleEnd() {
  end_.reset();
  const auto end = length();
  if (!end || !playing_) return;
  const Duration left = std::max(*end - position(), Duration::zero());
  end_ = clock_.schedule(executor_, left, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.lock()) reached();
  });
}

// The current item played to its end: hand over to the next one, or stop there.
void VirtualOutput::reached() {
  end_.reset();
  const std::uint64_t ended = item_ ? item_->token : 0;
  if (next_) {
    OutputItem next = std::move(*next_);
    next_.reset();
    item_ = std::move(next);
    base_ = Duration::zero();
    playing_ = false;
    play();
    return;
  }
  base_ = length().value_or(base_);
  playing_ = false;
  deliver([ended](Listener& listener) { listener.outputEnded(ended); });
}

void VirtualOutput::deliver(std::function<void(Listener&)> event) {
  asio::post(executor_, [this, alive = std::weak_ptr<bool>(alive_), event = std::move(event)] {
    if (alive.lock() && listener_) event(*listener_);
  });
}

}  // namespace melodock
