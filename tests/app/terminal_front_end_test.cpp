// The terminal front end over pipes, with the real permission prompt and authorization
// and a clock the test moves.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include <gtest/gtest.h>

#include "app/terminal_front_end.h"
#include "music/permission_prompt.h"
#include "platform/clock.h"
#include "platform/music/authorization.h"
#include "platform/settings_store.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using Kind = PermissionPrompt::Kind;
using namespace std::chrono_literals;

const std::string kLibraryQuestion =
    "\nYour AI wants to see your library and listening history.\n"
    "This lets it pick music you like. Your AI's provider receives this data. You can change "
    "this anytime under Connect Your AI in the Melodock menu.\n"
    "Turn On (y) or Not Now (n)? ";
const std::string kChangesQuestion =
    "\nYour AI wants to change your library.\n"
    "This lets it create playlists, add music to your library and love or dislike songs. It "
    "can't delete anything. You can change this anytime under Connect Your AI in the Melodock "
    "menu.\n"
    "Turn On (y) or Not Now (n)? ";
const std::string kSetUpQuestion =
    "\nSet Up Apple Music\n"
    "Lets your AI search Apple Music and play songs on this computer.\n"
    "Continue (y) or Not Now (n)? ";

// A terminal stood in for by two pipes: the test types into one and reads the other.
struct Pipes {
  int typed[2] = {-1, -1};
  int shown[2] = {-1, -1};
  Pipes() {
    EXPECT_EQ(::pipe2(typed, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(shown, O_CLOEXEC), 0);
  }
  ~Pipes() {
    for (const int fd : {typed[0], typed[1], shown[0], shown[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  Pipes(const Pipes&) = delete;
  Pipes& operator=(const Pipes&) = delete;

  void type(std::string_view text) const {
    ASSERT_EQ(::write(typed[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void endInput() {
    ::close(typed[1]);
    typed[1] = -1;
  }
  // What the front end wrote, up to and including `end`; all it wrote when `end` does
  // not come in time.
  [[nodiscard]] std::string readThrough(std::string_view end) const {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!text.ends_with(end)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd wait{shown[0], POLLIN, 0};
      if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
      char c = 0;
      if (::read(shown[0], &c, 1) != 1) break;
      text += c;
    }
    return text;
  }
};

std::optional<bool> answerOf(std::future<bool>& answer) {
  if (answer.wait_for(10s) != std::future_status::ready) return std::nullopt;
  return answer.get();
}

struct TerminalTest : ::testing::Test {
  Executor executor{2};
  const MainActor main{executor};
  ManualClock clock;
  Pipes pipes;
  TerminalFrontEnd terminal{pipes.typed[0], pipes.shown[1]};
  PermissionPrompt prompt{main, terminal, [] { return std::nullopt; }, clock};

  ~TerminalTest() override { executor.stop(); }

  std::future<bool> ask(Kind kind) {
    std::future<bool> answer = asio::co_spawn(main.strand(), prompt.ask(kind), asio::use_future);
    // Shown in the order asked: the next ask waits until this one has reached the
    // terminal's queue.
    std::promise<void> queued;
    asio::post(main.strand(), [&] { queued.set_value(); });
    queued.get_future().wait();
    return answer;
  }
};

TEST_F(TerminalTest, AsksOneQuestionAtATimeAndTheTimeOutMovesOn) {
  std::future<bool> library = ask(Kind::library);
  std::future<bool> changes = ask(Kind::changes);
  terminal.start();
  EXPECT_EQ(pipes.readThrough(kLibraryQuestion), kLibraryQuestion);

  pipes.type("maybe\n");
  EXPECT_EQ(pipes.readThrough("? "), "Please answer y or n.\nTurn On (y) or Not Now (n)? ");
  pipes.type(" Y \n");
  EXPECT_EQ(answerOf(library), true);
  EXPECT_EQ(pipes.readThrough(kChangesQuestion), kChangesQuestion);

  clock.advance(90s);
  EXPECT_EQ(answerOf(changes), false);
  EXPECT_EQ(pipes.readThrough("Now.\n"), "\nTimed out: Not Now.\n");

  // The next question of that kind is asked afresh.
  std::future<bool> again = ask(Kind::changes);
  EXPECT_EQ(pipes.readThrough(kChangesQuestion), kChangesQuestion);
  pipes.type("no\n");
  EXPECT_EQ(answerOf(again), false);
}

TEST_F(TerminalTest, EndOfInputAnswersNotNow) {
  terminal.start();
  std::future<bool> library = ask(Kind::library);
  EXPECT_EQ(pipes.readThrough(kLibraryQuestion), kLibraryQuestion);
  pipes.endInput();
  EXPECT_EQ(answerOf(library), false);
  std::future<bool> changes = ask(Kind::changes);
  EXPECT_EQ(answerOf(changes), false);
}

TEST(TerminalFrontEnd, TheSetUpQuestionStoresTheAnswer) {
  struct Row {
    const char* name;
    const char* stored;  // nullptr: absent
    const char* typed;   // nullptr: input ends
    bool asked;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"not determined, y", nullptr, "y\n", true, "authorized"},
      {"not determined, n", nullptr, "n\n", true, "denied"},
      {"denied before, y", "denied", "y\n", true, "authorized"},
      {"not determined, input ends", nullptr, nullptr, true, nullptr},
      {"restricted", "restricted", nullptr, false, "restricted"},
      {"authorized", "authorized", nullptr, false, "authorized"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    SettingsStore settings(dir.path() / "settings.json");
    if (row.stored) settings.set("musicAuthorization", row.stored);
    Executor executor(2);
    const MainActor main(executor);
    Pipes pipes;
    TerminalFrontEnd terminal(pipes.typed[0], pipes.shown[1]);
    MusicAuthorization authorization(settings, terminal);
    terminal.start();
    auto request = [&] { return authorization.request(); };
    auto status = asio::co_spawn(main.strand(), main.run(request), asio::use_future);
    if (row.asked) {
      EXPECT_EQ(pipes.readThrough(kSetUpQuestion), kSetUpQuestion);
    }
    if (row.typed) {
      pipes.type(row.typed);
    } else {
      pipes.endInput();
    }
    ASSERT_EQ(status.wait_for(10s), std::future_status::ready);
    const MusicAuthorization::Status answered = status.get();
    EXPECT_EQ(settings.string("musicAuthorization"),
              row.expected ? std::optional<std::string>(row.expected) : std::nullopt);
    EXPECT_EQ(MusicAuthorization::text(answered), row.expected ? row.expected : "notDetermined");
    executor.stop();
  }
}

}  // namespace
}  // namespace melodock
