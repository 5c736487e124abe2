// The music service as the app assembles it, for tests: a real player on a virtual output
// and a manual clock, a real settings file, a real library file and the real permission
// prompt. The catalog is a small one built for the test, or one the test hands in; the
// web API is scripted, or the library served in process. Only the prompt's window is a
// stand-in, which answers yes, no or holds the question for the test.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "music/music_service.h"
#include "music/tools.h"
#include "platform/live_settings.h"
#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/local_catalog.h"
#include "platform/music/web_api/in_process_web_api.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/platform/music/player_fixture.h"
#include "tests/support/loopback.h"

namespace melodock::testing {

// The refusals an agent reads, as "error: " and the text.
inline constexpr const char* kNotAuthorized =
    "error: Apple Music access isn't granted yet. Ask the user to open the Melodock panel and "
    "click Set Up Apple Music.";
inline constexpr const char* kPersonalRefusal =
    "error: The user chose not to share their library and listening history. Continue without "
    "it. They can turn it on later: Melodock panel \u2192 Connect Your AI \u2192 Share Library "
    "& History.";

// Stands in for the prompt's window: answers each question at once, or when holding
// keeps it for the test to answer. Safe from any thread.
class TestPresenter final : public PermissionPrompt::Presenter {
 public:
  enum class Answer { yes, no, hold };
  struct Shown {
    PermissionPrompt::Question question;
    bool closed = false;  // under the presenter's mutex
  };

  explicit TestPresenter(Answer answer = Answer::hold) : mode(answer) {}

  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    auto shown = std::make_shared<Shown>(Shown{std::move(question)});
    {
      std::lock_guard lock(mutex_);
      shown_.push_back(shown);
      changed_.notify_all();
    }
    if (mode != Answer::hold) shown->question.onAnswer(mode == Answer::yes);
    return std::make_unique<Handle>(*this, shown);
  }
  // The `index`th question shown, waiting up to 10 s for it; null if it never came.
  std::shared_ptr<Shown> shown(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return shown_.size() > index; });
    return shown_.size() > index ? shown_[index] : nullptr;
  }
  std::size_t count() {
    std::lock_guard lock(mutex_);
    return shown_.size();
  }
  bool closed(const std::shared_ptr<Shown>& shown) {
    std::lock_guard lock(mutex_);
    return shown->closed;
  }
  void answer(std::size_t index, bool yes) { shown(index)->question.onAnswer(yes); }

  std::atomic<Answer> mode;

 private:
  class Handle final : public PermissionPrompt::Presentation {
   public:
    Handle(TestPresenter& presenter, std::shared_ptr<Shown> shown)
        : presenter_(presenter), shown_(std::move(shown)) {}
    ~Handle() override { close(); }
    void close() override {
      std::lock_guard lock(presenter_.mutex_);
      shown_->closed = true;
    }

   private:
    TestPresenter& presenter_;
    std::shared_ptr<Shown> shown_;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Shown>> shown_;
};

// A web API whose answers the test writes: every request is kept, and `answer` (which
// may throw WebAPIError, as a transport does) answers it. Main actor only.
class ScriptedWebAPI final : public WebAPIClient {
 public:
  [[nodiscard]] std::string baseURL() const override { return "https://api.test"; }
  asio::awaitable<WebAPIResponse> send(WebAPIRequest request) override {
    requests.push_back(std::move(request));
    if (!answer) co_return WebAPIResponse{404, ""};
    co_return answer(requests.back());
  }

  std::function<WebAPIResponse(const WebAPIRequest&)> answer;
  std::vector<WebAPIRequest> requests;
};

// The small catalog, with song look-ups counted and album track loads that take as long
// as the test says, on the test's clock. For the service's own rules (limits, caps,
// missing items) that the data cannot show, a test may write answers in place of the
// data's; what was asked is noted.
class SmallCatalog final : public Catalog {
 public:
  template <typename T>
  using Task = asio::awaitable<T>;
  using IDs = std::vector<std::string>;

