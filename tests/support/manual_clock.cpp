#include "tests/support/manual_clock.h"

#include <future>
#include <utility>

namespace melodock {

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
