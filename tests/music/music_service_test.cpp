// The music service's now-playing state, playback control and consent gates.
#include <gtest/gtest.h>

#include "music/tool_error.h"
#include "tests/support/music_service.h"

namespace melodock {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::song;

using Harness = testing::MusicServiceHarness;

TEST(MusicService, WritesTheNowPlayingObjectForEachState) {
  // Stopped with nothing queued is the end-to-end tests' first answer.
  Harness f;
  Song full = song("1001", 200);
  full.albumTitle = "Album";
  full.genreNames = {"Jazz", "Vocal"};
  full.releaseDate = std::chrono::year(1975) / 1 / 1;
  f.on([&] {
    f.player.setQueue({full, song("1002", 30)});
    f.player.play();
  });
  f.advance(milliseconds(12'900));
  EXPECT_EQ(f.call("now_playing"),
            R"({"position":12,"queue_length":2,"repeat":"off","shuffle":false,"status":"playing",)"
            R"("track":{"album":"Album","artist":"Artist 1001","duration":200,"genre":"Jazz",)"
            R"("id":"1001","name":"Title 1001","year":1975}})");
  const std::string playing = f.call("now_playing");
  f.on([&] { f.network.setLowDataMode(true); });
  EXPECT_EQ(f.call("set_note", R"({"text":"  Late night\njazz \n"})"),
            R"({"low_data_mode":true,"note":"Late night jazz",)" + playing.substr(1));
  EXPECT_EQ(f.call("set_note", R"({"text":"  "})").find("note"), std::string::npos);
}

TEST(MusicService, FindsTheSongBehindAnEntryOnlyWhileTheQueueIsItsOwn) {
  Harness f;
  Station live{.id = "ra.9", .name = "Live One", .isLive = true};
  f.on([&] {
    f.player.setQueue(live, {});
    f.service->queuedSongs = {song("77", 60)};
  });
  struct Row {
    const char* name;
    std::function<void()> change;
    std::string track;
  };
  const std::vector<Row> rows = {
      {"the queue matches what was queued", [] {},
       R"({"artist":"Artist 77","duration":60,"id":"77","name":"Title 77"})"},
      {"shuffled", [&] { f.player.setShuffleMode(MusicPlayer::ShuffleMode::songs); },
       R"({"name":"Live One","subtitle":"Live"})"},
      {"a length mismatch",
       [&] {
         f.player.setShuffleMode(MusicPlayer::ShuffleMode::off);
         f.service->queuedSongs.push_back(song("78", 60));
       },
       R"({"name":"Live One","subtitle":"Live"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    f.on(row.change);
    const std::string text = f.call("now_playing");
    const auto start = text.find("\"track\":") + 8;
    EXPECT_EQ(text.substr(start, text.size() - start - 1), row.track);
  }
}

TEST(MusicService, LooksASongWithoutArtworkUpAgainAtMostEvery15Seconds) {
  Harness f;
  auto lookups = [&] { return f.on([&] { return f.small->songLookups.size(); }); };
  const Song unknown = song("500", 60);  // the catalog has no such song
  auto completed = [&](const Song& bare) {
    return f.on([&] { return f.service->complete(bare); });
  };
  EXPECT_EQ(completed(unknown), unknown);
  f.eventually([&] { return f.clock.pending() == 1; });  // found nothing: waits 15 s
  for (int i = 0; i < 5; ++i) EXPECT_EQ(completed(unknown), unknown);
  f.advance(seconds(14));
  EXPECT_EQ(completed(unknown), unknown);
  EXPECT_EQ(lookups(), 1u);
  f.advance(seconds(1));
  EXPECT_EQ(completed(unknown), unknown);  // asks again
  EXPECT_EQ(lookups(), 2u);

  // A catalog song queued without its artwork is answered in full once found.
  Song bare = song("1100000001", 200);
  bare.title = "Morning";
  EXPECT_EQ(completed(bare), bare);
  f.eventually([&] { return f.service->complete(bare).artwork.has_value(); });
  EXPECT_EQ(completed(bare).title, "Morning");
  f.advance(seconds(60));
  EXPECT_TRUE(completed(bare).artwork);
  EXPECT_EQ(lookups(), 3u);
  EXPECT_EQ(f.on([&] { return f.small->songLookups.back(); }),
            std::vector<std::string>{"1100000001"});
}

// A seek's clamp at 0, a bad action or repeat, and set_modes' answer after one are the
// end-to-end playback test's.
TEST(MusicService, CarriesOutEachPlaybackActionAndAnswersWithTheNewState) {
  Harness f;
  f.on([&] { f.player.setQueue({song("1", 300), song("2", 60)}); });
  struct Row {
    const char* tool;
    const char* arguments;
    std::string expect;  // the whole answer ({...}), a piece of it, or the whole error
  };
  const std::vector<Row> rows = {
      {"seek", R"({"seconds":61.7})", R"({"position":61})"},
      {"set_modes", "{}", R"({"repeat":"off","shuffle":false})"},
      {"playback", R"({"action":"play"})", R"("status":"playing")"},
      {"playback", R"({"action":"toggle"})", R"("status":"paused")"},
      {"playback", R"({"action":"toggle"})", R"("status":"playing")"},
      {"playback", R"({"action":"next"})", R"("id":"2")"},
      {"playback", R"({"action":"next"})", "error: There is no next entry in the queue."},
      {"playback", R"({"action":"previous"})", R"("id":"1")"},
      {"playback", R"({"action":"pause"})", R"("status":"paused")"},
      {"playback", R"({"action":"pause"})", R"("status":"paused")"},
      {"playback", R"({"action":"stop"})", R"("status":"stopped")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.tool) + " " + row.arguments);
    const std::string answer = f.call(row.tool, row.arguments);
    if (row.expect.starts_with("error: ") || row.expect.starts_with("{")) {
      EXPECT_EQ(answer, row.expect);
    } else {
      EXPECT_NE(answer.find(row.expect), std::string::npos) << answer;
    }
  }
  EXPECT_EQ(f.on([&] { return f.awake; }), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(f.clock.pending(), 0u);  // every action settled at once: no pauses
}

TEST(MusicService, AsksForConsentOnlyWhenItIsNotStoredAndRemembersOnlyAYes) {
  const std::string refusal = testing::kPersonalRefusal;
  auto gate = [](Harness& f) {
    return asio::co_spawn(f.main.strand(), f.service->requirePersonalData(), asio::use_future);
  };
  auto outcome = [](std::future<void> done) -> std::string {
    try {
      done.get();
      return "allowed";
    } catch (const ToolError& error) {
      return "error: " + error.message;
    }
  };
  for (const auto& [stored, expected] : std::vector<std::pair<std::string, std::string>>{
           {R"({"musicAuthorization":"authorized","sharePersonalData":true})", "allowed"},
           {R"({"musicAuthorization":"denied"})", testing::kNotAuthorized}}) {
    SCOPED_TRACE(stored);
    Harness f({.stored = stored});
    EXPECT_EQ(outcome(gate(f)), expected);
    EXPECT_EQ(f.presenter.count(), 0u);
  }
  for (const bool yes : {true, false}) {
    SCOPED_TRACE(yes ? "two asks, one question, answered yes" : "answered no");
    Harness f;
    auto first = gate(f);
    auto second = gate(f);
    ASSERT_TRUE(f.presenter.shown(0));
    f.on([] {});
    EXPECT_EQ(f.presenter.count(), 1u);
    EXPECT_EQ(f.presenter.shown(0)->question.title,
              "Claude wants to see your library and listening history.");
    f.presenter.answer(0, yes);
    EXPECT_EQ(outcome(std::move(first)), yes ? "allowed" : refusal);
    EXPECT_EQ(outcome(std::move(second)), yes ? "allowed" : refusal);
    f.settings->waitUntilWritten();
    const auto stored = nlohmann::json::parse(testing::readFile(f.dir.path() / "settings.json"));
    EXPECT_EQ(stored.value("sharePersonalData", false), yes);
  }
}

}  // namespace
}  // namespace melodock
