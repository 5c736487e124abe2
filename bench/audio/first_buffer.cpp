// The time from the player's load (playing) of a song with a file to its first audio
// buffer reaching the sink, through GStreamerOutput, for each format of the music folder.
// The files are 30-second tones made here first; the sink is a fakesink that keeps time,
// so the figure holds everything but the sound device's own latency.
//
//   melodock-bench-first-buffer [rounds]      (default 30 per format)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <stdlib.h>

#include <gst/gst.h>

#include "platform/actor.h"
#include "platform/executor.h"
#include "platform/music/playback/gstreamer_output.h"

namespace {

using Clock = std::chrono::steady_clock;

void encode(const std::string& encoder, const std::filesystem::path& path) {
  const std::string description =
      "audiotestsrc num-buffers=3000 samplesperbuffer=441 ! audio/x-raw,rate=44100,channels=2 ! "
      "audioconvert ! " +
      encoder + " ! filesink location=\"" + path.string() + "\"";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* done = gst_bus_timed_pop_filtered(
      bus, GST_CLOCK_TIME_NONE, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  gst_message_unref(done);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}

std::atomic<Clock::rep> firstBuffer{0};

void onHandoff(GstElement*, GstBuffer*, GstPad*, gpointer) {
  Clock::rep none = 0;
  firstBuffer.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace melodock;
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
  gst_init(nullptr, nullptr);
  std::string pattern = (std::filesystem::temp_directory_path() / "melodock-bench-XXXXXX").string();
  const std::filesystem::path dir = mkdtemp(pattern.data());

  const std::vector<std::pair<std::string, std::string>> formats = {
      {"wav", "wavenc"},
      {"flac", "flacenc"},
      {"mp3", "lamemp3enc target=bitrate cbr=true bitrate=192"},
      {"ogg", "vorbisenc ! oggmux"},
      {"opus", "audioresample ! opusenc ! oggmux"},
      {"m4a", "avenc_aac ! mp4mux"},
  };
  Executor executor(2);
  MainActor main(executor);
  GStreamerOutput output(
      main.strand(),
      {.sink = "fakesink sync=true signal-handoffs=true name=sink",
       .prepare =
           [](GstElement* pipeline) {
             GstElement* sink = nullptr;
             g_object_get(pipeline, "audio-sink", &sink, nullptr);
             GstElement* fake = gst_bin_get_by_name(GST_BIN(sink), "sink");
             g_signal_connect(fake, "handoff", G_CALLBACK(onHandoff), nullptr);
             gst_object_unref(fake);
             gst_object_unref(sink);
           },
       .log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }});
  auto on = [&main](auto work) {
    std::promise<void> done;
    asio::post(main.strand(), [&] {
      work();
      done.set_value();
    });
    done.get_future().wait();
  };

  std::printf("format  rounds  median ms  p90 ms  max ms\n");
  std::uint64_t token = 0;
  for (const auto& [extension, encoder] : formats) {
    const auto path = dir / ("tone." + extension);
    encode(encoder, path);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
      Song song;
      song.id = "i.bench";
      song.title = "bench";
      song.file = path.string();
      firstBuffer = 0;
      const auto start = Clock::now();
      on([&] { output.load(OutputItem{++token, song, std::nullopt, false}, {}, true); });
      while (firstBuffer == 0 && Clock::now() - start < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      if (firstBuffer != 0) {
        times.push_back(std::chrono::duration<double, std::milli>(
                            Clock::time_point(Clock::duration(firstBuffer.load())) - start)
                            .count());
      }
      on([&] { output.stop(); });
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) {
      std::printf("%-6s  %6d  no buffer\n", extension.c_str(), rounds);
      continue;
    }
    std::printf("%-6s  %6zu  %9.1f  %6.1f  %6.1f\n", extension.c_str(), times.size(),
                times[times.size() / 2], times[times.size() * 9 / 10], times.back());
  }
  on([&] { output.stop(); });
  executor.stop();
  std::filesystem::remove_all(dir);
  return 0;
}
