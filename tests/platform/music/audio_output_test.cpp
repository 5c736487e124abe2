// What every audio output promises the player, row by row. The rows run against each
// output the machine can provide.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gst/check/gsttestclock.h>
#include <gst/gst.h>

#include "platform/music/playback/gstreamer_output.h"
#include "platform/music/playback/music_player.h"
#include "platform/music/playback/routing_output.h"
#include "platform/music/playback/virtual_output.h"
#include "tests/platform/music/audio_files.h"
#include "tests/support/await.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_clock.h"

namespace melodock {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Writes down each event as "started 1", "ended 1", ...
class Recorder final : public AudioOutput::Listener {
 public:
  void outputStarted(std::uint64_t token) override { add("started", token); }
  void outputDuration(std::uint64_t token, AudioOutput::Duration duration) override {
    add("duration " + std::to_string(std::chrono::duration_cast<milliseconds>(duration).count()),
        token);
  }
  void outputEnded(std::uint64_t token) override { add("ended", token); }
  void outputFailed(std::uint64_t token, std::string message) override {
    add("failed", token);
    messages.push_back(std::move(message));
  }
  std::vector<std::string> events;
  std::vector<std::string> messages;  // of the failures

 private:
  void add(const std::string& what, std::uint64_t token) {
    events.push_back(what + " " + std::to_string(token));
  }
};

// A WAV tone of `lengthMs`, made once per process.
std::string tone(int lengthMs) {
  static const testing::TempDir dir;
  const auto path = dir.path() / (std::to_string(lengthMs) + "ms.wav");
  if (!std::filesystem::exists(path)) testing::writeTone(path, testing::AudioFormat::wav, lengthMs);
  return path.string();
}

// An item whose tag says `lengthMs`, with `file` or else a tone of that length.
OutputItem item(std::uint64_t token, int lengthMs, const std::string& file = "") {
  Song song;
  song.id = std::to_string(token);
  song.title = "t";
  song.file = file.empty() ? tone(lengthMs) : file;
  return OutputItem{token, song, milliseconds(lengthMs), false};
}

// One output under test with its clock and the actor its events arrive on.
struct Bench {
  virtual ~Bench() { executor.stop(); }
  virtual AudioOutput& output() = 0;
  virtual void advance(milliseconds delay) = 0;
  template <typename Work>
  auto on(Work work) {
    return testing::runOn(main, std::move(work));
  }
  // What the output told and where it is, read on the actor.
  std::vector<std::string> events() {
    return on([this] { return recorder.events; });
  }
  std::vector<std::string> messages() {
    return on([this] { return recorder.messages; });
  }
  milliseconds position() {
    return on([this] { return std::chrono::duration_cast<milliseconds>(output().position()); });
  }
  Executor executor{1};
  MainActor main{executor};
  Recorder recorder;  // on the actor
};

struct VirtualBench final : Bench {
  VirtualBench() { output_.setListener(&recorder); }
  AudioOutput& output() override { return output_; }
  void advance(milliseconds delay) override {
    clock.advance(delay);
    on([] {});
  }
  ManualClock clock;
  VirtualOutput output_{clock, main.strand()};
};

// GStreamer into a fakesink that keeps time by GStreamer's test clock, which moves only
// when the test says.
struct GStreamerBench final : Bench {
  GStreamerBench() {
    output_ = std::make_unique<GStreamerOutput>(
        main.strand(),
        GStreamerOutput::Options{.sink = "fakesink sync=true",
                                 .prepare =
                                     [this](GstElement* pipeline) {
                                       pipeline_ = pipeline;
                                       gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock_);
                                     },
                                 .log = [this](const std::string& line) { log.push_back(line); }});
    output_->setListener(&recorder);
  }
  ~GStreamerBench() override {
    on([this] { output_.reset(); });
    gst_object_unref(clock_);
  }
  AudioOutput& output() override { return *output_; }
  void advance(milliseconds delay) override {
    settle();
    gst_test_clock_advance_time(GST_TEST_CLOCK(clock_),
                                static_cast<GstClockTimeDiff>(delay.count()) * GST_MSECOND);
    settle();
  }
  // Waits until the pipeline waits for the clock (or has nothing left to play) and every
  // message it posted has been handled on the actor.
  void settle() {
    auto* clock = GST_TEST_CLOCK(clock_);
    for (int round = 0; round < 500; ++round) {
      // The test clock releases no wait by itself, even one that is due.
      while (GstClockID due = gst_test_clock_process_next_clock_id(clock)) gst_clock_id_unref(due);
      bool waiting = false;
      if (pipeline_ != nullptr) {
        GstState state = GST_STATE_NULL;
        const auto change = gst_element_get_state(pipeline_, &state, nullptr, 0);
        waiting =
            change != GST_STATE_CHANGE_ASYNC &&
            (state != GST_STATE_PLAYING ||
             (gst_test_clock_timed_wait_for_multiple_pending_ids(clock, 1, 10, nullptr) != 0 &&
              gst_test_clock_get_next_entry_time(clock) > gst_clock_get_time(clock_)));
      }
      const std::size_t handled = on([this] { return output_->drain(); });
      on([] {});
      if (waiting && handled == 0) return;
      if (!waiting) std::this_thread::sleep_for(milliseconds(2));  // another thread's work
    }
    ADD_FAILURE() << "the pipeline never settled";
  }
  std::vector<std::string> log;  // on the actor
  GstClock* clock_ = gst_test_clock_new();
  GstElement* pipeline_ = nullptr;
  std::unique_ptr<GStreamerOutput> output_;
};

