#include "platform/music/playback/gstreamer_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <future>
#include <system_error>
#include <utility>

#include <gst/gst.h>
#include <gst/pbutils/missing-plugins.h>

namespace melodock {
namespace {

// playbin's flags: audio, and volume done in software; no video or subtitles.
constexpr guint kAudioOnly = 0x02U | 0x10U;

GstClockTime gstTime(AudioOutput::Duration value) {
  return static_cast<GstClockTime>(std::chrono::nanoseconds(value).count());
}

AudioOutput::Duration fromNanoseconds(gint64 nanoseconds) {
  return std::chrono::duration_cast<AudioOutput::Duration>(std::chrono::nanoseconds(nanoseconds));
}

std::string title(const OutputItem& item) { return item.song ? item.song->title : "This entry"; }

// GStreamer's strings are freed by GLib.
std::string take(gchar* text) {
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

void onAboutToFinish(GstElement* playbin, gpointer data) {
  auto& handover = *static_cast<GStreamerOutput::Handover*>(data);
  const std::lock_guard lock(handover.mutex);
  if (handover.uri.empty()) return;  // nothing follows: the stream ends
  g_object_set(playbin, "uri", handover.uri.c_str(), nullptr);
  handover.sent.push_back(handover.token);
  handover.uri.clear();
}

// What a playbin playing one of the scanner's formats loads, beside the type finders.
constexpr std::array<const char*, 24> kFirstPipeline = {
    "playbin",  "playsink",  "uridecodebin", "urisourcebin", "decodebin",      "filesrc",
    "typefind", "queue2",    "multiqueue",   "audioconvert", "audioresample",  "volume",
    "fakesink", "id3demux",  "flacparse",    "flacdec",      "mpegaudioparse", "mpg123audiodec",
    "oggdemux", "vorbisdec", "opusdec",      "qtdemux",      "avdec_aac",      "wavparse"};

void load(GstPluginFeature* feature) {
  if (GstPluginFeature* loaded = gst_plugin_feature_load(feature); loaded != nullptr) {
    gst_object_unref(loaded);
  }
}

// Off every actor: the registry's first load and the plugins' take about half a second.
void warmUpGStreamer(bool soundDevice) {
  gst_init(nullptr, nullptr);
  GstRegistry* registry = gst_registry_get();
  for (const char* name : kFirstPipeline) {
    if (GstPluginFeature* feature = gst_registry_lookup_feature(registry, name)) {
      load(feature);
      gst_object_unref(feature);
    }
  }
  // Finding a new file's type tries every type finder, which loads its plugin.
  GList* finders = gst_type_find_factory_get_list();
  for (GList* at = finders; at != nullptr; at = at->next) {
    load(GST_PLUGIN_FEATURE(at->data));
  }
  gst_plugin_feature_list_free(finders);
  if (!soundDevice) return;
  // Opening the sound device once loads its sink and the sound server's client.
  if (GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr)) {
    gst_object_ref_sink(sink);
    gst_element_set_state(sink, GST_STATE_READY);
    gst_element_set_state(sink, GST_STATE_NULL);
    gst_object_unref(sink);
  }
}

}  // namespace

GStreamerOutput::GStreamerOutput(asio::any_io_executor executor, Options options)
    : executor_(std::move(executor)), options_(std::move(options)) {
  thread_ = std::thread([this] { context_.run(); });
}

void GStreamerOutput::warmUp() {
  if (warmer_.joinable() || used_) return;
  warmer_ = std::thread(warmUpGStreamer, options_.sink.empty());
}

GStreamerOutput::~GStreamerOutput() {
  // After every call handed over; closing the bus ends the last wait, and the thread.
  asio::post(context_, [this] {
    if (pipeline_ != nullptr) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      gst_object_unref(pipeline_);
      pipeline_ = nullptr;
    }
    bus_.reset();
  });
  work_.reset();
  thread_.join();
  if (warmer_.joinable()) warmer_.join();
}

void GStreamerOutput::hand(std::function<void()> work, const std::function<void(Where&)>& meaning) {
  std::uint64_t call = 0;
  {
    const std::lock_guard lock(where_.mutex);
    call = ++where_.asked;
    if (meaning) meaning(where_);
  }
  asio::post(context_, [this, call, work = std::move(work)] {
    try {
      work();
    } catch (const std::exception& error) {
      say(std::string("The audio output failed: ") + error.what());
    }
    ++handledSinceDrain_;
    {
      const std::lock_guard lock(where_.mutex);
      where_.handled = call;
    }
    published();
  });
}

