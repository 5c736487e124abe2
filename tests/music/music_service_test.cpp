// The music service over a real player on a virtual output, a manual clock, a real
// settings file and the real permission prompt; only the prompt's window is a stand-in.
#include <gtest/gtest.h>

#include <future>

#include "music/music_service.h"
#include "music/tool_error.h"
#include "music/tools.h"
#include "platform/live_settings.h"
#include "tests/music/scripted_web_api.h"
#include "tests/platform/music/player_fixture.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::song;

// Shows nothing: keeps the questions so that a test can answer them.
class HeldQuestions final : public PermissionPrompt::Presenter {
 public:
  struct Shown final : PermissionPrompt::Presentation {
    void close() override {}
  };
  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    questions.push_back(std::move(question));
    return std::make_unique<Shown>();
  }
  std::vector<PermissionPrompt::Question> questions;  // main actor only
};

struct ServiceFixture : testing::PlayerFixture {
  explicit ServiceFixture(const std::string& stored = R"({"musicAuthorization":"authorized"})") {
    testing::writeFile(dir.path() / "settings.json", stored);
    settings = std::make_unique<LiveSettings>(dir.path() / "settings.json");
    prompt = std::make_unique<PermissionPrompt>(
        main, presenter, [] { return std::optional<std::string>("Claude"); }, clock);
    service = std::make_unique<MusicService>(MusicService::Parts{
        .main = main,
        .player = player,
        .settings = *settings,
        .prompt = *prompt,
        .webAPI = webAPI,
        .network = network,
        .clock = clock,
        .lookup = [this](std::vector<std::string> ids) -> asio::awaitable<std::vector<Song>> {
          lookups.push_back(ids.front());
          co_return lookupAnswer;
        },
        .keepAwake = [this](bool on) { awake.push_back(on); },
    });
    tools = std::make_unique<Tools>(main, *service);
    testing::awaitOn(main, service->refreshSubscription());
  }
  ~ServiceFixture() {
    executor.stop();
    service.reset();
  }
  // What the agent reads back from a tool call: its text, or "error: " and the text.
  std::string call(std::string name, const char* arguments = "{}") {
    auto object = *mcp::Value::fromJSON(nlohmann::json::parse(arguments)).objectValue();
    auto outcome = testing::awaitOn(main, tools->run(std::move(name), std::move(object)));
    return outcome.failure ? "error: " + outcome.text : outcome.text;
  }
  // Starts a call and returns while it may still wait on the clock.
  std::future<Tools::Outcome> start(std::string name, const char* arguments = "{}") {
    auto object = *mcp::Value::fromJSON(nlohmann::json::parse(arguments)).objectValue();
    return asio::co_spawn(executor.pool(), tools->run(std::move(name), std::move(object)),
                          asio::use_future);
  }
  std::size_t questionsShown() {
    return on([&] { return presenter.questions.size(); });
  }
  void answer(std::size_t index, bool yes) {
    on([&] { presenter.questions.at(index).onAnswer(yes); });
  }

  testing::TempDir dir;
  std::unique_ptr<LiveSettings> settings;
  HeldQuestions presenter;
  NetworkStatus network;
  std::unique_ptr<PermissionPrompt> prompt;
  testing::ScriptedWebAPI webAPI;
  std::vector<std::string> lookups;  // main actor only
  std::vector<Song> lookupAnswer;
  std::vector<bool> awake;
  std::unique_ptr<MusicService> service;
  std::unique_ptr<Tools> tools;
};

TEST(MusicService, WritesTheNowPlayingObjectForEachState) {
  ServiceFixture f;
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
  ServiceFixture f;
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
  ServiceFixture f;
  const Song bare = song("500", 60);
  auto completed = [&] { return f.on([&] { return f.service->complete(bare); }); };
  EXPECT_EQ(completed(), bare);
  f.on([] {});  // the background look-up runs
  for (int i = 0; i < 5; ++i) EXPECT_EQ(completed(), bare);
  f.advance(seconds(14));
  EXPECT_EQ(completed(), bare);
  EXPECT_EQ(f.on([&] { return f.lookups.size(); }), 1u);
  f.advance(seconds(1));
  Song drawn = bare;
  drawn.artwork = Artwork{"https://example.invalid/{w}x{h}.jpg", 600, 600};
  f.lookupAnswer = {drawn};
  EXPECT_EQ(completed(), bare);  // asks again, answers what it has meanwhile
  f.on([] {});
  EXPECT_EQ(completed(), drawn);
  f.advance(seconds(60));
  EXPECT_EQ(completed(), drawn);
  EXPECT_EQ(f.on([&] { return f.lookups.size(); }), 2u);
}

