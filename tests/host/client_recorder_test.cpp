#include "host/client_recorder.h"

#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "platform/app_settings.h"
#include "platform/live_settings.h"
#include "tests/support/await.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

constexpr std::string_view kFlag = setting::kHasConnectedClient.name;

struct RecorderFixture {
  // Records from an actor of its own, as the endpoint does from a pool strand.
  void record(const std::string& name) { testing::awaitOn(caller, recorder.record(name)); }

  // Whether a record of `name` completes while the main actor is busy with other
  // work; the wait only guards against a hang.
  bool recordsWhileMainIsBusy(const std::string& name) {
    std::promise<void> entered;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    asio::post(main.strand(), [&entered, opened] {
      entered.set_value();
      opened.wait();
    });
    entered.get_future().wait();
    auto done = asio::co_spawn(caller.strand(), recorder.record(name), asio::use_future);
    const bool finished = done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    gate.set_value();
    done.get();
    return finished;
  }

  testing::TempDir dir;
  Executor executor{2};
  MainActor main{executor};
  Actor caller{executor};
  LiveSettings settings{dir.path() / "settings.json"};
  HostStatus status;
  ClientRecorder recorder{main, status, settings};
};

TEST(ClientRecorder, ANewNameReplacesTheLastClientAndAnUnchangedOneNeedsNoHop) {
  RecorderFixture fixture;
  fixture.record("Cursor");
  fixture.record("Claude Code");
  EXPECT_EQ(fixture.status.lastClient(), "Claude Code");
  EXPECT_EQ(fixture.settings.boolean(kFlag), true);
  EXPECT_TRUE(fixture.recordsWhileMainIsBusy("Claude Code"));
  EXPECT_EQ(fixture.status.lastClient(), "Claude Code");
}

// Whatever changed since the last record, the next one puts both back.
TEST(ClientRecorder, RecordsAgainWhatChangedSinceTheLastRecord) {
  struct Row {
    const char* change;
    std::function<void(RecorderFixture&)> apply;
  };
  const std::vector<Row> rows = {
      {"flag removed in this process",
       [](RecorderFixture& f) {
         f.settings.update([](nlohmann::json& all) { all.erase(std::string(kFlag)); });
       }},
      {"flag set false in this process", [](RecorderFixture& f) { f.settings.set(kFlag, false); }},
      {"another setting changed",
       [](RecorderFixture& f) { AppSettings(f.settings).setPort(4242); }},
      {"last client changed elsewhere",
       [](RecorderFixture& f) { f.status.setLastClient("Cursor"); }},
      {"last client cleared", [](RecorderFixture& f) { f.status.setLastClient(std::nullopt); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.change);
    RecorderFixture fixture;
    fixture.record("Claude Code");
    row.apply(fixture);
    fixture.record("Claude Code");
    EXPECT_EQ(fixture.status.lastClient(), "Claude Code");
    EXPECT_EQ(fixture.settings.boolean(kFlag), true);
  }
}

}  // namespace
}  // namespace melodock
