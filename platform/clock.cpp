#include "platform/clock.h"

#include <future>
#include <optional>
#include <utility>

namespace melodock {
namespace {

class AsioTimer final : public Clock::Timer {
 public:
  AsioTimer(const asio::any_io_executor& executor, Clock::Duration delay,
            std::function<void()> fire)
      : timer_(std::make_shared<asio::steady_timer>(executor, delay)) {
    // The handler keeps the timer alive until it runs, even after cancel().
    timer_->async_wait([timer = timer_, fire = std::move(fire)](const std::error_code& error) {
      if (!error) fire();
    });
  }
  ~AsioTimer() override { cancel(); }
  void cancel() override { timer_->cancel(); }

 private:
  std::shared_ptr<asio::steady_timer> timer_;
};

}  // namespace

asio::awaitable<void> Clock::sleep(Duration delay) {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  std::unique_ptr<Timer> timer;
  co_await asio::async_initiate<const asio::use_awaitable_t<>&, void()>(
      [&](auto handler) {
        // std::function needs a copyable target; the handler itself is move-only.
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        timer = schedule(executor, delay, [shared] { std::move (*shared)(); });
      },
      asio::use_awaitable);
}

std::unique_ptr<Clock::Timer> SystemClock::schedule(const asio::any_io_executor& executor,
                                                    Duration delay, std::function<void()> fire) {
  return std::make_unique<AsioTimer>(executor, delay, std::move(fire));
}

class ManualClock::ManualTimer final : public Clock::Timer {
 public:
  explicit ManualTimer(std::shared_ptr<std::atomic<bool>> alive) : alive_(std::move(alive)) {}
  ~ManualTimer() override { cancel(); }
  void cancel() override { *alive_ = false; }

 private:
  std::shared_ptr<std::atomic<bool>> alive_;
};

ManualClock::ManualClock(std::chrono::system_clock::time_point wallStart) : wallStart_(wallStart) {}

Clock::TimePoint ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return TimePoint(elapsed_);
}

std::chrono::system_clock::time_point ManualClock::wallNow() const {
  std::lock_guard lock(mutex_);
  return wallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed_);
}

std::unique_ptr<Clock::Timer> ManualClock::schedule(const asio::any_io_executor& executor,
                                                    Duration delay, std::function<void()> fire) {
  auto alive = std::make_shared<std::atomic<bool>>(true);
  std::lock_guard lock(mutex_);
  timers_.emplace(elapsed_ + std::max(delay, Duration::zero()),
                  Entry{executor, std::move(fire), alive});
  return std::make_unique<ManualTimer>(std::move(alive));
}

void ManualClock::advance(Duration delay) {
  std::unique_lock lock(mutex_);
  const Duration target = elapsed_ + delay;
  while (!timers_.empty() && timers_.begin()->first <= target) {
    auto node = timers_.extract(timers_.begin());
    elapsed_ = node.key();
    Entry entry = std::move(node.mapped());
    lock.unlock();
    // Run on the timer's own executor, where its owner may cancel it, and wait for it.
    std::promise<void> done;
    asio::post(entry.executor, [&] {
      if (*entry.alive) entry.fire();
      done.set_value();
    });
    done.get_future().wait();
    lock.lock();
  }
  elapsed_ = target;
}

std::size_t ManualClock::pending() const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  for (const auto& [when, entry] : timers_) count += *entry.alive ? 1 : 0;
  return count;
}

}  // namespace melodock
