#include "music/permission_prompt.h"

#include <utility>

#include "platform/executor.h"

namespace melodock {
namespace {

constexpr std::string_view kNoClient = "Your AI";
constexpr std::string_view kLibraryTitle = " wants to see your library and listening history.";
constexpr std::string_view kChangesTitle = " wants to change your library.";
constexpr std::string_view kLibraryExplanation =
    "This lets it pick music you like. Your AI's provider receives this data. You can change "
    "this anytime under Connect Your AI in the Melodock menu.";
constexpr std::string_view kChangesExplanation =
    "This lets it create playlists, add music to your library and love or dislike songs. It "
    "can't delete anything. You can change this anytime under Connect Your AI in the Melodock "
    "menu.";

}  // namespace

// One presented question and its answer, shared by every asker of its kind. Lives on
// the main actor.
class PermissionPrompt::OpenPrompt {
 public:
  explicit OpenPrompt(const Strand& strand)
      : answered_(strand, asio::steady_timer::time_point::max()) {}

  // Delivers the answer once: the first of the user's answer, a close and the time-out
  // decides, and whatever comes later finds the answer given and changes nothing.
  void finish(bool answer) {
    if (answer_) return;
    answer_ = answer;
    timeout_.reset();
    // Taken out first: closing may report a close, which must find the answer given.
    std::unique_ptr<Presentation> presentation = std::move(presentation_);
    presentation.reset();
    answered_.cancel();
  }

  asio::awaitable<bool> answer() {
    // The timer never expires: it is cancelled to wake every waiter at once.
    while (!answer_) co_await answered_.async_wait(kUseTuple);
    co_return *answer_;
  }

  void setTimeout(std::unique_ptr<Clock::Timer> timeout) { timeout_ = std::move(timeout); }
  void setPresentation(std::unique_ptr<Presentation> shown) { presentation_ = std::move(shown); }

  // Takes the question away without answering it.
  void close() {
    timeout_.reset();
    presentation_.reset();
  }

 private:
  std::optional<bool> answer_;
  std::unique_ptr<Presentation> presentation_;
  std::unique_ptr<Clock::Timer> timeout_;
  asio::steady_timer answered_;
};

PermissionPrompt::PermissionPrompt(const MainActor& main, Presenter& presenter,
                                   ClientName clientName, Clock& clock, Clock::Duration timeout)
    : main_(main),
      presenter_(presenter),
      clientName_(std::move(clientName)),
      clock_(clock),
      timeout_(timeout) {}

PermissionPrompt::~PermissionPrompt() {
  for (auto& [kind, prompt] : pending_) prompt->close();
}

asio::awaitable<bool> PermissionPrompt::ask(Kind kind) {
  auto work = [this, kind] { return askOnMain(kind); };
  co_return co_await main_.run(std::move(work));
}

asio::awaitable<bool> PermissionPrompt::askOnMain(Kind kind) {
  if (auto found = pending_.find(kind); found != pending_.end()) {
    const std::shared_ptr<OpenPrompt> shared = found->second;
    co_return co_await shared->answer();
  }
  const std::shared_ptr<OpenPrompt> prompt = present(kind);
  pending_.emplace(kind, prompt);
  const bool answer = co_await prompt->answer();
  pending_.erase(kind);
  co_return answer;
}

std::shared_ptr<PermissionPrompt::OpenPrompt> PermissionPrompt::present(Kind kind) {
  auto prompt = std::make_shared<OpenPrompt>(main_.strand());
  const std::weak_ptr<OpenPrompt> weak = prompt;
  // Scheduled before the question shows, so no answer can come before its time-out is
  // in place.
  prompt->setTimeout(clock_.schedule(main_.strand(), timeout_, [weak] {
    if (auto open = weak.lock()) open->finish(false);
  }));

  std::optional<std::string> client = clientName_ ? clientName_() : std::nullopt;
  if (!client || client->empty()) client = std::string(kNoClient);
  const bool library = kind == Kind::library;
  Question question{kind, *client + std::string(library ? kLibraryTitle : kChangesTitle),
                    std::string(library ? kLibraryExplanation : kChangesExplanation),
                    // Answers come from the presenter's thread and may outlive the question.
                    [weak, strand = main_.strand()](bool answer) {
                      asio::post(strand, [weak, answer] {
                        if (auto open = weak.lock()) open->finish(answer);
                      });
                    }};
  prompt->setPresentation(presenter_.present(std::move(question)));
  return prompt;
}

}  // namespace melodock