// What the pipeline does now becomes what position() answers, unless a call handed
// over since says otherwise.
void GStreamerOutput::published() {
  const std::lock_guard lock(where_.mutex);
  if (where_.handled != where_.asked) return;
  where_.pipeline = pipeline_;
  where_.loaded = item_.has_value();
  where_.running = active_ && !pendingSeek_;
  where_.held = pendingSeek_.value_or(held_);
  where_.length = length();
}

std::string GStreamerOutput::decoderPackage(const std::string& caps) {
  const auto has = [&caps](const char* text) { return caps.find(text) != std::string::npos; };
  if (has("audio/x-vorbis") || has("audio/x-opus") || has("application/ogg")) {
    return "gstreamer1.0-plugins-base";
  }
  if (has("audio/x-flac") || has("audio/x-wav") || has("video/quicktime") ||
      (has("audio/mpeg") && has("mpegversion=(int)1"))) {
    return "gstreamer1.0-plugins-good";
  }
  return "gstreamer1.0-libav";  // AAC, ALAC and most other codecs
}

// Makes the pipeline on first use: playbin into the sound device (or a silent sink in
// time when none answers), its bus watched on the output's thread.
bool GStreamerOutput::build(std::string& why) {
  if (pipeline_ != nullptr) return true;
  gst_init(nullptr, nullptr);  // once per process; waits for a warm-up under way
  GstElement* sink = nullptr;
  if (!options_.sink.empty()) {
    GError* error = nullptr;
    sink = gst_parse_bin_from_description(options_.sink.c_str(), TRUE, &error);
    if (error != nullptr) {
      say("The audio sink \"" + options_.sink + "\" cannot be made: " + error->message);
      g_clear_error(&error);
    }
  } else {
    sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (sink != nullptr &&
        gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
      gst_element_set_state(sink, GST_STATE_NULL);
      gst_object_unref(sink);
      sink = nullptr;
    }
    if (sink == nullptr) say(kNoSoundDevice);
  }
  if (sink == nullptr) {
    sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
  }
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  if (playbin == nullptr) {
    if (sink != nullptr) gst_object_unref(gst_object_ref_sink(sink));
    why = "GStreamer has no playbin";
    return false;
  }
  // A duplicate of the bus's descriptor, so Asio never closes the one the bus owns.
  GstBus* bus = gst_element_get_bus(playbin);
  GPollFD poll{};
  gst_bus_get_pollfd(bus, &poll);
  gst_object_unref(bus);
  const int watched = ::fcntl(poll.fd, F_DUPFD_CLOEXEC, 0);
  if (watched < 0) {
    if (sink != nullptr) gst_object_unref(gst_object_ref_sink(sink));
    gst_object_unref(gst_object_ref_sink(playbin));
    why = std::system_error(errno, std::system_category(), "dup").what();
    return false;
  }
  pipeline_ = playbin;
  gst_object_ref_sink(pipeline_);
  g_object_set(pipeline_, "audio-sink", sink, "flags", kAudioOnly, nullptr);
  g_signal_connect(pipeline_, "about-to-finish", G_CALLBACK(onAboutToFinish), handover_.get());
  if (options_.prepare) options_.prepare(pipeline_);
  bus_ = std::make_unique<asio::posix::stream_descriptor>(context_, watched);
  watch();
  return true;
}

void GStreamerOutput::watch() {
  // The destructor closes the bus on this thread before it ends: `this` outlives the wait.
  bus_->async_wait(asio::posix::descriptor_base::wait_read, [this](const std::error_code& error) {
    if (error || !bus_) return;
    drainBus();
    published();
    watch();
  });
}

std::size_t GStreamerOutput::drain() {
  // Not a call of its own: it changes nothing position() answers.
  std::promise<std::size_t> handled;
  asio::post(context_, [this, &handled] {
    drainBus();
    published();
    handled.set_value(std::exchange(handledSinceDrain_, 0));
  });
  return handled.get_future().get();
}

void GStreamerOutput::drainBus() {
  if (pipeline_ == nullptr) return;
  GstBus* bus = gst_element_get_bus(pipeline_);
  while (GstMessage* message = gst_bus_pop(bus)) {
    handle(message);
    gst_message_unref(message);
    ++handledSinceDrain_;
  }
  gst_object_unref(bus);
}