TEST(MusicService, CarriesOutEachPlaybackActionAndAnswersWithTheNewState) {
  ServiceFixture f;
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
        f.call("playback", ("{\"action\":\"" + std::string(row.action) + "\"}").c_str());
    if (row.expect.starts_with("error: ")) {
      EXPECT_EQ(answer, row.expect);
    } else {
      EXPECT_NE(answer.find(row.expect), std::string::npos) << answer;
    }
  }
  EXPECT_EQ(f.on([&] { return f.awake; }), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(f.clock.pending(), 0u);  // every action settled at once: no pauses
}

TEST(MusicService, GivesUpWaitingForThePlayerAfterTwentyChecks) {
  ServiceFixture f;
  auto waited = [&](MusicService::Snapshot before) {
    std::future<void> done =
        asio::co_spawn(f.main.strand(), f.service->settle("next", before), asio::use_future);
    int pauses = 0;
    while (done.wait_for(milliseconds(0)) != std::future_status::ready && pauses < 100) {
      while (f.clock.pending() == 0 &&
             done.wait_for(milliseconds(1)) != std::future_status::ready) {
      }
      if (done.wait_for(milliseconds(0)) == std::future_status::ready) break;
      f.advance(milliseconds(100));
      ++pauses;
    }
    return pauses;
  };
  // Nothing current before or now: "next" never settles, so 20 pauses of 100 ms.
  EXPECT_EQ(waited({MusicPlayer::Status::stopped, std::nullopt}), 20);
  EXPECT_EQ(waited({MusicPlayer::Status::stopped, "gone"}), 0);
}

TEST(MusicService, SeeksAndSetsModes) {
  ServiceFixture f;
  f.on([&] { f.player.setQueue({song("1", 300)}); });
  EXPECT_EQ(f.call("seek", R"({"seconds":-5})"), R"({"position":0})");
  EXPECT_EQ(f.call("seek", R"({"seconds":61.7})"), R"({"position":61})");
  EXPECT_EQ(f.call("set_modes"), R"({"repeat":"off","shuffle":false})");
  EXPECT_EQ(f.call("set_modes", R"({"shuffle":true,"repeat":"twice"})"),
            "error: repeat must be off, one, or all");
  EXPECT_EQ(f.call("set_modes", R"({"repeat":"all"})"), R"({"repeat":"all","shuffle":true})");
}

TEST(MusicService, AsksForConsentOnlyWhenItIsNotStoredAndRemembersOnlyAYes) {
  const std::string refusal =
      "error: The user chose not to share their library and listening history. Continue without "
      "it. They can turn it on later: Melodock menu bar icon \u2192 Connect Your AI \u2192 Share "
      "Library & History.";
  auto gate = [](ServiceFixture& f) {
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
    ServiceFixture f(R"({"musicAuthorization":"authorized","sharePersonalData":true})");
    auto done = gate(f);
    EXPECT_EQ(outcome(done), "allowed");
    EXPECT_EQ(f.questionsShown(), 0u);
  }
  {
    SCOPED_TRACE("not authorized");
    ServiceFixture f(R"({"musicAuthorization":"denied"})");
    auto done = gate(f);
    EXPECT_EQ(outcome(done),
              "error: Apple Music access isn't granted yet. Ask the user to open the Melodock "
              "menu bar item and click Set Up Apple Music.");
    EXPECT_EQ(f.questionsShown(), 0u);
    EXPECT_EQ(f.call("playback", R"({"action":"play"})").substr(0, 40),
              "error: Apple Music access isn't granted ");
  }
  for (const bool yes : {true, false}) {
    SCOPED_TRACE(yes ? "two asks, one question, answered yes" : "answered no");
    ServiceFixture f;
    auto first = gate(f);
    auto second = gate(f);
    while (f.questionsShown() == 0) std::this_thread::yield();
    f.on([] {});
    EXPECT_EQ(f.questionsShown(), 1u);
    EXPECT_EQ(f.on([&] { return f.presenter.questions[0].title; }),
              "Claude wants to see your library and listening history.");
    f.answer(0, yes);
    EXPECT_EQ(outcome(first), yes ? "allowed" : refusal);
    EXPECT_EQ(outcome(second), yes ? "allowed" : refusal);
    f.settings->waitUntilWritten();
    const auto stored = nlohmann::json::parse(testing::readFile(f.dir.path() / "settings.json"));
    EXPECT_EQ(stored.value("sharePersonalData", false), yes);
  }
}

}  // namespace
}  // namespace melodock
