// App mode's front end in a terminal: each question is written to the terminal with its
// title and explanation and answered y or n, one question at a time, in the order they
// come. Reading waits on a thread of its own, never on the pool; answers go back through
// each question's callback. A question taken away before it is answered (the prompt's
// time-out) is said to have timed out, and the next one is asked.
#pragma once

#include <memory>
#include <optional>
#include <thread>

#include "app/front_end.h"

namespace melodock {

class TerminalFrontEnd final : public FrontEnd {
 public:
  // The set-up question's texts.
  static constexpr std::string_view kSetUpTitle = "Set Up Apple Music";
  static constexpr std::string_view kSetUpExplanation =
      "Lets your AI search Apple Music and play songs on this computer.";
  static constexpr std::string_view kSetUpYes = "Continue";

  // Reads answers from `input` and writes questions to `output`; both must stay open
  // while the front end lives, and neither is closed by it.
  TerminalFrontEnd(int input, int output);
  // Stops the reading thread. Questions still open are dropped unanswered.
  ~TerminalFrontEnd() override;

  void start() override;

  // "Turn On" is y, "Not Now" is n. Input that ends answers "Not Now".
  std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override;

  // "Continue" is y, "Not Now" is n; input that ends asks nobody.
  asio::awaitable<std::optional<bool>> askToSetUp() override;

 private:
  struct Entry;
  class Core;
  class Shown;

  std::shared_ptr<Core> core_;
  std::thread thread_;
};

}  // namespace melodock
