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
  Harness f;
  EXPECT_EQ(f.call("now_playing"),
            R"({"queue_length":0,"repeat":"off","shuffle":false,"status":"stopped"})");
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
  f.on([&] { f.network.setLowDataMode(true); });
  EXPECT_EQ(f.call("set_note", R"({"text":"  Late night\njazz \n"})"),
            R"({"low_data_mode":true,"note":"Late night jazz","position":12,"queue_length":2,)"
            R"("repeat":"off","shuffle":false,"status":"playing","track":{"album":"Album",)"
            R"("artist":"Artist 1001","duration":200,"genre":"Jazz","id":"1001",)"
            R"("name":"Title 1001","year":1975}})");
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

TEST(MusicService, CarriesOutEachPlaybackActionAndAnswersWithTheNewState) {
  Harness f;
  f.on([&] { f.player.setQueue({song("1", 60), song("2", 60)}); });
  struct Row {
    const char* action;
    std::string expect;  // a piece of the answer, or the whole error
  };
  const std::vector<Row> rows = {
      {"Play", "error: action must be play, pause, toggle, next, previous, or stop"},
      {"play", R"("status":"playing")"},
      {"toggle", R"("status":"paused")"},
      {"toggle", R"("status":"playing")"},
      {"next", R"("id":"2")"},
      {"next", "error: There is no next entry in the queue."},
      {"previous", R"("id":"1")"},
      {"pause", R"("status":"paused")"},
      {"pause", R"("status":"paused")"},
      {"stop", R"("status":"stopped")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.action);
    const std::string answer =
        f.call("playback", "{\"action\":\"" + std::string(row.action) + "\"}");
    if (row.expect.starts_with("error: ")) {
      EXPECT_EQ(answer, row.expect);
    } else {
      EXPECT_NE(answer.find(row.expect), std::string::npos) << answer;
    }
  }
  EXPECT_EQ(f.on([&] { return f.awake; }), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(f.clock.pending(), 0u);  // every action settled at once: no pauses
}

TEST(MusicService, SeeksAndSetsModes) {
  Harness f;
  f.on([&] { f.player.setQueue({song("1", 300)}); });
  EXPECT_EQ(f.call("seek", R"({"seconds":-5})"), R"({"position":0})");
  EXPECT_EQ(f.call("seek", R"({"seconds":61.7})"), R"({"position":61})");
  EXPECT_EQ(f.call("set_modes"), R"({"repeat":"off","shuffle":false})");
  EXPECT_EQ(f.call("set_modes", R"({"shuffle":true,"repeat":"twice"})"),
            "error: repeat must be off, one, or all");
  EXPECT_EQ(f.call("set_modes", R"({"repeat":"all"})"), R"({"repeat":"all","shuffle":true})");
}

TEST(MusicService, AsksForConsentOnlyWhenItIsNotStoredAndRemembersOnlyAYes) {
  const std::string refusal = testing::kPersonalRefusal;
  auto gate = [](Harness& f) {
    return asio::co_spawn(f.main.strand(), f.service->requirePersonalData(), asio::use_future);
  };
  auto outcome = [](std::future<void>& done) -> std::string {
    try {
      done.get();
      return "allowed";
    } catch (const ToolError& error) {
      return "error: " + error.message;
    }
  };
  {
    SCOPED_TRACE("stored yes");
    Harness f({.stored = R"({"musicAuthorization":"authorized","sharePersonalData":true})"});
    auto done = gate(f);
    EXPECT_EQ(outcome(done), "allowed");
    EXPECT_EQ(f.presenter.count(), 0u);
  }
  {
    SCOPED_TRACE("not authorized");
    Harness f({.stored = R"({"musicAuthorization":"denied"})"});
    auto done = gate(f);
    EXPECT_EQ(outcome(done), testing::kNotAuthorized);
    EXPECT_EQ(f.presenter.count(), 0u);
    EXPECT_EQ(f.call("playback", R"({"action":"play"})"), testing::kNotAuthorized);
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
    EXPECT_EQ(outcome(first), yes ? "allowed" : refusal);
    EXPECT_EQ(outcome(second), yes ? "allowed" : refusal);
    f.settings->waitUntilWritten();
    const auto stored = nlohmann::json::parse(testing::readFile(f.dir.path() / "settings.json"));
    EXPECT_EQ(stored.value("sharePersonalData", false), yes);
  }
}

}  // namespace
}  // namespace melodock
