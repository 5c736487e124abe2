// The music service over a real player on a virtual output, a manual clock, a real
// settings file, a real library file, a small real catalog built for the test and the
// real permission prompt; only the prompt's window is a stand-in.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <future>
#include <thread>

#include "music/music_service.h"
#include "music/tools.h"
#include "platform/live_settings.h"
#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/local_catalog.h"
#include "tests/music/scripted_web_api.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/platform/music/player_fixture.h"
#include "tests/support/loopback.h"

namespace melodock::testing {

// Two albums (the first with a music video and a song this account cannot play), a
// playlist and two stations, one of them live.
inline DataSet smallCatalog() {
  DataSet data;
  data.artists = {"1300000001\tAlpha Band", "1300000002\tBeta Singers"};
  data.albums = {"1200000001\tFirst Light\t1300000001", "1200000002\tSecond Wind\t1300000002"};
  data.tracks = {
      "1100000001\t1200000001\tsong\tMorning\tRock\t\t200000\t1\t1\t1980\t1\t0",
      "1100000002\t1200000001\tmusic-video\tMorning (Video)\tRock\t\t210000\t1\t2\t\t1\t0",
      "1100000003\t1200000001\tsong\tNoon\tRock\t\t180000\t1\t3\t\t1\t0",
      "1100000004\t1200000001\tsong\tLocked\tRock\t\t150000\t1\t4\t\t0\t0",
      "1100000005\t1200000002\tsong\tEvening\tPop\t\t190000\t1\t1\t\t1\t0",
      "1100000006\t1200000002\tsong\tNight\tPop\t\t170000\t1\t2\t\t1\t0",
  };
  data.playlists = {"pl.aaa\tDay Mix\tDesk"};
  data.playlistTracks = {"pl.aaa\t1100000006", "pl.aaa\t1100000001"};
  data.stations = {"ra.1400000001\tAlways On\t1\tchart\t",
                   "ra.1400000002\tPop Station\t0\tgenre\tPop"};
  return data;
}

// The catalog, with look-ups counted and album track loads that take as long as the test
// says, on the test's clock.
class TestCatalog final : public Catalog {
 public:
  TestCatalog(const std::filesystem::path& folder, Clock& clock) : clock_(clock) {
    smallCatalog().write(folder / "data");
    buildCatalog(folder / "data", folder / "catalog.sqlite");
    catalog_ = std::make_unique<LocalCatalog>(folder / "catalog.sqlite");
  }

  asio::awaitable<CatalogSearchResults> search(std::string term, int limit) override {
    return catalog_->search(std::move(term), limit);
  }
  asio::awaitable<std::vector<Song>> songs(std::vector<std::string> ids) override {
    songLookups.push_back(ids);
    return catalog_->songs(std::move(ids));
  }
  asio::awaitable<std::vector<Album>> albums(std::vector<std::string> ids) override {
    return catalog_->albums(std::move(ids));
  }
  asio::awaitable<std::vector<Artist>> artists(std::vector<std::string> ids) override {
    return catalog_->artists(std::move(ids));
  }
  asio::awaitable<std::vector<Playlist>> playlists(std::vector<std::string> ids) override {
    return catalog_->playlists(std::move(ids));
  }
  asio::awaitable<std::vector<Station>> stations(std::vector<std::string> ids) override {
    return catalog_->stations(std::move(ids));
  }
  asio::awaitable<std::vector<SongChart>> mostPlayedSongs(int limit) override {
    return catalog_->mostPlayedSongs(limit);
  }
  asio::awaitable<std::vector<std::string>> genres(int limit) override {
    return catalog_->genres(limit);
  }
  asio::awaitable<GenreItems> genreItems(std::string genre, int limit) override {
    return catalog_->genreItems(std::move(genre), limit);
  }
  asio::awaitable<std::vector<Track>> albumTracks(std::string albumID) override {
    Clock::Duration delay{0};
    if (!albumTrackDelays.empty()) {
      delay = albumTrackDelays.front();
      albumTrackDelays.pop_front();
    }
    if (delay.count() > 0) co_await clock_.sleep(delay);
    std::vector<Track> tracks = co_await catalog_->albumTracks(std::move(albumID));
    ++albumTrackLoads;
    co_return tracks;
  }
  asio::awaitable<std::vector<Track>> playlistTracks(std::string playlistID) override {
    return catalog_->playlistTracks(std::move(playlistID));
  }
  asio::awaitable<ArtistRelationships> artistRelationships(std::string artistID) override {
    return catalog_->artistRelationships(std::move(artistID));
  }
  asio::awaitable<std::vector<Song>> stationSongs(std::string stationID) override {
    return catalog_->stationSongs(std::move(stationID));
  }

  // Touched on the main actor only.
  std::vector<std::vector<std::string>> songLookups;
  std::deque<Clock::Duration> albumTrackDelays;  // one per album track load, in order
  std::size_t albumTrackLoads = 0;

 private:
  Clock& clock_;
  std::unique_ptr<LocalCatalog> catalog_;
};

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

struct ServiceFixture : PlayerFixture {
  explicit ServiceFixture(const std::string& stored = R"({"musicAuthorization":"authorized"})")
      : catalog(dir.path() / "catalog", clock),
        library(dir.path() / "data" / "library.sqlite", [this] { return clock.wallNow(); }) {
    writeFile(dir.path() / "settings.json", stored);
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
        .catalog = catalog,
        .library = library,
        .keepAwake = [this](bool on) { awake.push_back(on); },
    });
    tools = std::make_unique<Tools>(main, *service);
    awaitOn(main, service->refreshSubscription());
  }
  ~ServiceFixture() {
    executor.stop();
    service.reset();
  }
  // What the agent reads back from a tool call: its text, or "error: " and the text.
  std::string call(std::string name, const char* arguments = "{}") {
    auto object = *mcp::Value::fromJSON(nlohmann::json::parse(arguments)).objectValue();
    auto outcome = awaitOn(main, tools->run(std::move(name), std::move(object)));
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
  // Waits for background work on the database threads; the clock does not move.
  template <typename Condition>
  void eventually(Condition condition) {
    for (int tries = 0; tries < 5000 && !on(condition); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(on(condition));
  }
  // The ids of the songs the service says it queued, in order.
  std::vector<std::string> queuedSongs() {
    return on([this] { return ids(service->queuedSongs); });
  }

  TempDir dir;
  TestCatalog catalog;
  Library library;
  ScriptedWebAPI webAPI;
  std::unique_ptr<LiveSettings> settings;
  HeldQuestions presenter;
  NetworkStatus network;
  std::unique_ptr<PermissionPrompt> prompt;
  std::vector<bool> awake;
  std::unique_ptr<MusicService> service;
  std::unique_ptr<Tools> tools;
};

}  // namespace melodock::testing
