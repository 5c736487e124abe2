#include "platform/music/playback/routing_output.h"

namespace melodock {

RoutingOutput::RoutingOutput(AudioOutput& files, AudioOutput& others)
    : files_(files), others_(others) {
  files_.setListener(this);
  others_.setListener(this);
}

RoutingOutput::~RoutingOutput() {
  files_.setListener(nullptr);
  others_.setListener(nullptr);
}

AudioOutput& RoutingOutput::route(const OutputItem& item) const {
  return item.song && item.song->file ? files_ : others_;
}

void RoutingOutput::load(OutputItem item, Duration position, bool playing) {
  AudioOutput& target = route(item);
  if (active_ != nullptr && active_ != &target) active_->stop();
  active_ = &target;
  current_ = item.token;
  next_.reset();
  crossing_ = false;
  target.load(std::move(item), position, playing);
}

void RoutingOutput::setNext(std::optional<OutputItem> item) {
  next_ = std::move(item);
  crossing_ = next_ && active_ != nullptr && &route(*next_) != active_;
  if (active_ == nullptr) return;
  active_->setNext(crossing_ ? std::nullopt : next_);
}

void RoutingOutput::play() {
  if (active_ != nullptr) active_->play();
}

void RoutingOutput::pause() {
  if (active_ != nullptr) active_->pause();
}

void RoutingOutput::stop() {
  if (active_ != nullptr) active_->stop();
  active_ = nullptr;
  next_.reset();
  crossing_ = false;
}

void RoutingOutput::seek(Duration position) {
  if (active_ != nullptr) active_->seek(position);
}

AudioOutput::Duration RoutingOutput::position() const {
  return active_ != nullptr ? active_->position() : Duration::zero();
}

void RoutingOutput::outputStarted(std::uint64_t token) {
  if (next_ && token == next_->token) {
    current_ = token;  // handed over within one output
    next_.reset();
    crossing_ = false;
  }
  if (listener_ != nullptr) listener_->outputStarted(token);
}

void RoutingOutput::outputDuration(std::uint64_t token, Duration duration) {
  if (listener_ != nullptr) listener_->outputDuration(token, duration);
}

void RoutingOutput::outputEnded(std::uint64_t token) {
  if (token == current_ && crossing_ && next_) {
    // What follows lives on the other output: it starts there now, as a hand-over.
    OutputItem next = std::move(*next_);
    next_.reset();
    crossing_ = false;
    active_->stop();
    active_ = &route(next);
    current_ = next.token;
    active_->load(std::move(next), Duration::zero(), true);
    return;
  }
  if (listener_ != nullptr) listener_->outputEnded(token);
}

void RoutingOutput::outputFailed(std::uint64_t token, std::string message) {
  if (listener_ != nullptr) listener_->outputFailed(token, std::move(message));
}

}  // namespace melodock