std::optional<std::string> GStreamerOutput::uriFor(const OutputItem& item, std::string& why) const {
  if (!item.song || !item.song->file) {
    why = "\"" + title(item) + "\" can't be played: it has no audio file.";
    return std::nullopt;
  }
  const std::filesystem::path path(*item.song->file);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    why = "\"" + title(item) + "\" can't be played: its file " + path.string() + " is missing.";
    return std::nullopt;
  }
  GError* failure = nullptr;
  std::string uri = take(gst_filename_to_uri(path.c_str(), &failure));
  if (failure != nullptr) {
    why = "\"" + title(item) + "\" can't be played: " + failure->message;
    g_clear_error(&failure);
    return std::nullopt;
  }
  return uri;
}

void GStreamerOutput::load(OutputItem item, Duration position, bool playing) {
  used_ = true;
  const Duration at = std::max(position, Duration::zero());
  std::optional<Duration> length;
  if (item.duration) length = Duration(*item.duration);
  hand([this, item = std::move(item), at,
        playing]() mutable { doLoad(std::move(item), at, playing); },
       [at, length](Where& where) {
         where.loaded = true;
         where.running = false;
         where.held = at;
         where.length = length;
       });
}

void GStreamerOutput::setNext(std::optional<OutputItem> item) {
  hand([this, item = std::move(item)]() mutable { doSetNext(std::move(item)); });
}

void GStreamerOutput::play() {
  hand([this] { doPlay(); });
}

void GStreamerOutput::pause() {
  const Duration at = position();
  hand([this] { doPause(); },
       [at](Where& where) {
         where.running = false;
         where.held = at;
       });
}

void GStreamerOutput::stop() {
  hand([this] { doStop(); },
       [](Where& where) {
         where.loaded = false;
         where.running = false;
         where.held = Duration::zero();
       });
}

void GStreamerOutput::seek(Duration position) {
  position = std::max(position, Duration::zero());
  hand([this, position] { doSeek(position); },
       [position](Where& where) {
         if (!where.loaded) return;
         where.running = false;
         where.held = where.length ? std::min(position, *where.length) : position;
       });
}

// The pipeline is asked for its position from here: a query, which waits for no stream.
AudioOutput::Duration GStreamerOutput::position() const {
  GstElement* pipeline = nullptr;
  Duration held{0};
  std::optional<Duration> length;
  {
    const std::lock_guard lock(where_.mutex);
    if (!where_.loaded) return Duration::zero();
    held = where_.held;
    if (!where_.running) return held;
    pipeline = where_.pipeline;
    length = where_.length;
  }
  gint64 at = 0;
  // The pipeline is unmade only by the destructor, on this same actor.
  if (pipeline == nullptr || !gst_element_query_position(pipeline, GST_FORMAT_TIME, &at) ||
      at < 0) {
    return held;
  }
  Duration now = fromNanoseconds(at);
  if (length) now = std::min(now, *length);
  return now;
}

void GStreamerOutput::doLoad(OutputItem item, Duration position, bool playing) {
  std::string broken;
  const bool built = build(broken);
  halt();
  next_.reset();
  {
    const std::lock_guard lock(handover_->mutex);
    handover_->uri.clear();
    handover_->sent.clear();
  }
  item_ = std::move(item);
  started_ = false;
  playing_ = playing;
  askedToPlay_ = playing;
  held_ = std::max(position, Duration::zero());
  duration_.reset();
  told_.reset();
  if (!built) {
    fail(item_->token, "\"" + title(*item_) + "\" can't be played: " + broken + ".");
    return;
  }
  std::string why;
  const auto uri = uriFor(*item_, why);
  if (!uri) {
    fail(item_->token, why);
    return;
  }
  g_object_set(pipeline_, "uri", uri->c_str(), nullptr);
  start(held_);
}

// Sets the pipeline going with the current item at `position`.
void GStreamerOutput::start(Duration position) {
  missingDetail_.clear();
  missingDescription_.clear();
  active_ = true;
  prerolled_ = false;
  streaming_ = false;
  pendingSeek_.reset();
  if (position > Duration::zero()) pendingSeek_ = position;
  // A seek needs a prerolled pipeline: pause first, then play once it has moved.
  const bool paused = !playing_ || pendingSeek_;
  if (gst_element_set_state(pipeline_, paused ? GST_STATE_PAUSED : GST_STATE_PLAYING) ==
      GST_STATE_CHANGE_FAILURE) {
    // The reason follows on the bus as an error message.
    return;
  }
}

