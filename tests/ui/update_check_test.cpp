// The update check against a feed served on 127.0.0.1: each outcome, what it stores,
// and the bodies that are not a feed.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <mutex>
#include <thread>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

#include "platform/app_settings.h"
#include "platform/executor.h"
#include "platform/music/web_api/web_api_http_transport.h"
#include "platform/settings_store.h"
#include "tests/support/await.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_clock.h"
#include "ui/product.h"
#include "ui/update_check.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using Kind = UpdateState::Kind;

UpdateState stateOf(Kind kind) {
  UpdateState state;
  state.kind = kind;
  return state;
}

// Answers each path with a fixed head and body, one request per connection; a path it
// does not know gets no answer at all: the connection closes.
class FeedServer {
 public:
  FeedServer() {
    acceptor_.bind({asio::ip::make_address("127.0.0.1"), 0});
    acceptor_.listen();
    asio::co_spawn(context_, accept(), asio::detached);
    thread_ = std::thread([this] { context_.run(); });
  }
  ~FeedServer() {
    context_.stop();
    thread_.join();
  }
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  void serve(const std::string& path, int status, const std::string& body,
             const std::string& headers = "") {
    const std::string answer = "HTTP/1.1 " + std::to_string(status) +
                               " Status\r\nContent-Type: application/json\r\n" + headers +
                               "Content-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    std::lock_guard lock(mutex_);
    answers_[path] = answer;
  }
  // Holds the answers to `path` until release().
  void hold(const std::string& path) {
    std::lock_guard lock(mutex_);
    held_ = path;
  }
  void release() {
    std::lock_guard lock(mutex_);
    held_.clear();
  }
  [[nodiscard]] int requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  [[nodiscard]] std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port()) + path;
  }

 private:
  asio::awaitable<void> accept() {
    for (;;) {
      auto [error, socket] =
          co_await acceptor_.async_accept(asio::experimental::as_tuple(asio::use_awaitable));
      if (error) co_return;
      asio::co_spawn(context_, answer(std::move(socket)), asio::detached);
    }
  }
  asio::awaitable<void> answer(asio::ip::tcp::socket socket) {
    const auto use = asio::experimental::as_tuple(asio::use_awaitable);
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
      char chunk[4096];
      auto [error, count] = co_await socket.async_read_some(asio::buffer(chunk), use);
      if (error) co_return;
      head.append(chunk, count);
    }
    const std::size_t start = head.find(' ') + 1;
    const std::string path = head.substr(start, head.find(' ', start) - start);
    std::string answer;
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (held_ != path) {
          ++requests_;
          if (const auto found = answers_.find(path); found != answers_.end()) {
            answer = found->second;
          }
          break;
        }
      }
      asio::steady_timer pause(context_, 5ms);
      co_await pause.async_wait(use);
    }
    if (!answer.empty()) co_await asio::async_write(socket, asio::buffer(answer), use);
  }

  asio::io_context context_;
  asio::ip::tcp::acceptor acceptor_{context_, asio::ip::tcp::v4()};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, std::string> answers_;  // guarded by mutex_
  std::string held_;                            // guarded by mutex_
  int requests_ = 0;                            // guarded by mutex_
};

const std::string kFeed = R"({"version": "1.3", "build": 46, "page": "https://melodock.test/get"})";

struct Fixture {
  explicit Fixture(std::string build = "45") : build(std::move(build)) {}

  UpdateState checkOnce(const std::string& feedURL) {
    UpdateCheck updates(main, settings, clock, http, {.feedURL = feedURL, .build = build});
    std::promise<UpdateState> ended;
    testing::runOn(main, [&] {
      updates.observe([&](const UpdateState& state) {
        if (state.kind != Kind::checking) ended.set_value(state);
      });
      updates.check();
    });
    auto outcome = ended.get_future();
    if (outcome.wait_for(30s) != std::future_status::ready) return stateOf(Kind::idle);
    return outcome.get();
  }

  Executor executor{2};
  MainActor main{executor};
  testing::TempDir dir;
  SettingsStore settings{dir.path() / "settings.json"};
  ManualClock clock;
  WebAPIHTTPTransport http;
  FeedServer server;
  std::string build;
};