// The events told so far, joined by ", ".
std::string told(Bench& bench) {
  std::string text;
  for (const std::string& event : bench.events()) {
    text += (text.empty() ? "" : ", ") + event;
  }
  return text;
}

TEST(AudioOutput, KeepsTheContractThePlayerReliesOn) {
  using Script = std::function<void(AudioOutput&)>;
  struct Row {
    const char* name;
    int from;  // ms: item 1, 500 ms long, is loaded at this position
    bool playing;
    Script next;  // done right after the load
    int wait;     // ms
    Script then;  // done once `wait` has passed, and then time moves on by `wait` again
    int position;
    std::string events;
  };
  const std::vector<Row> rows = {
      {"a paused load says nothing", 0, false, nullptr, 1000, nullptr, 0, ""},
      {"plays to its end, with its length first", 0, true, nullptr, 1000, nullptr, 500,
       "started 1, duration 500 1, ended 1"},
      {"hands over to what follows without an end", 0, true,
       [](AudioOutput& o) { o.setNext(item(2, 300)); }, 600, nullptr, 100,
       "started 1, duration 500 1, started 2, duration 300 2"},
      {"a pause holds the time and the end", 200, true, [](AudioOutput& o) { o.pause(); }, 1000,
       nullptr, 200, "started 1, duration 500 1"},
      {"a seek past the end ends it", 0, true, [](AudioOutput& o) { o.seek(milliseconds(900)); },
       10, nullptr, 500, "started 1, duration 500 1, ended 1"},
      {"a stop unloads", 0, true, nullptr, 200, [](AudioOutput& o) { o.stop(); }, 0,
       "started 1, duration 500 1"},
      {"a paused load plays from where it was put", 100, false, nullptr, 150,
       [](AudioOutput& o) { o.play(); }, 250, "started 1, duration 500 1"},
  };
  for (const Row& row : rows) {
    for (const bool gstreamer : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (gstreamer ? " (GStreamer)" : " (virtual)"));
      const std::unique_ptr<Bench> bench =
          gstreamer ? std::unique_ptr<Bench>(std::make_unique<GStreamerBench>())
                    : std::make_unique<VirtualBench>();
      bench->on([&] {
        bench->output().load(item(1, 500), milliseconds(row.from), row.playing);
        if (row.next) row.next(bench->output());
      });
      bench->advance(milliseconds(row.wait));
      if (row.then) {
        bench->on([&] { row.then(bench->output()); });
        bench->advance(milliseconds(row.wait));
      }
      EXPECT_EQ(told(*bench), row.events);
      EXPECT_EQ(bench->position(), milliseconds(row.position));
    }
  }
}