void GStreamerOutput::halt() {
  if (pipeline_ != nullptr) gst_element_set_state(pipeline_, GST_STATE_NULL);
  active_ = false;
  pendingSeek_.reset();
  if (bus_) drainBus();  // what the old item left on the bus is stale now
}

void GStreamerOutput::doSetNext(std::optional<OutputItem> item) {
  next_ = std::move(item);
  std::string uri;
  if (next_) {
    std::string why;
    uri = uriFor(*next_, why).value_or("");  // an unplayable one fails when its turn comes
  }
  const std::lock_guard lock(handover_->mutex);
  handover_->uri = uri;
  handover_->token = next_ ? next_->token : 0;
}

void GStreamerOutput::doPlay() {
  if (!item_ || playing_) return;
  playing_ = true;
  askedToPlay_ = true;
  if (!active_) {
    std::string why;
    if (!build(why)) {
      return fail(item_->token, "\"" + title(*item_) + "\" can't be played: " + why + ".");
    }
    const auto uri = uriFor(*item_, why);
    if (!uri) return fail(item_->token, why);
    g_object_set(pipeline_, "uri", uri->c_str(), nullptr);
    start(held_);
    return;
  }
  if (!pendingSeek_) gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  if (prerolled_) announce();
}

void GStreamerOutput::doPause() {
  if (!playing_) return;
  held_ = current();
  playing_ = false;
  if (active_) gst_element_set_state(pipeline_, GST_STATE_PAUSED);
}

void GStreamerOutput::doStop() {
  halt();
  item_.reset();
  doSetNext(std::nullopt);
  playing_ = false;
  held_ = Duration::zero();
}

void GStreamerOutput::doSeek(Duration position) {
  if (!item_) return;
  position = std::max(position, Duration::zero());
  if (const auto end = length(); end && position >= *end) {
    held_ = *end;
    if (active_) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      active_ = false;
    }
    finished();
    return;
  }
  held_ = position;
  if (!active_) return;
  if (pendingSeek_ || !gst_element_seek_simple(
                          pipeline_, GST_FORMAT_TIME,
                          static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                          static_cast<gint64>(gstTime(position)))) {
    pendingSeek_ = position;  // not prerolled yet: done once it is
  }
}

std::optional<AudioOutput::Duration> GStreamerOutput::length() const {
  if (duration_) return duration_;
  if (item_ && item_->duration) return Duration(*item_->duration);
  return std::nullopt;
}

AudioOutput::Duration GStreamerOutput::current() const {
  if (!item_) return Duration::zero();
  if (!active_ || pendingSeek_) return pendingSeek_.value_or(held_);
  gint64 at = 0;
  if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &at) || at < 0) return held_;
  Duration now = fromNanoseconds(at);
  if (const auto end = length()) now = std::min(now, *end);
  return now;
}

// The item plays (as far as the player is concerned, from now): started, and its length
// as far as it is known.
void GStreamerOutput::announce() {
  if (!item_) return;
  const std::uint64_t token = item_->token;
  deliver([token](Listener& listener) { listener.outputStarted(token); });
  started_ = true;
  announceDuration();
}

// Tells the item's length once started: the tag's first, then the file's own where it
// differs (a wrong tag is corrected as soon as the pipeline knows better).
void GStreamerOutput::announceDuration() {
  if (!item_) return;
  bool handing = false;  // once handed over, playbin answers for what follows
  {
    const std::lock_guard lock(handover_->mutex);
    handing = !handover_->sent.empty();
  }
  gint64 nanoseconds = 0;
  if (active_ && !handing && gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &nanoseconds) &&
      nanoseconds > 0) {
    duration_ = fromNanoseconds(nanoseconds);
  }
  const auto length = this->length();
  if (!started_ || !length || told_ == length) return;
  told_ = length;
  deliver([token = item_->token, real = *length](Listener& listener) {
    listener.outputDuration(token, real);
  });
}

// The current item reached its end: what follows plays now, or the output ends there.
void GStreamerOutput::finished() {
  if (!item_) return;
  if (askedToPlay_ && !started_) announce();  // moved to its end before it could sound
  if (next_) {
    OutputItem next = std::move(*next_);
    doLoad(std::move(next), Duration::zero(), true);
    return;
  }
  if (const auto end = length()) held_ = *end;
  if (active_) gst_element_set_state(pipeline_, GST_STATE_NULL);
  active_ = false;
  playing_ = false;
  deliver([token = item_->token](Listener& listener) { listener.outputEnded(token); });
}

