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

// The desktop asks for consent in its own windows; the Apple Music set-up still goes to
// the front end the app would have without a display.
class AskingOnTheDesktop final : public FrontEnd {
 public:
  AskingOnTheDesktop(PermissionPrompt::Presenter& consent, std::unique_ptr<FrontEnd> others)
      : consent_(consent), others_(std::move(others)) {}

  void start() override { others_->start(); }

  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override {
    return consent_.present(std::move(question));
  }

  asio::awaitable<std::optional<bool>> askToSetUp() override {
    co_return co_await others_->askToSetUp();
  }

 private:
  PermissionPrompt::Presenter& consent_;
  std::unique_ptr<FrontEnd> others_;
};

}  // namespace

std::unique_ptr<FrontEnd> makeDesktopFrontEnd(PermissionPrompt::Presenter& consent,
                                              std::unique_ptr<FrontEnd> others) {
  return std::make_unique<AskingOnTheDesktop>(consent, std::move(others));
}

std::unique_ptr<FrontEnd> makeFrontEnd(int input, int output) {
  if (::isatty(input) == 1) return std::make_unique<TerminalFrontEnd>(input, output);
  return std::make_unique<AskingNobody>();
}

}  // namespace melodock
