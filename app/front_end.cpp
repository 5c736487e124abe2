#include "app/front_end.h"

#include <unistd.h>

#include "app/terminal_front_end.h"

namespace melodock {
namespace {

// No terminal and no window: a consent question is "Not Now" at once. A display will
// get the desktop's windows once they exist; until then it has nobody to ask either.
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

}  // namespace

std::unique_ptr<FrontEnd> makeFrontEnd(int input, int output) {
  if (::isatty(input) == 1) return std::make_unique<TerminalFrontEnd>(input, output);
  return std::make_unique<AskingNobody>();
}

}  // namespace melodock
