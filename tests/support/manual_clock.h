// A clock that moves only when told, for tests: a song's end or a 90-second time-out
// runs out when the test says so, without waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include <asio.hpp>

#include "platform/clock.h"

namespace melodock {

// A clock that moves only when told. Timers fire in time order during advance(), each
// on its executor, and advance() waits for each before the next, so a timer set by a
// firing one within the same stretch fires too.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::chrono::system_clock::time_point wallStart =
                           std::chrono::system_clock::time_point(std::chrono::hours(490'000)));

  [[nodiscard]] TimePoint now() const override;
  [[nodiscard]] std::chrono::system_clock::time_point wallNow() const override;
  [[nodiscard]] std::unique_ptr<Timer> schedule(const asio::any_io_executor& executor,
                                                Duration delay,
                                                std::function<void()> fire) override;

  // Moves time forward by `delay`, firing what falls due. Call it from a thread that
  // is not the executor of any timer (a test's own thread).
  void advance(Duration delay);
  // The number of timers waiting to fire.
  [[nodiscard]] std::size_t pending() const;

 private:
  struct Entry {
    asio::any_io_executor executor;
    std::function<void()> fire;
    std::shared_ptr<std::atomic<bool>> alive;
  };
  class ManualTimer;

  mutable std::mutex mutex_;
  Duration elapsed_{0};
  std::chrono::system_clock::time_point wallStart_;
  std::multimap<Duration, Entry> timers_;
};

}  // namespace melodock