  // The data (data/small_catalog): two albums, the first with a music video and a song
  // this account cannot play, a playlist and two stations, one of them live.
  SmallCatalog(const std::filesystem::path& folder, Clock& clock)
      : clock_(clock), data_(built(folder / "catalog.sqlite")) {}
  Task<CatalogSearchResults> search(std::string term, int limit) override {
    asked.push_back("search " + term + " " + std::to_string(limit));
    return found ? answer(*found) : data_.search(std::move(term), limit);
  }
  Task<std::vector<Song>> songs(IDs ids) override {
    songLookups.push_back(ids);
    return data_.songs(std::move(ids));
  }
  Task<std::vector<Album>> albums(IDs ids) override {
    asked.push_back("albums " + first(ids));
    return albumAnswer ? answer(*albumAnswer) : data_.albums(std::move(ids));
  }
  Task<std::vector<Artist>> artists(IDs ids) override {
    asked.push_back("artists " + first(ids));
    return artistAnswer ? answer(*artistAnswer) : data_.artists(std::move(ids));
  }
  Task<std::vector<Playlist>> playlists(IDs ids) override {
    return data_.playlists(std::move(ids));
  }
  Task<std::vector<Station>> stations(IDs ids) override { return data_.stations(std::move(ids)); }
  Task<std::vector<SongChart>> mostPlayedSongs(int limit) override {
    asked.push_back("chart " + std::to_string(limit));
    return chartAnswer ? answer(*chartAnswer) : data_.mostPlayedSongs(limit);
  }
  Task<std::vector<std::string>> genres(int limit) override { return data_.genres(limit); }
  Task<GenreItems> genreItems(std::string genre, int limit) override {
    return data_.genreItems(std::move(genre), limit);
  }
  Task<std::vector<Track>> albumTracks(std::string albumID) override {
    asked.push_back("tracks " + albumID);
    if (!albumTrackDelays.empty()) {
      const Clock::Duration delay = albumTrackDelays.front();
      albumTrackDelays.pop_front();
      if (delay.count() > 0) co_await clock_.sleep(delay);
    }
    // Not a co_await inside ?:, which crashed built by GCC 12.
    std::vector<Track> tracks = tracksAnswer.value_or(std::vector<Track>{});
    if (!tracksAnswer) tracks = co_await data_.albumTracks(std::move(albumID));
    ++albumTrackLoads;
    co_return tracks;
  }
  Task<std::vector<Track>> playlistTracks(std::string id) override {
    return data_.playlistTracks(std::move(id));
  }
  Task<ArtistRelationships> artistRelationships(std::string artistID) override {
    asked.push_back("relationships " + artistID);
    return relationshipsAnswer ? answer(*relationshipsAnswer)
                               : data_.artistRelationships(std::move(artistID));
  }
  Task<std::vector<Song>> stationSongs(std::string id) override {
    return data_.stationSongs(std::move(id));
  }

  // Touched on the main actor only.
  std::vector<IDs> songLookups;
  std::deque<Clock::Duration> albumTrackDelays;  // one per album track load, in order
  std::size_t albumTrackLoads = 0;
  std::optional<CatalogSearchResults> found;
  std::optional<std::vector<Album>> albumAnswer;
  std::optional<std::vector<Artist>> artistAnswer;
  std::optional<std::vector<SongChart>> chartAnswer;
  std::optional<std::vector<Track>> tracksAnswer;
  std::optional<ArtistRelationships> relationshipsAnswer;
  std::vector<std::string> asked;

 private:
  static std::filesystem::path built(const std::filesystem::path& file) {
    buildCatalog(MELODOCK_TEST_SUPPORT_DATA "/small_catalog", file);
    return file;
  }
  static std::string first(const IDs& ids) { return ids.empty() ? "" : ids.front(); }
  template <typename T>
  static Task<T> answer(T value) {
    co_return value;
  }

  Clock& clock_;
  LocalCatalog data_;
};

struct ServiceOptions {
  std::string stored = R"({"musicAuthorization":"authorized"})";  // the settings file
  TestPresenter::Answer answer = TestPresenter::Answer::hold;
  // Otherwise the small catalog, built in the test's folder.
  Catalog* catalog = nullptr;
  // The library served by InProcessWebAPI over `catalog`, each request noted in
  // `requests`; otherwise `webAPI`, scripted.
  bool inProcessWebAPI = false;
};

