// The permission prompt's logic over a presenter that stands in for the window, and a
// clock the test moves.
#include <gtest/gtest.h>

#include "tests/support/manual_clock.h"
#include "tests/support/music_service.h"

namespace melodock {
namespace {

using Kind = PermissionPrompt::Kind;
using namespace std::chrono_literals;

constexpr auto kAnswerPatience = 10s;

using testing::TestPresenter;

struct PromptTest : ::testing::Test {
  Executor executor{2};
  const MainActor main{executor};
  ManualClock clock;
  TestPresenter presenter;
  std::optional<std::string> client;  // main actor
  PermissionPrompt prompt{main, presenter, [this] { return client; }, clock};

  ~PromptTest() override { executor.stop(); }

  std::future<bool> ask(Kind kind) {
    return asio::co_spawn(main.strand(), prompt.ask(kind), asio::use_future);
  }
  // Every ask started so far has shown its question or joined one.
  void settle() {
    testing::runOn(main, [] {});
  }
};

std::optional<bool> answerOf(std::future<bool>& answer) {
  if (answer.wait_for(kAnswerPatience) != std::future_status::ready) return std::nullopt;
  return answer.get();
}

bool waiting(std::future<bool>& answer) {
  return answer.wait_for(0s) == std::future_status::timeout;
}

TEST_F(PromptTest, AsksOfOneKindShareOneQuestionAndKindsAreAnsweredApart) {
  std::future<bool> library1 = ask(Kind::library);
  std::future<bool> changes = ask(Kind::changes);
  std::future<bool> library2 = ask(Kind::library);
  settle();
  ASSERT_EQ(presenter.count(), 2u);
  auto first = presenter.shown(0);
  auto second = presenter.shown(1);
  EXPECT_EQ(first->question.kind, Kind::library);
  EXPECT_EQ(second->question.kind, Kind::changes);

  second->question.onAnswer(false);
  EXPECT_EQ(answerOf(changes), false);
  EXPECT_TRUE(waiting(library1));
  EXPECT_TRUE(waiting(library2));
  first->question.onAnswer(true);
  EXPECT_EQ(answerOf(library1), true);
  EXPECT_EQ(answerOf(library2), true);
  EXPECT_TRUE(presenter.closed(first));
  EXPECT_TRUE(presenter.closed(second));
  EXPECT_EQ(presenter.count(), 2u);
  EXPECT_EQ(clock.pending(), 0u);  // both time-outs gone with their questions
}

TEST_F(PromptTest, TheFirstOfAnswerCloseAndTimeOutDecides) {
  struct Row {
    const char* name;
    std::function<void(TestPresenter::Shown&, ManualClock&)> act;
    bool expected;
  };
  const std::vector<Row> rows = {
      {"Turn On", [](auto& shown, auto&) { shown.question.onAnswer(true); }, true},
      {"Not Now", [](auto& shown, auto&) { shown.question.onAnswer(false); }, false},
      {"Not Now, then Turn On",
       [](auto& shown, auto&) {
         shown.question.onAnswer(false);
         shown.question.onAnswer(true);
       },
       false},
      {"no answer for 90 seconds", [](auto&, auto& clock) { clock.advance(90s); }, false},
      {"Turn On at 89 seconds",
       [](auto& shown, auto& clock) {
         clock.advance(89s);
         shown.question.onAnswer(true);
       },
       true},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    std::future<bool> answer = ask(Kind::changes);
    auto shown = presenter.shown(i);
    ASSERT_TRUE(shown);
    rows[i].act(*shown, clock);
    EXPECT_EQ(answerOf(answer), rows[i].expected);
    EXPECT_TRUE(presenter.closed(shown));
    EXPECT_EQ(clock.pending(), 0u);
  }
}

TEST_F(PromptTest, ALaterTimeOutOrAnswerChangesNothingAndTheNextAskShowsAgain) {
  std::future<bool> first = ask(Kind::library);
  auto firstShown = presenter.shown(0);
  ASSERT_TRUE(firstShown);
  clock.advance(30s);
  firstShown->question.onAnswer(true);
  EXPECT_EQ(answerOf(first), true);

  std::future<bool> second = ask(Kind::library);
  auto secondShown = presenter.shown(1);
  ASSERT_TRUE(secondShown);
  clock.advance(60s);  // the first question's time-out would have fallen here
  firstShown->question.onAnswer(false);
  settle();
  EXPECT_TRUE(waiting(second));
  EXPECT_FALSE(presenter.closed(secondShown));
  secondShown->question.onAnswer(true);
  EXPECT_EQ(answerOf(second), true);
}

// The title names the client asking at the time; the texts without a client, and a named
// client's library question, are the front end's and the music service's tests.
TEST_F(PromptTest, NamesTheClientAskingNow) {
  testing::runOn(main, [&] { client = "Zo\u00eb"; });
  std::future<bool> answer = ask(Kind::changes);
  auto shown = presenter.shown(0);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->question.title, "Zo\u00eb wants to change your library.");
  shown->question.onAnswer(false);
  EXPECT_EQ(answerOf(answer), false);
}

}  // namespace
}  // namespace melodock
