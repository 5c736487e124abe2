// The permission prompt's logic over a presenter that stands in for the window, and a
// clock the test moves.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "music/permission_prompt.h"
#include "platform/actor.h"
#include "platform/clock.h"

namespace melodock {
namespace {

using Kind = PermissionPrompt::Kind;
using namespace std::chrono_literals;

constexpr auto kPatience = 10s;

// Records what is shown; the test answers or closes it as a user would.
class FakePresenter final : public PermissionPrompt::Presenter {
 public:
  struct Shown {
    PermissionPrompt::Question question;
    bool closed = false;  // under the presenter's mutex
  };

  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    std::lock_guard lock(mutex_);
    shown_.push_back(std::make_shared<Shown>(Shown{std::move(question)}));
    changed_.notify_all();
    return std::make_unique<Handle>(*this, shown_.back());
  }

  // The `index`th question shown, waiting for it to be shown.
  std::shared_ptr<Shown> shown(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return shown_.size() > index; });
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

 private:
  class Handle final : public PermissionPrompt::Presentation {
   public:
    Handle(FakePresenter& presenter, std::shared_ptr<Shown> shown)
        : presenter_(presenter), shown_(std::move(shown)) {}
    ~Handle() override { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void close() override {
      std::lock_guard lock(presenter_.mutex_);
      shown_->closed = true;
    }

   private:
    FakePresenter& presenter_;
    std::shared_ptr<Shown> shown_;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Shown>> shown_;
};

struct PromptTest : ::testing::Test {
  Executor executor{2};
  const MainActor main{executor};
  ManualClock clock;
  FakePresenter presenter;
  std::optional<std::string> client;  // main actor
  PermissionPrompt prompt{main, presenter, [this] { return client; }, clock};

  ~PromptTest() override { executor.stop(); }

  std::future<bool> ask(Kind kind) {
    return asio::co_spawn(main.strand(), prompt.ask(kind), asio::use_future);
  }
  // Runs `work` on the main actor, after everything queued there before it.
  void onMain(const std::function<void()>& work) {
    std::promise<void> done;
    asio::post(main.strand(), [&] {
      work();
      done.set_value();
    });
    done.get_future().wait();
  }
  // Every ask started so far has shown its question or joined one.
  void settle() {
    onMain([] {});
  }
};

std::optional<bool> answerOf(std::future<bool>& answer) {
  if (answer.wait_for(kPatience) != std::future_status::ready) return std::nullopt;
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
    std::function<void(FakePresenter::Shown&, ManualClock&)> act;
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

TEST_F(PromptTest, TimesOutAtNinetySecondsAndNotBefore) {
  std::future<bool> answer = ask(Kind::library);
  auto shown = presenter.shown(0);
  ASSERT_TRUE(shown);
  clock.advance(89s);
  EXPECT_TRUE(waiting(answer));
  EXPECT_FALSE(presenter.closed(shown));
  clock.advance(1s);
  EXPECT_EQ(answerOf(answer), false);
  EXPECT_TRUE(presenter.closed(shown));
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

TEST_F(PromptTest, NamesTheLastClientOrYourAI) {
  struct Row {
    std::optional<std::string> client;
    Kind kind;
    std::string title;
    std::string explanation;
  };
  const std::string library =
      "This lets it pick music you like. Your AI's provider receives this data. You can change "
      "this anytime under Connect Your AI in the Melodock menu.";
  const std::string changes =
      "This lets it create playlists, add music to your library and love or dislike songs. It "
      "can't delete anything. You can change this anytime under Connect Your AI in the Melodock "
      "menu.";
  const std::vector<Row> rows = {
      {std::nullopt, Kind::changes, "Your AI wants to change your library.", changes},
      {std::nullopt, Kind::library, "Your AI wants to see your library and listening history.",
       library},
      {"Claude Code", Kind::library, "Claude Code wants to see your library and listening history.",
       library},
      {"Zoë", Kind::changes, "Zoë wants to change your library.", changes},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].title);
    onMain([&] { client = rows[i].client; });
    std::future<bool> answer = ask(rows[i].kind);
    auto shown = presenter.shown(i);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->question.kind, rows[i].kind);
    EXPECT_EQ(shown->question.title, rows[i].title);
    EXPECT_EQ(shown->question.explanation, rows[i].explanation);
    shown->question.onAnswer(false);
    EXPECT_EQ(answerOf(answer), false);
  }
}

}  // namespace
}  // namespace melodock