struct MusicServiceHarness : PlayerFixture {
  explicit MusicServiceHarness(const ServiceOptions& options = {})
      : presenter(options.answer),
        small(options.catalog ? nullptr : std::make_unique<SmallCatalog>(dir.path(), clock)),
        catalog(options.catalog ? *options.catalog : *small) {
    writeFile(dir.path() / "settings.json", options.stored);
    settings = std::make_unique<LiveSettings>(dir.path() / "settings.json");
    prompt = std::make_unique<PermissionPrompt>(
        main, presenter, [] { return std::optional<std::string>("Claude"); }, clock);
    if (options.inProcessWebAPI) {
      api = std::make_unique<InProcessWebAPI>(library, catalog);
      api->observe([this](const InProcessWebAPI::Served& request) {
        std::string line = request.method + " " + request.path;
        for (const auto& [name, value] : request.query)
          line.append(" ").append(name).append("=").append(value);
        if (request.body) line += " " + *request.body;
        requests.push_back(line);
      });
    }
    service = std::make_unique<MusicService>(MusicService::Parts{
        .main = main,
        .player = player,
        .settings = *settings,
        .prompt = *prompt,
        .webAPI = api ? static_cast<WebAPIClient&>(*api) : webAPI,
        .network = network,
        .clock = clock,
        .catalog = catalog,
        .library = library,
        .keepAwake = [this](bool on) { awake.push_back(on); },
    });
    tools = std::make_unique<Tools>(main, *service);
    awaitOn(main, service->refreshSubscription());
  }
  ~MusicServiceHarness() {
    executor.stop();
    service.reset();
  }
  // What the agent reads back from a tool call: its text, or "error: " and the text.
  std::string call(std::string name, const std::string& arguments = "{}") {
    auto outcome = awaitOn(main, tools->run(std::move(name), object(arguments)));
    return outcome.failure ? "error: " + outcome.text : outcome.text;
  }
  // Starts a call and returns while it may still wait on the clock or the prompt.
  std::future<Tools::Outcome> start(std::string name, const std::string& arguments = "{}") {
    return asio::co_spawn(executor.pool(), tools->run(std::move(name), object(arguments)),
                          asio::use_future);
  }
  static mcp::Value::Object object(const std::string& json) {
    return *mcp::Value::fromJSON(nlohmann::json::parse(json)).objectValue();
  }
  // What the awaitable gave, or "error: " and the failure's text.
  template <typename T>
  std::pair<std::optional<T>, std::string> attempt(asio::awaitable<T> work) {
    try {
      return {awaitOn(main, std::move(work)), ""};
    } catch (const std::exception& error) {
      return {std::nullopt, std::string("error: ") + error.what()};
    }
  }
  // Waits for background work on the database threads; the clock does not move.
  template <typename Condition>
  void eventually(Condition condition) {
    for (int tries = 0; tries < 5000 && !on(condition); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(on(condition));
  }
  // Moves the clock on by 100 ms each time `done` waits on more than `timers` timers; the
  // number of moves until it is done.
  template <typename T>
  int pausesUntil(std::future<T>& done, std::size_t timers = 0) {
    auto ready = [&] {
      return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    int pauses = 0;
    while (!ready() && pauses < 100) {
      eventually([&] { return clock.pending() > timers || ready(); });
      if (clock.pending() == timers) break;
      advance(std::chrono::milliseconds(100));
      ++pauses;
    }
    return pauses;
  }
  // The ids of the songs the service says it queued, in order.
  std::vector<std::string> queuedSongs() {
    return on([this] { return ids(service->queuedSongs); });
  }
  // The first `count` song ids of the catalog's chart.
  std::vector<std::string> chartSongs(int count) {
    return ids(awaitOn(main, catalog.mostPlayedSongs(count)).front().songs);
  }

  TempDir dir;
  std::unique_ptr<LiveSettings> settings;
  TestPresenter presenter;
  NetworkStatus network;
  std::unique_ptr<PermissionPrompt> prompt;
  Library library{dir.path() / "data" / "library.sqlite", [this] { return clock.wallNow(); }};
  std::unique_ptr<SmallCatalog> small;
  Catalog& catalog;
  ScriptedWebAPI webAPI;
  std::unique_ptr<InProcessWebAPI> api;
  std::vector<std::string> requests;  // as the in-process web API read them
  std::vector<bool> awake;            // main actor only
  std::unique_ptr<MusicService> service;
  std::unique_ptr<Tools> tools;
};

}  // namespace melodock::testing
