// The question put to the user when an AI client wants their library data or wants to
// change their library: one question per kind at a time, answered "Turn On" or
// "Not Now". Whoever shows it (a window, the terminal) is the presenter passed in; the
// consent gates store a yes and turn a no into their refusal.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "platform/actor.h"
#include "platform/clock.h"

namespace melodock {

class PermissionPrompt {
 public:
  enum class Kind { library, changes };

  static constexpr std::string_view kTurnOn = "Turn On";
  static constexpr std::string_view kNotNow = "Not Now";
  static constexpr std::chrono::seconds kTimeout{90};

  // What one presentation shows. `onAnswer` takes true for "Turn On" and false for
  // "Not Now" or a close by the user; it may be called at any time, from any thread and
  // more than once: only the first answer counts.
  struct Question {
    Kind kind;
    std::string title;
    std::string explanation;
    std::function<void(bool)> onAnswer;
  };

  // A shown question. Destroying it, or close(), takes it away without an answer.
  class Presentation {
   public:
    Presentation() = default;
    Presentation(const Presentation&) = delete;
    Presentation& operator=(const Presentation&) = delete;
    virtual ~Presentation() = default;
    virtual void close() = 0;
  };

  class Presenter {
   public:
    Presenter() = default;
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;
    virtual ~Presenter() = default;
    // Shows `question`; called on the main actor.
    [[nodiscard]] virtual std::unique_ptr<Presentation> present(Question question) = 0;
  };

  // The last client that named itself, if any; called on the main actor.
  using ClientName = std::function<std::optional<std::string>()>;

  // `main`, `presenter` and `clock` must outlive the prompt.
  PermissionPrompt(const MainActor& main, Presenter& presenter, ClientName clientName, Clock& clock,
                   Clock::Duration timeout = kTimeout);
  PermissionPrompt(const PermissionPrompt&) = delete;
  PermissionPrompt& operator=(const PermissionPrompt&) = delete;
  // Closes what is still shown; its askers never resume.
  ~PermissionPrompt();

  // True only when the user chose "Turn On". A question of a kind already being asked
  // is not shown again: every asker of that kind gets the one answer. "Not Now", a
  // close, or no answer within the time-out is false. Never fails; runs on the main
  // actor and resumes the caller on its own executor.
  asio::awaitable<bool> ask(Kind kind);

 private:
  class OpenPrompt;

  asio::awaitable<bool> askOnMain(Kind kind);
  std::shared_ptr<OpenPrompt> present(Kind kind);

  const MainActor& main_;
  Presenter& presenter_;
  ClientName clientName_;
  Clock& clock_;
  Clock::Duration timeout_;
  std::map<Kind, std::shared_ptr<OpenPrompt>> pending_;  // main actor only
};

}  // namespace melodock
