// The terminal and desktop front ends with the real permission prompt and authorization
// and a clock the test moves: the terminal over pipes, the desktop's windows stood in
// for by functions the test answers from its own thread, as the GUI thread would.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/front_end.h"
#include "app/terminal_front_end.h"
#include "music/permission_prompt.h"
#include "platform/app_settings.h"
#include "platform/clock.h"
#include "platform/music/authorization.h"
#include "platform/settings_store.h"
#include "tests/app/terminal_questions.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_clock.h"

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
    return testing::readThrough(shown[0], end, 10s);
  }
};

// The consent window, never asked here: consent on the desktop is the Qt tests' and the
// desktop end-to-end test's.
class Windows final : public PermissionPrompt::Presenter {
 public:
  std::unique_ptr<PermissionPrompt::Presentation> present(PermissionPrompt::Question) override {
    ADD_FAILURE() << "consent asked";
    return nullptr;
  }
};

// The access dialog: hands its answer function to the test and tells when it is gone.
struct AccessDialog {
  std::promise<std::function<void(bool)>> asked;
  std::weak_ptr<void> onScreen;

  std::function<std::shared_ptr<void>(std::function<void(bool)>)> show() {
    return [this](std::function<void(bool)> answer) {
      auto shown = std::make_shared<int>(0);
      onScreen = shown;
      asked.set_value(std::move(answer));
      return shown;
    };
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

// The terminal's y and n typed on a real pseudo-terminal, and a settled answer that asks
// nothing, are the binary's test.
TEST(FrontEnd, TheSetUpQuestionStoresTheAnswer) {
  struct Row {
    const char* name;
    bool desktop;
    const char* stored;          // nullptr: absent
    std::optional<bool> answer;  // nothing: the terminal's input ends
    const char* expected;        // nullptr: absent
  };
  const std::vector<Row> rows = {
      {"terminal, not determined, input ends", false, nullptr, std::nullopt, nullptr},
      {"desktop, not determined, Continue", true, nullptr, true, "authorized"},
      {"desktop, not determined, Not Now", true, nullptr, false, "denied"},
      {"desktop, denied before, Continue", true, "denied", true, "authorized"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    SettingsStore settings(dir.path() / "settings.json");
    if (row.stored) settings.set(setting::kMusicAuthorization.name, row.stored);
    Executor executor(2);
    const MainActor main(executor);
    Pipes pipes;
    Windows windows;
    AccessDialog dialog;
    const std::unique_ptr<FrontEnd> frontEnd =
        row.desktop ? makeDesktopFrontEnd({.consent = windows, .setUp = dialog.show()})
                    : std::make_unique<TerminalFrontEnd>(pipes.typed[0], pipes.shown[1]);
    MusicAuthorization authorization(settings, *frontEnd);
    frontEnd->start();
    auto request = [&] { return authorization.request(); };
    auto status = asio::co_spawn(main.strand(), main.run(request), asio::use_future);
    if (row.desktop) {
      auto asked = dialog.asked.get_future();
      ASSERT_EQ(asked.wait_for(10s), std::future_status::ready);
      asked.get()(*row.answer);
    } else {
      if (!row.stored || std::string_view(row.stored) == "denied") {
        EXPECT_EQ(pipes.readThrough(testing::kSetUpQuestion), testing::kSetUpQuestion);
      }
      row.answer ? pipes.type(*row.answer ? "y\n" : "n\n") : pipes.endInput();
    }
    ASSERT_EQ(status.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(MusicAuthorization::text(status.get()),
              row.expected ? row.expected : "notDetermined");
    EXPECT_EQ(settings.string(setting::kMusicAuthorization.name),
              row.expected ? std::optional<std::string>(row.expected) : std::nullopt);
    EXPECT_TRUE(dialog.onScreen.expired());  // answered, no dialog is held on screen
    executor.stop();
  }
}

}  // namespace
}  // namespace melodock
