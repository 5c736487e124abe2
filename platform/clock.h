// Time as the player, the music service and the permission prompt see it: a monotonic
// clock, the wall clock and timers that fire on an executor. The app runs on
// SystemClock; tests hand in a ManualClock, so a song's end or a 90-second time-out runs
// out when the test says so, without waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include <asio.hpp>

namespace melodock {

class Clock {
 public:
  using Duration = std::chrono::steady_clock::duration;
  using TimePoint = std::chrono::steady_clock::time_point;

  // A scheduled call; destroying or cancelling it before it fires means it never does.
  class Timer {
   public:
    virtual ~Timer() = default;
    virtual void cancel() = 0;
  };

  Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;
  virtual ~Clock() = default;

  [[nodiscard]] virtual TimePoint now() const = 0;
  [[nodiscard]] virtual std::chrono::system_clock::time_point wallNow() const = 0;

  // Calls `fire` on `executor` once `delay` has passed. Cancel the timer on the
  // executor `fire` runs on.
  [[nodiscard]] virtual std::unique_ptr<Timer> schedule(const asio::any_io_executor& executor,
                                                        Duration delay,
                                                        std::function<void()> fire) = 0;

  // Resumes the caller on its own executor once `delay` has passed.
  asio::awaitable<void> sleep(Duration delay);
};

// The machine's clocks, with Asio's timers.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] TimePoint now() const override { return std::chrono::steady_clock::now(); }
  [[nodiscard]] std::chrono::system_clock::time_point wallNow() const override {
    return std::chrono::system_clock::now();
  }
  [[nodiscard]] std::unique_ptr<Timer> schedule(const asio::any_io_executor& executor,
                                                Duration delay,
                                                std::function<void()> fire) override;
};

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