void GStreamerOutput::fail(std::uint64_t token, const std::string& message) {
  // A paused load that failed fails again when asked to play: said once.
  if (token == failed_) return;
  failed_ = token;
  say(message);
  deliver([token, message](Listener& listener) { listener.outputFailed(token, message); });
}

void GStreamerOutput::handle(GstMessage* message) {
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE: {
      if (!active_) break;
      // The file opened and decodes: it counts as started once it is asked to play.
      if (!prerolled_) {
        prerolled_ = true;
        if (askedToPlay_) announce();
      }
      if (pendingSeek_) {
        const Duration to = *pendingSeek_;
        pendingSeek_.reset();
        gst_element_seek_simple(
            pipeline_, GST_FORMAT_TIME,
            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
            static_cast<gint64>(gstTime(to)));
        if (playing_) gst_element_set_state(pipeline_, GST_STATE_PLAYING);
      }
      announceDuration();
      break;
    }
    case GST_MESSAGE_DURATION_CHANGED:
      announceDuration();
      break;
    case GST_MESSAGE_STREAM_START: {
      if (!active_) break;
      if (!streaming_) {
        streaming_ = true;  // the loaded item's own start; any later one is a hand-over
        break;
      }
      std::uint64_t token = 0;
      {
        const std::lock_guard lock(handover_->mutex);
        if (handover_->sent.empty()) break;  // the loaded item's own start
        token = handover_->sent.front();
        handover_->sent.pop_front();
      }
      if (!next_ || next_->token != token) break;  // overtaken by a newer load
      item_ = std::move(*next_);
      next_.reset();
      duration_.reset();
      told_.reset();
      announce();
      break;
    }
    case GST_MESSAGE_EOS:
      if (active_) finished();
      break;
    case GST_MESSAGE_ELEMENT:
      if (gst_is_missing_plugin_message(message) != 0) {
        missingDetail_ = take(gst_missing_plugin_message_get_installer_detail(message));
        missingDescription_ = take(gst_missing_plugin_message_get_description(message));
      }
      break;
    case GST_MESSAGE_ERROR: {
      if (!active_ || !item_) break;
      GError* error = nullptr;
      gchar* debug = nullptr;
      gst_message_parse_error(message, &error, &debug);
      g_free(debug);
      std::uint64_t token = item_->token;
      {
        // An error after a hand-over belongs to the entry handed over.
        const std::lock_guard lock(handover_->mutex);
        if (!handover_->sent.empty()) token = handover_->sent.back();
        handover_->sent.clear();
      }
      const bool followed = next_ && next_->token == token;
      // What follows broke the pipeline while the current item played its last part.
      if (followed && askedToPlay_ && !started_) announce();
      const OutputItem& failed = followed ? *next_ : *item_;
      const std::string file = failed.song && failed.song->file ? *failed.song->file : "";
      std::string text;
      if (!missingDetail_.empty() ||
          g_error_matches(error, GST_CORE_ERROR, GST_CORE_ERROR_MISSING_PLUGIN) ||
          g_error_matches(error, GST_STREAM_ERROR, GST_STREAM_ERROR_CODEC_NOT_FOUND)) {
        const std::string what =
            missingDescription_.empty() ? std::string("its format") : missingDescription_;
        text = "\"" + title(failed) + "\" can't be played: GStreamer has no " + what +
               " (the Debian package " + decoderPackage(missingDetail_) + " brings it).";
      } else {
        text = "\"" + title(failed) + "\" can't be played: GStreamer cannot read " + file + " (" +
               error->message + ").";
      }
      g_clear_error(&error);
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      active_ = false;
      held_ = Duration::zero();
      fail(token, text);
      break;
    }
    default:
      break;
  }
}

void GStreamerOutput::deliver(std::function<void(Listener&)> event) {
  published();  // the player may ask for the position as soon as it hears
  asio::post(executor_, [this, alive = std::weak_ptr<bool>(alive_), event = std::move(event)] {
    if (alive.lock() && listener_) event(*listener_);
  });
}

void GStreamerOutput::say(const std::string& text) {
  if (!options_.log) return;
  asio::post(executor_, [this, alive = std::weak_ptr<bool>(alive_), text] {
    if (alive.lock()) options_.log(text);
  });
}

}  // namespace melodock