TEST(GStreamerOutput, ReportsEachFailureAndTheFilesOwnLength) {
  const testing::TempDir dir;
  const std::string missing = (dir.path() / "gone.flac").string();
  const std::string junk = (dir.path() / "junk.mp3").string();
  testing::writeFile(junk, std::string(4096, 'x'));
  const std::string missingText = "\"t\" can't be played: its file " + missing + " is missing.";
  const std::string junkText = "\"t\" can't be played: GStreamer cannot read " + junk + " (";
  struct Row {
    const char* name;
    std::string first;  // the file of item 1, 300 ms; item 2 follows when `second`
    std::string second;
    std::string events;
    std::string message;  // the failure's text starts so
  };
  const std::vector<Row> rows = {
      {"a file GStreamer cannot read fails", junk, "", "failed 1", junkText},
      {"a missing file to follow fails at its turn", tone(300), missing,
       "started 1, duration 300 1, failed 2", missingText},
      {"an unreadable file to follow fails at its turn", tone(300), junk,
       "started 1, duration 300 1, failed 2", junkText},
      // The tag says 9000 ms.
      {"the file's real length replaces a wrong tag", tone(500), "",
       "started 1, duration 500 1, ended 1", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    GStreamerBench bench;
    bench.on([&] {
      bench.output().load(item(1, row.message.empty() ? 9000 : 300, row.first), {}, true);
      if (!row.second.empty()) bench.output().setNext(item(2, 500, row.second));
    });
    bench.advance(milliseconds(1000));
    EXPECT_EQ(told(bench), row.events);
    const auto messages = bench.messages();
    if (row.message.empty()) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(messages.size(), 1U);
      EXPECT_EQ(messages[0].substr(0, row.message.size()), row.message);
      EXPECT_EQ(bench.on([&] { return bench.log; }), messages);  // told in the log too
    }
  }
}

// Loads asked for again and again, faster than the pipeline halts: each missing file
// fails once, each tone halted early at most starts, nothing is told twice or out of
// order, and the last one plays to its end.
TEST(GStreamerOutput, TellsEachOfManyQuickLoadsOnceAndInOrder) {
  const testing::TempDir dir;
  constexpr std::uint64_t kLoads = 20;
  GStreamerBench bench;
  std::vector<std::string> missing;  // the log's line for each missing file, in order
  bench.on([&] {
    for (std::uint64_t token = 1; token <= kLoads; ++token) {
      const bool gone = token % 2 == 1;
      const std::string file =
          gone ? (dir.path() / ("gone" + std::to_string(token) + ".wav")).string() : tone(300);
      if (gone) missing.push_back("\"t\" can't be played: its file " + file + " is missing.");
      bench.output().load(item(token, 300, file), {}, true);
      bench.output().setNext(std::nullopt);
    }
  });
  bench.advance(milliseconds(500));
  const auto events = bench.events();
  SCOPED_TRACE(::testing::PrintToString(events));
  // The events of each token joined, and the tokens in the order they were first told.
  std::map<std::uint64_t, std::string> told;
  std::vector<std::uint64_t> order;
  for (const std::string& event : events) {
    const std::uint64_t token = std::stoull(event.substr(event.rfind(' ') + 1));
    if (order.empty() || order.back() != token) order.push_back(token);
    told[token] += (told[token].empty() ? "" : ", ") + event.substr(0, event.rfind(' '));
  }
  // A token told again after a later one is out of order.
  EXPECT_EQ(std::adjacent_find(order.begin(), order.end(), std::greater_equal<>()), order.end());
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.back(), kLoads);
  for (std::uint64_t token = 1; token <= kLoads; ++token) {
    SCOPED_TRACE(token);
    // Every failure told (none lost); a tone halted early at most started.
    const std::string expected = token % 2 == 1        ? "failed"
                                 : token == kLoads     ? "started, duration 300, ended"
                                 : told[token].empty() ? ""
                                                       : "started, duration 300";
    EXPECT_EQ(told[token], expected);
  }
  EXPECT_EQ(bench.on([&] { return bench.log; }), missing);
  EXPECT_EQ(bench.position(), milliseconds(300));
}

TEST(GStreamerOutput, PlaysEveryFormatOfTheMusicFolderToItsEnd) {
  const testing::TempDir dir;
  using testing::AudioFormat;
  for (const AudioFormat format : {AudioFormat::wav, AudioFormat::flac, AudioFormat::mp3,
                                   AudioFormat::vorbis, AudioFormat::opus, AudioFormat::m4a}) {
    SCOPED_TRACE(testing::extensionOf(format));
    if (!testing::canEncode(format)) continue;  // no AAC encoder without gstreamer1.0-libav
    const auto path = dir.path() / ("tone" + testing::extensionOf(format));
    testing::writeTone(path, format, 500);
    GStreamerBench bench;
    // Loaded while GStreamer warms up beside it, as the app's first song can be.
    bench.on([&] {
      bench.output_->warmUp();
      bench.output().load(item(1, 500, path.string()), {}, true);
    });
    bench.advance(milliseconds(300));
    EXPECT_NEAR(static_cast<double>(bench.position().count()), 300, 30);
    bench.advance(milliseconds(500));
    const auto events = bench.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "started 1");
    EXPECT_EQ(events.back(), "ended 1");
    // Encoders pad a little; the length is the file's own, not the tag's 500 ms.
    const std::string real = events.size() > 3 ? events[2] : events[1];
    const int length = std::stoi(real.substr(std::string("duration ").size()));
    EXPECT_NEAR(length, 500, 60);
  }
}

