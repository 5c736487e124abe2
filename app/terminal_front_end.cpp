#include "app/terminal_front_end.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <asio.hpp>

#include "base/write_all.h"

namespace melodock {
namespace {

using Answer = std::function<void(std::optional<bool>)>;

// y or yes, n or no, in any case.
std::optional<bool> parseAnswer(std::string_view line) {
  std::string word;
  for (const char c : line) {
    if (std::isspace(static_cast<unsigned char>(c)) == 0) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  if (word == "y" || word == "yes") return true;
  if (word == "n" || word == "no") return false;
  return std::nullopt;
}

// What one round of the reading thread writes and answers, outside the lock.
struct Batch {
  std::string out;
  std::vector<std::pair<Answer, std::optional<bool>>> answers;
};

}  // namespace

struct TerminalFrontEnd::Entry {
  std::string question;  // title and explanation, a line each
  std::string choice;    // the answer line, without a line end
  std::string no;        // what a time-out amounts to
  Answer onAnswer;       // taken out when the answer is delivered
  bool shown = false;
  bool closed = false;
};

// The questions and the reading thread's state, shared with every handle, which may
// outlive the front end.
class TerminalFrontEnd::Core {
 public:
  Core(int input, int output) : input_(input), output_(output) {
    // A duplicate, so Asio never closes the caller's descriptor. A file or /dev/null
    // cannot be waited on (epoll refuses it) but never blocks a read either.
    const int watched = ::fcntl(input, F_DUPFD_CLOEXEC, 0);
    if (watched >= 0) {
      std::error_code error;
      waited_.emplace(context_);
      waited_->assign(watched, error);
      if (error) {
        waited_.reset();
        ::close(watched);
      }
    }
  }
  ~Core() = default;
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  std::shared_ptr<Entry> enqueue(std::string_view title, std::string_view explanation,
                                 std::string_view yes, std::string_view no, Answer onAnswer) {
    auto entry = std::make_shared<Entry>();
    entry->question = "\n" + std::string(title) + "\n" + std::string(explanation) + "\n";
    entry->choice = std::string(yes) + " (y) or " + std::string(no) + " (n)? ";
    entry->no = no;
    entry->onAnswer = std::move(onAnswer);
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(entry);
    }
    wake();
    return entry;
  }

  void close(const std::shared_ptr<Entry>& entry) {
    {
      std::lock_guard lock(mutex_);
      entry->closed = true;
    }
    wake();
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    context_.stop();
  }

  // Drops the questions still waiting, with their callbacks.
  void drop() {
    std::deque<std::shared_ptr<Entry>> dropped;
    std::vector<Answer> callbacks;
    {
      std::lock_guard lock(mutex_);
      dropped.swap(queue_);
      for (auto& entry : dropped) callbacks.push_back(std::move(entry->onAnswer));
    }
  }

  // Runs the reading thread's context until stop().
  void run() {
    round();
    waitForInput();
    context_.run();
  }

 private:
  void wake() {
    asio::post(context_, [this] { round(); });
  }

  // Takes the lines read as answers, shows the next question, and writes and answers
  // outside the lock.
  void round() {
    Batch batch;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (const std::string& line : lines_) answerWith(line, batch);
      advance(inputOpen_, batch);
    }
    lines_.clear();
    deliver(batch);
  }

  void waitForInput() {
    if (!inputOpen_) return;
    if (!waited_) {
      asio::post(context_, [this] { readInput(); });
      return;
    }
    waited_->async_wait(asio::posix::descriptor_base::wait_read,
                        [this](const std::error_code& error) {
                          if (!error) readInput();
                        });
  }

