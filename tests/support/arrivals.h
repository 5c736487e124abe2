// Values handed over from other threads, taken in order by a test thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace melodock::testing {

template <typename T>
class Arrivals {
 public:
  void push(T value) {
    {
      const std::lock_guard lock(mutex_);
      values_.push_back(std::move(value));
    }
    arrived_.notify_all();
  }

  // The next value, or nothing when none comes within `limit`.
  std::optional<T> next(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, limit, [&] { return !values_.empty(); })) return std::nullopt;
    T value = std::move(values_.front());
    values_.pop_front();
    return value;
  }

  // The values not taken yet.
  [[nodiscard]] std::vector<T> pending() const {
    const std::lock_guard lock(mutex_);
    return {values_.begin(), values_.end()};
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<T> values_;
};

}  // namespace melodock::testing