// An answer the check can read is compared and stores the time of the check; anything
// else fails and stores nothing.
TEST(UpdateCheck, ComparesAFeedsBuildWithTheRunningOneAndFailsOnAnythingElse) {
  struct Row {
    const char* name;
    std::string build;  // the running build's text
    std::string path;   // "/moved" redirects to the feed; "/silent" is never answered
    int status;
    std::string body;
    UpdateState expected;
  };
  const UpdateState available{
      .kind = Kind::available, .version = "1.3", .page = "https://melodock.test/get"};
  const UpdateState current = stateOf(Kind::current);
  const UpdateState failed = stateOf(Kind::failed);
  const std::vector<Row> rows = {
      {"the build the feed describes", "46", "/feed.json", 200, kFeed, current},
      {"a newer build than the feed's", "47", "/feed.json", 200, kFeed, current},
      {"one build behind", "45", "/feed.json", 200, kFeed, available},
      // How the build text is read is ReadsBuildNumbersAsTheBundleDoes'.
      {"a build with no number", "", "/feed.json", 200, kFeed, available},
      {"a 404 whose body is a feed", "45", "/feed.json", 404, kFeed, available},
      {"other members are ignored", "46", "/feed.json", 200,
       R"({"notes": [1, 2], "version": "9", "build": 46, "page": "https://x.test/"})", current},
      {"junk", "45", "/feed.json", 200, "<html>Not here</html>", failed},
      {"an error page", "45", "/feed.json", 500, R"({"error": "down"})", failed},
      {"a member missing", "45", "/feed.json", 200, R"({"version": "1.3", "build": 46})", failed},
      {"a build that is text", "45", "/feed.json", 200,
       R"({"version": "1.3", "build": "46", "page": "https://x.test/"})", failed},
      {"a fractional build", "45", "/feed.json", 200,
       R"({"version": "1.3", "build": 46.5, "page": "https://x.test/"})", failed},
      {"a page that is no web address", "45", "/feed.json", 200,
       R"({"version": "1.3", "build": 46, "page": "file:///etc/passwd"})", failed},
      {"a list", "45", "/feed.json", 200, "[" + kFeed + "]", failed},
      {"an empty body", "45", "/feed.json", 200, "", failed},
      {"ten megabytes", "45", "/feed.json", 200, std::string(10 << 20, ' ') + kFeed, failed},
      {"nothing at all", "45", "/silent", 0, "", failed},
      {"a redirect to plain http", "45", "/moved", 302, kFeed, failed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fixture f(row.build);
    if (row.path == "/moved") {
      f.server.serve("/feed.json", 200, kFeed);  // where the redirect points
      f.server.serve(row.path, row.status, row.body,
                     "Location: " + f.server.url("/feed.json") + "\r\n");
    } else if (row.status != 0) {
      f.server.serve(row.path, row.status, row.body);
    }
    EXPECT_EQ(f.checkOnce(f.server.url(row.path)), row.expected);
    if (row.expected == failed) {
      EXPECT_EQ(f.settings.value(setting::kLastUpdateCheck.name), std::nullopt);
    } else {
      const double now =
          std::chrono::duration<double>(f.clock.wallNow().time_since_epoch()).count();
      EXPECT_EQ(AppSettings(f.settings).get(setting::kLastUpdateCheck), now);
    }
  }
}

TEST(UpdateCheck, WithoutAFeedFailsAtOnceAndNeverChecksAtLaunch) {
  Fixture f;
  UpdateCheck updates(f.main, f.settings, f.clock, f.http, {.feedURL = "", .build = "1"});
  std::vector<Kind> seen;
  testing::runOn(f.main, [&] {
    updates.observe([&](const UpdateState& state) { seen.push_back(state.kind); });
    updates.checkAtLaunch();
  });
  EXPECT_EQ(testing::runOn(f.main, [&] { return updates.state().kind; }), Kind::idle);
  testing::runOn(f.main, [&] { updates.check(); });
  EXPECT_EQ(seen, std::vector<Kind>{Kind::failed});
  EXPECT_EQ(f.server.requests(), 0);
}

TEST(UpdateCheck, IgnoresASecondCheckWhileOneRunsAndStartsOverAfterwards) {
  Fixture f;
  f.server.serve("/feed.json", 200, kFeed);
  f.server.hold("/feed.json");
  UpdateCheck updates(f.main, f.settings, f.clock, f.http,
                      {.feedURL = f.server.url("/feed.json"), .build = "45"});
  std::mutex mutex;
  std::vector<Kind> seen;
  testing::runOn(f.main, [&] {
    updates.observe([&](const UpdateState& state) {
      std::lock_guard lock(mutex);
      seen.push_back(state.kind);
    });
    updates.check();
    updates.check();
    updates.checkAtLaunch();
  });
  auto seenNow = [&] {
    std::lock_guard lock(mutex);
    return seen;
  };
  EXPECT_EQ(seenNow(), std::vector<Kind>{Kind::checking});
  f.server.release();
  ASSERT_TRUE(testing::eventually([&] { return seenNow().size() == 2; }));
  EXPECT_EQ(seenNow(), (std::vector<Kind>{Kind::checking, Kind::available}));
  EXPECT_EQ(f.server.requests(), 1);

  testing::runOn(f.main, [&] { updates.check(); });
  ASSERT_TRUE(testing::eventually([&] { return seenNow().size() == 4; }));
  EXPECT_EQ(seenNow(),
            (std::vector<Kind>{Kind::checking, Kind::available, Kind::checking, Kind::available}));
  EXPECT_EQ(f.server.requests(), 2);
}

TEST(UpdateCheck, ReadsBuildNumbersAsTheBundleDoes) {
  const std::vector<std::pair<std::string, std::int64_t>> rows = {
      {"45", 45},
      {"+45", 45},
      {"-3", -3},
      {"007", 7},
      {"", 0},
      {"+", 0},
      {"-", 0},
      {"+-4", 0},
      {"4 ", 0},
      {"45a", 0},
      {" 4", 0},
      {"1.2", 0},
      {"99999999999999999999", 0},
  };
  for (const auto& [text, number] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(buildNumber(text), number);
  }
}

}  // namespace
}  // namespace melodock
