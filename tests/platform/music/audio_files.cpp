#include "tests/platform/music/audio_files.h"

#include <stdexcept>

#include <gst/gst.h>

namespace melodock::testing {
namespace {

struct Recipe {
  const char* extension;
  const char* encoder;   // the element a machine may lack
  const char* pipeline;  // after "audioconvert": the encoder, and the container if any
};

const Recipe& recipe(AudioFormat format) {
  static const Recipe recipes[] = {
      {".wav", "wavenc", "wavenc"},
      {".flac", "flacenc", "flacenc"},
      {".mp3", "lamemp3enc", "lamemp3enc target=bitrate cbr=true bitrate=128"},
      {".ogg", "vorbisenc", "vorbisenc ! oggmux"},
      {".opus", "opusenc", "audioresample ! opusenc ! oggmux"},
      {".m4a", "avenc_aac", "avenc_aac ! mp4mux"},
      {".m4a", "avenc_alac", "avenc_alac ! mp4mux"},
  };
  return recipes[static_cast<int>(format)];
}

}  // namespace

std::string extensionOf(AudioFormat format) { return recipe(format).extension; }

bool canEncode(AudioFormat format) {
  gst_init(nullptr, nullptr);
  GstElementFactory* factory = gst_element_factory_find(recipe(format).encoder);
  if (factory == nullptr) return false;
  gst_object_unref(factory);
  return true;
}

void writeTone(const std::filesystem::path& path, AudioFormat format, int milliseconds) {
  gst_init(nullptr, nullptr);
  // 10 ms buffers at 44.1 kHz, so the length is exact.
  const std::string description =
      "audiotestsrc num-buffers=" + std::to_string(milliseconds / 10) +
      " samplesperbuffer=441 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! " +
      recipe(format).pipeline + " ! filesink location=\"" + path.string() + "\"";
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (error != nullptr) {
    const std::string message = error->message;
    g_clear_error(&error);
    if (pipeline != nullptr) gst_object_unref(pipeline);
    throw std::runtime_error("cannot make " + path.string() + ": " + message);
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* done = gst_bus_timed_pop_filtered(
      bus, 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool ok = done != nullptr && GST_MESSAGE_TYPE(done) == GST_MESSAGE_EOS;
  if (done != nullptr) gst_message_unref(done);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (!ok) throw std::runtime_error("cannot encode " + path.string());
}

}  // namespace melodock::testing
