// An output that plays songs' own audio files aloud through GStreamer's playbin. The
// pipeline, its bus and the file checks live on a thread of the output's own, since
// GStreamer's state changes wait for its streaming threads: the player's calls are
// handed over in order and return at once, and events come back on the player's actor.
// The bus is waited on by Asio there (no GLib loop runs); the entry that follows is
// handed to playbin while the current one finishes, so albums play without a gap. A
// file that is missing, unreadable or lacks a decoder is reported as a failure, and the
// player moves on; with no sound device it plays silently, in time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <asio.hpp>

#include "platform/music/playback/audio_output.h"

// GStreamer's own names for its types, declared here so that only this output's source
// includes GStreamer.
using GstElement = struct _GstElement;  // NOLINT(bugprone-reserved-identifier)
using GstMessage = struct _GstMessage;  // NOLINT(bugprone-reserved-identifier)

namespace melodock {

class GStreamerOutput final : public AudioOutput {
 public:
  // Said once, in the log, when no sound device takes the audio.
  static constexpr const char* kNoSoundDevice = "No sound device answers: Melodock plays silently.";

  struct Options {
    // A gst-launch description of the sink, e.g. "fakesink sync=true"; empty for the
    // desktop's sound device, silent when there is none.
    std::string sink{};
    // Called with the pipeline once it is made, before anything plays, on the output's
    // thread (tests hand it GStreamer's test clock here).
    std::function<void(GstElement* pipeline)> prepare{};
    // Where failures and the missing sound device are told, on the player's actor; may
    // be empty.
    std::function<void(const std::string&)> log{};
  };

  // Events are delivered on `executor` (the player's actor), which must be the one every
  // call comes from. GStreamer starts when the first file plays, or earlier with warmUp.
  GStreamerOutput(asio::any_io_executor executor, Options options);
  // Waits for the output's thread to take the pipeline down, and for the warm-up if one
  // is still running; no event is delivered afterwards.
  ~GStreamerOutput() override;

  // Starts GStreamer on a thread of its own and loads what a file's first pipeline needs
  // (the plugin registry, playbin's elements, the formats' decoders, every type finder,
  // the sound device's sink), so that the first song from a file starts as fast as the
  // later ones. Returns at once; calls after the first do nothing.
  void warmUp();

  void setListener(Listener* listener) override { listener_ = listener; }
  // `item.song->file` names the audio file; an item without one fails.
  void load(OutputItem item, Duration position, bool playing) override;
  void setNext(std::optional<OutputItem> item) override;
  void play() override;
  void pause() override;
  void stop() override;
  void seek(Duration position) override;
  [[nodiscard]] Duration position() const override;

  // Handles every call made so far and what waits on the bus now, and says how many
  // calls and bus messages the output's thread handled since the last drain; the events
  // they caused are queued on the actor on return. The bus is watched anyway; tests call
  // this to know everything so far has been handled. It waits for the output's thread:
  // never for the app's own use.
  std::size_t drain();

  // The Debian package that brings a decoder for `caps` (a GStreamer caps text).
  [[nodiscard]] static std::string decoderPackage(const std::string& caps);

  // Shared with GStreamer's streaming thread, which hands over in about-to-finish.
  struct Handover {
    std::mutex mutex;
    std::string uri;                 // what follows, or empty
    std::uint64_t token = 0;         // its token
    std::deque<std::uint64_t> sent;  // handed to playbin, not yet begun
  };

 private:
  // What position() answers from, kept by both sides: the actor writes what a call it
  // has just handed over means at once, the output's thread what its pipeline does once
  // it has caught up with every call.
  struct Where {
    std::mutex mutex;
    std::uint64_t asked = 0;    // calls handed over
    std::uint64_t handled = 0;  // ...and done on the output's thread
    GstElement* pipeline = nullptr;
    bool loaded = false;   // an item is current
    bool running = false;  // the pipeline answers for the position
    Duration held{0};      // the position otherwise
    std::optional<Duration> length;
  };

  // Runs `work` on the output's thread, after every call before it; `meaning` sets what
  // position() answers until then.
  void hand(std::function<void()> work, const std::function<void(Where&)>& meaning = {});
  void published();

  // On the output's thread from here on.
  bool build(std::string& why);
  void doLoad(OutputItem item, Duration position, bool playing);
  void doSetNext(std::optional<OutputItem> item);
  void doPlay();
  void doPause();
  void doStop();
  void doSeek(Duration position);
  void drainBus();
  void start(Duration position);
  void halt();
  void watch();
  void handle(GstMessage* message);
  void announce();
  void announceDuration();
  void finished();
  void fail(std::uint64_t token, const std::string& message);
  [[nodiscard]] Duration current() const;
  [[nodiscard]] std::optional<Duration> length() const;
  [[nodiscard]] std::optional<std::string> uriFor(const OutputItem& item, std::string& why) const;
  void deliver(std::function<void(Listener&)> event);
  void say(const std::string& text);

  // On the player's actor.
  asio::any_io_executor executor_;
  Options options_;
  Listener* listener_ = nullptr;
  bool used_ = false;  // a call that builds the pipeline was handed over
  // Events still queued for delivery are dropped once the output is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::thread warmer_;  // the warm-up; touches nothing of this object

  mutable Where where_;

  // The output's thread and what only it touches.
  asio::io_context context_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_{context_.get_executor()};
  GstElement* pipeline_ = nullptr;
  std::unique_ptr<asio::posix::stream_descriptor> bus_;
  std::shared_ptr<Handover> handover_ = std::make_shared<Handover>();
  std::optional<OutputItem> item_;
  std::optional<OutputItem> next_;
  bool playing_ = false;
  bool active_ = false;                  // the pipeline holds the current item
  bool prerolled_ = false;               // ...and has opened and decoded it
  bool streaming_ = false;               // ...and its stream began
  bool askedToPlay_ = false;             // the current item was asked to play since its load
  std::optional<Duration> pendingSeek_;  // to do once the pipeline can seek
  Duration held_{0};                     // the position while nothing is active
  std::optional<Duration> duration_;     // the current item's real length, once known
  bool started_ = false;                 // the current item was announced as playing
  std::optional<Duration> told_;         // the length last told for it
  std::uint64_t failed_ = 0;             // the rendering last reported as failed
  // What the last missing-plugin message asked for: its installer detail (with the
  // caps) and its description ("MPEG-4 AAC decoder").
  std::string missingDetail_;
  std::string missingDescription_;
  std::size_t handledSinceDrain_ = 0;
  std::thread thread_;  // last: started once everything it uses is made
};

}  // namespace melodock
