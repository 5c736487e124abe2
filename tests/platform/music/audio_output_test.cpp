// What every audio output promises the player, row by row. The rows run against each
// output the machine can provide.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/music/virtual_output.h"
#include "tests/support/await.h"

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
    add("failed (" + message + ")", token);
  }
  std::vector<std::string> events;

 private:
  void add(const std::string& what, std::uint64_t token) {
    events.push_back(what + " " + std::to_string(token));
  }
};

OutputItem item(std::uint64_t token, int lengthMs) {
  Song song;
  song.id = std::to_string(token);
  song.title = "t";
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
  Executor executor{1};
  MainActor main{executor};
};

struct VirtualBench final : Bench {
  VirtualBench() { output_.setListener(&recorder); }
  AudioOutput& output() override { return output_; }
  void advance(milliseconds delay) override {
    clock.advance(delay);
    on([] {});
  }
  Recorder recorder;
  ManualClock clock;
  VirtualOutput output_{clock, main.strand()};
};

TEST(AudioOutput, KeepsTheContractThePlayerReliesOn) {
  struct Row {
    const char* name;
    std::function<void(AudioOutput&)> script;
    milliseconds wait;
    std::vector<std::string> events;
    milliseconds position;
  };
  const std::vector<Row> rows = {
      {"a paused load says nothing",
       [](AudioOutput& o) { o.load(item(1, 500), {}, false); },
       milliseconds(1000),
       {},
       milliseconds(0)},
      {"plays to its end, with its length first",
       [](AudioOutput& o) { o.load(item(1, 500), {}, true); },
       milliseconds(1000),
       {"started 1", "duration 500 1", "ended 1"},
       milliseconds(500)},
      {"hands over to what follows without an end",
       [](AudioOutput& o) {
         o.load(item(1, 500), {}, true);
         o.setNext(item(2, 300));
       },
       milliseconds(600),
       {"started 1", "duration 500 1", "started 2", "duration 300 2"},
       milliseconds(100)},
      {"a pause holds the time and the end",
       [](AudioOutput& o) {
         o.load(item(1, 500), milliseconds(200), true);
         o.pause();
       },
       milliseconds(1000),
       {"started 1", "duration 500 1"},
       milliseconds(200)},
      {"a seek past the end ends it",
       [](AudioOutput& o) {
         o.load(item(1, 500), {}, true);
         o.seek(milliseconds(900));
       },
       milliseconds(10),
       {"started 1", "duration 500 1", "ended 1"},
       milliseconds(500)},
      {"a stop unloads",
       [](AudioOutput& o) {
         o.load(item(1, 500), {}, true);
         o.stop();
       },
       milliseconds(1000),
       {"started 1", "duration 500 1"},
       milliseconds(0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    VirtualBench bench;
    bench.on([&] { row.script(bench.output()); });
    bench.advance(row.wait);
    EXPECT_EQ(bench.on([&] { return bench.recorder.events; }), row.events);
    EXPECT_EQ(bench.on([&] {
      return std::chrono::duration_cast<milliseconds>(bench.output().position());
    }),
              row.position);
  }
}

}  // namespace
}  // namespace melodock
