#include "app/front_end.h"

#include <unistd.h>

#include "app/terminal_front_end.h"

namespace melodock {
namespace {

// No terminal and no window: a consent question is "Not Now" at once.
class AskingNobody final : public FrontEnd {
 public:
  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    question.onAnswer(false);
    return std::make_unique<Nothing>();
  }

  asio::awaitable<std::optional<bool>> askToSetUp() override { co_return std::nullopt; }

 private:
  class Nothing final : public PermissionPrompt::Presentation {
   public:
    void close() override {}
  };
};

// The desktop asks in its own windows.
class AskingOnTheDesktop final : public FrontEnd {
 public:
  explicit AskingOnTheDesktop(DesktopAsking asking) : asking_(std::move(asking)) {}

  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    return asking_.consent.present(std::move(question));
  }

  asio::awaitable<std::optional<bool>> askToSetUp() override {
    const asio::any_io_executor executor = co_await asio::this_coro::executor;
    // Leaving the question (the caller's coroutine destroyed) takes it off the screen.
    std::shared_ptr<void> shown;
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&,
                                            void(std::optional<bool>)>(
        [&](auto handler) {
          // std::function needs a copyable target; the handler itself is move-only.
          auto shared = std::make_shared<decltype(handler)>(std::move(handler));
          shown = asking_.setUp([shared, executor](bool answer) {
            asio::post(executor, [shared, answer] { std::move (*shared)(std::optional(answer)); });
          });
        },
        asio::use_awaitable);
  }

 private:
  DesktopAsking asking_;
};

}  // namespace

std::unique_ptr<FrontEnd> makeDesktopFrontEnd(DesktopAsking asking) {
  return std::make_unique<AskingOnTheDesktop>(std::move(asking));
}

std::unique_ptr<FrontEnd> makeFrontEnd(int input, int output) {
  if (::isatty(input) == 1) return std::make_unique<TerminalFrontEnd>(input, output);
  return std::make_unique<AskingNobody>();
}

}  // namespace melodock
