// The desktop front end with the real permission prompt and authorization; the desktop's
// windows stood in for by functions the test answers from its own thread, as the GUI
// thread would.
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "app/front_end.h"
#include "music/permission_prompt.h"
#include "platform/clock.h"
#include "platform/music/authorization.h"
#include "platform/settings_store.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;

// The consent window: records what it was asked to show.
class Windows final : public PermissionPrompt::Presenter {
 public:
  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    shown_.set_value(std::move(question));
    return std::make_unique<Open>();
  }
  std::future<PermissionPrompt::Question> shown() { return shown_.get_future(); }

 private:
  class Open final : public PermissionPrompt::Presentation {
   public:
    void close() override {}
  };
  std::promise<PermissionPrompt::Question> shown_;
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

TEST(DesktopFrontEnd, TheSetUpQuestionStoresTheAnswer) {
  struct Row {
    const char* name;
    const char* stored;  // nullptr: absent
    bool answer;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"not determined, Continue", nullptr, true, "authorized"},
      {"not determined, Not Now", nullptr, false, "denied"},
      {"denied before, Continue", "denied", true, "authorized"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    SettingsStore settings(dir.path() / "settings.json");
    if (row.stored) settings.set("musicAuthorization", row.stored);
    Executor executor(2);
    const MainActor main(executor);
    Windows windows;
    AccessDialog dialog;
    const auto desktop = makeDesktopFrontEnd({.consent = windows, .setUp = dialog.show()});
    MusicAuthorization authorization(settings, *desktop);
    desktop->start();
    auto request = [&] { return authorization.request(); };
    auto status = asio::co_spawn(main.strand(), main.run(request), asio::use_future);
    auto asked = dialog.asked.get_future();
    ASSERT_EQ(asked.wait_for(10s), std::future_status::ready);
    asked.get()(row.answer);
    ASSERT_EQ(status.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(MusicAuthorization::text(status.get()), row.expected);
    EXPECT_EQ(settings.string("musicAuthorization"), std::optional<std::string>(row.expected));
    // Answered, the dialog is no longer held on screen.
    EXPECT_TRUE(dialog.onScreen.expired());
    executor.stop();
  }
}

TEST(DesktopFrontEnd, ConsentIsAskedInTheWindows) {
  for (const bool turnOn : {true, false}) {
    SCOPED_TRACE(turnOn ? "Turn On" : "Not Now");
    Executor executor(2);
    const MainActor main(executor);
    ManualClock clock;
    Windows windows;
    AccessDialog dialog;
    const auto desktop = makeDesktopFrontEnd({.consent = windows, .setUp = dialog.show()});
    PermissionPrompt prompt(
        main, *desktop, [] { return std::string("Claude"); }, clock);
    auto shown = windows.shown();
    std::future<bool> answer = asio::co_spawn(
        main.strand(), prompt.ask(PermissionPrompt::Kind::changes), asio::use_future);
    ASSERT_EQ(shown.wait_for(10s), std::future_status::ready);
    PermissionPrompt::Question question = shown.get();
    EXPECT_EQ(question.title, "Claude wants to change your library.");
    question.onAnswer(turnOn);
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(answer.get(), turnOn);
    executor.stop();
  }
}

}  // namespace
}  // namespace melodock