TEST(GStreamerOutput, NamesThePackageOfAMissingDecoder) {
  struct Row {
    const char* caps;
    const char* package;
  };
  const std::vector<Row> rows = {
      {"decoder-audio/mpeg, mpegversion=(int)4, stream-format=(string)raw", "gstreamer1.0-libav"},
      {"decoder-audio/x-alac", "gstreamer1.0-libav"},
      {"decoder-audio/mpeg, mpegversion=(int)1, layer=(int)3", "gstreamer1.0-plugins-good"},
      {"decoder-audio/x-flac", "gstreamer1.0-plugins-good"},
      {"decoder-audio/x-vorbis", "gstreamer1.0-plugins-base"},
      {"decoder-audio/x-opus", "gstreamer1.0-plugins-base"},
      {"decoder-audio/x-wma, wmaversion=(int)2", "gstreamer1.0-libav"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caps);
    EXPECT_EQ(GStreamerOutput::decoderPackage(row.caps), row.package);
  }
  // A decoder taken out of the registry is named so when a file needs it.
  const testing::TempDir dir;
  const auto path = dir.path() / "tone.flac";
  testing::writeTone(path, testing::AudioFormat::flac, 300);
  // Takes every FLAC decoder out of GStreamer's registry for this process.
  GList* decoders =
      gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, GST_RANK_NONE);
  GstCaps* flac = gst_caps_from_string("audio/x-flac, framed=(boolean)true");
  std::vector<GstPluginFeature*> removed;
  for (GList* at = decoders; at != nullptr; at = at->next) {
    auto* factory = GST_ELEMENT_FACTORY(at->data);
    const std::string klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (klass.find("Bin") == std::string::npos &&
        gst_element_factory_can_sink_any_caps(factory, flac) != 0) {
      removed.push_back(GST_PLUGIN_FEATURE(gst_object_ref(factory)));
      gst_registry_remove_feature(gst_registry_get(), GST_PLUGIN_FEATURE(factory));
    }
  }
  gst_caps_unref(flac);
  gst_plugin_feature_list_free(decoders);
  ASSERT_FALSE(removed.empty());
  {
    GStreamerBench bench;
    bench.on([&] { bench.output().load(item(1, 500, path.string()), {}, true); });
    bench.advance(milliseconds(500));
    EXPECT_EQ(told(bench), "failed 1");
    const auto messages = bench.messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0],
              "\"t\" can't be played: GStreamer has no Free Lossless Audio Codec (FLAC) decoder "
              "(the Debian package gstreamer1.0-plugins-good brings it).");
  }
  for (GstPluginFeature* feature : removed) {
    gst_registry_add_feature(gst_registry_get(), feature);
  }
}

// A player over both outputs, as the app has it: songs with a file sound through the
// bench's GStreamer, the others on `clock`.
struct BothOutputs {
  explicit BothOutputs(GStreamerBench& bench) : bench(bench) {}
  ~BothOutputs() {
    bench.on([this] {
      player.reset();
      routing.reset();
    });
  }
  GStreamerBench& bench;
  ManualClock clock;
  std::vector<std::string> played;  // on the actor
  VirtualOutput virtualOutput{clock, bench.main.strand()};
  std::unique_ptr<RoutingOutput> routing =
      std::make_unique<RoutingOutput>(*bench.output_, virtualOutput);
  std::unique_ptr<MusicPlayer> player = std::make_unique<MusicPlayer>(
      *routing, clock,
      MusicPlayer::Options{
          .canPlayCatalog = [] { return true; },
          .songStarted =
              [this](const Song& started, const std::optional<PlayContext>&,
                     std::chrono::system_clock::time_point) { played.push_back(started.id); },
          .seed = 1});
};

Song songWithFile(const std::string& id, int ms, std::optional<std::string> file) {
  return Song{.id = id,
              .title = "Title " + id,
              .duration = milliseconds(ms),
              .playParameters = PlayParameters{id, "song"},
              .file = std::move(file)};
}

