// Time as the player, the music service and the permission prompt see it: a monotonic
// clock, the wall clock and timers that fire on an executor. The app runs on
// SystemClock; tests hand in a clock of their own, so a song's end or a 90-second
// time-out runs out when the test says so, without waiting.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

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

}  // namespace melodock