  void readInput() {
    char buffer[512];
    const ssize_t got = ::read(input_, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
      waitForInput();
      return;
    }
    if (got <= 0) {
      inputOpen_ = false;  // this round answers what is left
    } else {
      partial_.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
        lines_.push_back(partial_.substr(0, end));
        partial_.erase(0, end + 1);
      }
    }
    round();
    waitForInput();
  }

  // Under the lock: takes away closed questions and shows the next one.
  void advance(bool inputOpen, Batch& batch) {
    while (!queue_.empty()) {
      Entry& front = *queue_.front();
      if (front.closed) {
        if (front.shown) batch.out += "\nTimed out: " + front.no + ".\n";
      } else if (!inputOpen) {
        batch.answers.emplace_back(std::move(front.onAnswer), std::nullopt);
      } else {
        if (!front.shown) batch.out += front.question + front.choice;
        front.shown = true;
        return;
      }
      queue_.pop_front();
    }
  }

  // Under the lock: one line typed while `queue_.front()` may be shown.
  void answerWith(std::string_view line, Batch& batch) {
    if (queue_.empty() || !queue_.front()->shown || queue_.front()->closed) return;
    Entry& front = *queue_.front();
    const std::optional<bool> answer = parseAnswer(line);
    if (!answer) {
      batch.out += "Please answer y or n.\n" + front.choice;
      return;
    }
    batch.answers.emplace_back(std::move(front.onAnswer), answer);
    queue_.pop_front();
  }

  void deliver(Batch& batch) const {
    writeAll(output_, batch.out);
    for (auto& [onAnswer, answer] : batch.answers) {
      if (onAnswer) onAnswer(answer);
    }
  }

  const int input_;
  const int output_;
  // The reading thread runs this context: the input's readiness and every wake are
  // handlers on it.
  asio::io_context context_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_{context_.get_executor()};
  std::optional<asio::posix::stream_descriptor> waited_;  // nothing: a file, read at once
  // The reading thread's own.
  std::string partial_;             // input not yet ended by a line feed
  std::vector<std::string> lines_;  // whole lines read, not yet taken as answers
  bool inputOpen_ = true;

  std::mutex mutex_;
  std::deque<std::shared_ptr<Entry>> queue_;  // the front one is shown
  bool stopping_ = false;
};

class TerminalFrontEnd::Shown final : public PermissionPrompt::Presentation {
 public:
  Shown(std::shared_ptr<Core> core, std::shared_ptr<Entry> entry)
      : core_(std::move(core)), entry_(std::move(entry)) {}
  ~Shown() override { close(); }
  Shown(const Shown&) = delete;
  Shown& operator=(const Shown&) = delete;
  void close() override { core_->close(entry_); }

 private:
  std::shared_ptr<Core> core_;
  std::shared_ptr<Entry> entry_;
};

TerminalFrontEnd::TerminalFrontEnd(int input, int output)
    : core_(std::make_shared<Core>(input, output)) {}

TerminalFrontEnd::~TerminalFrontEnd() {
  core_->stop();
  if (thread_.joinable()) thread_.join();
  core_->drop();
}

void TerminalFrontEnd::start() {
  if (!thread_.joinable()) thread_ = std::thread([core = core_] { core->run(); });
}

std::unique_ptr<PermissionPrompt::Presentation> TerminalFrontEnd::present(
    PermissionPrompt::Question question) {
  Answer onAnswer = [answer = std::move(question.onAnswer)](std::optional<bool> yes) {
    answer(yes.value_or(false));
  };
  auto entry = core_->enqueue(question.title, question.explanation, PermissionPrompt::kTurnOn,
                              PermissionPrompt::kNotNow, std::move(onAnswer));
  return std::make_unique<Shown>(core_, std::move(entry));
}

asio::awaitable<std::optional<bool>> TerminalFrontEnd::askToSetUp() {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  // Leaving the question (the caller's coroutine destroyed) takes it off the terminal.
  std::unique_ptr<Shown> shown;
  co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&,
                                          void(std::optional<bool>)>(
      [&](auto handler) {
        // std::function needs a copyable target; the handler itself is move-only.
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        Answer onAnswer = [shared, executor](std::optional<bool> answer) {
          asio::post(executor, [shared, answer] { std::move (*shared)(answer); });
        };
        shown = std::make_unique<Shown>(
            core_, core_->enqueue(kSetUpTitle, kSetUpExplanation, kSetUpYes,
                                  PermissionPrompt::kNotNow, std::move(onAnswer)));
      },
      asio::use_awaitable);
}

}  // namespace melodock
