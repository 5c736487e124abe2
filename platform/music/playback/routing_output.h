// Sends each entry to the output that can render it: a song with an audio file to the
// file output (GStreamer), anything else (catalog songs, stations) to the virtual one.
// The player sees one output; a hand-over between the two happens when the first ends.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/music/playback/audio_output.h"

namespace melodock {

class RoutingOutput final : public AudioOutput, private AudioOutput::Listener {
 public:
  // Both outputs must outlive this one and deliver on the actor every call comes from.
  RoutingOutput(AudioOutput& files, AudioOutput& others);
  ~RoutingOutput() override;

  void setListener(AudioOutput::Listener* listener) override { listener_ = listener; }
  void load(OutputItem item, Duration position, bool playing) override;
  void setNext(std::optional<OutputItem> item) override;
  void play() override;
  void pause() override;
  void stop() override;
  void seek(Duration position) override;
  [[nodiscard]] Duration position() const override;

 private:
  [[nodiscard]] AudioOutput& route(const OutputItem& item) const;

  void outputStarted(std::uint64_t token) override;
  void outputDuration(std::uint64_t token, Duration duration) override;
  void outputEnded(std::uint64_t token) override;
  void outputFailed(std::uint64_t token, std::string message) override;

  AudioOutput& files_;
  AudioOutput& others_;
  AudioOutput::Listener* listener_ = nullptr;
  AudioOutput* active_ = nullptr;  // renders the current item
  std::uint64_t current_ = 0;      // its token
  std::optional<OutputItem> next_;
  bool crossing_ = false;  // next_ plays on the other output, once the current one ends
};

}  // namespace melodock