// Songs with a file sound through GStreamer, the others on the clock, and a failed file
// is passed over.
TEST(RoutingOutput, PlaysAQueueAcrossBothOutputsPastAFailure) {
  const testing::TempDir dir;
  GStreamerBench bench;
  BothOutputs app(bench);
  MusicPlayer& player = *app.player;
  bench.on([&] {
    player.setQueue({songWithFile("i.1", 300, tone(300)), songWithFile("2", 1000, std::nullopt),
                     songWithFile("i.3", 500, (dir.path() / "gone.wav").string()),
                     songWithFile("i.4", 200, tone(200))});
    player.play();
  });
  bench.advance(milliseconds(400));  // the first file ends; the catalog song follows
  EXPECT_EQ(bench.on([&] { return app.played; }), (std::vector<std::string>{"i.1", "2"}));
  app.clock.advance(milliseconds(1000));  // the catalog song ends; the missing file fails
  bench.advance(milliseconds(0));
  EXPECT_EQ(bench.on([&] { return app.played; }), (std::vector<std::string>{"i.1", "2", "i.4"}));
  EXPECT_EQ(bench.on([&] { return player.status(); }), MusicPlayer::Status::playing);
  bench.advance(milliseconds(300));
  EXPECT_EQ(bench.on([&] { return player.status(); }), MusicPlayer::Status::stopped);
  EXPECT_EQ(bench.on([&] { return player.currentEntry()->song->id; }), "i.4");
  EXPECT_EQ(bench.on([&] { return player.lastFailure(); }),
            "\"Title i.3\" can't be played: its file " + (dir.path() / "gone.wav").string() +
                " is missing.");
}

// Each failure is told once in the log and passed over; with nothing left to try, the
// queue stops on the last failed entry instead of trying it again and again, until it
// is asked to play once more.
TEST(RoutingOutput, PassesOverFilesThatCannotPlayAndStopsWhenNoneIsLeft) {
  const testing::TempDir dir;
  const std::string gone = (dir.path() / "gone.flac").string();
  const std::string junk = (dir.path() / "junk.flac").string();
  std::ofstream(junk) << std::string(4096, 'x');
  using Repeat = MusicPlayer::RepeatMode;
  struct Row {
    const char* name;
    std::vector<std::string> files;
    Repeat repeat;
    std::vector<std::string> played;
    std::string current;              // where the queue stops
    std::vector<std::string> failed;  // as the log tells them
    std::size_t again;                // failures more when asked to play once more
  };
  const std::vector<Row> rows = {
      {"junk and missing, then a good one",
       {junk, gone, tone(200)},
       Repeat::none,
       {"i.3"},
       "i.3",
       {"junk i.1", "gone i.2"},
       0},
      {"none plays", {junk, gone}, Repeat::none, {}, "i.2", {"junk i.1", "gone i.2"}, 1},
      {"none plays, round once", {gone, junk}, Repeat::all, {}, "i.2", {"gone i.1", "junk i.2"}, 2},
      {"a failure is not repeated", {gone}, Repeat::one, {}, "i.1", {"gone i.1"}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    GStreamerBench bench;
    BothOutputs app(bench);
    std::vector<Song> songs;
    for (const std::string& file : row.files) {
      songs.push_back(songWithFile("i." + std::to_string(songs.size() + 1), 200, file));
    }
    bench.on([&] {
      app.player->setRepeatMode(row.repeat);
      app.player->setQueue(songs);
      app.player->play();
    });
    bench.advance(milliseconds(500));
    // "junk i.1" for a line about i.1 that names the junk file.
    auto failed = [&] {
      return bench.on([&] {
        std::vector<std::string> told;
        for (const std::string& line : bench.log) {
          const std::string id = line.substr(7, line.find('"', 1) - 7);
          told.push_back((line.find(junk) != std::string::npos ? "junk " : "gone ") + id);
        }
        return told;
      });
    };
    EXPECT_EQ(failed(), row.failed);
    EXPECT_EQ(bench.on([&] { return app.played; }), row.played);
    EXPECT_EQ(bench.on([&] { return app.player->currentEntry()->song->id; }), row.current);
    bench.on([&] { app.player->play(); });
    bench.advance(milliseconds(500));
    EXPECT_EQ(failed().size(), row.failed.size() + row.again);
    EXPECT_EQ(bench.on([&] { return app.player->status(); }), MusicPlayer::Status::stopped);
  }
}

}  // namespace
}  // namespace melodock
