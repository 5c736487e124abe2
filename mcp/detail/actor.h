// The library's actors are strands; these are the hop onto one and the wake-up signal
// its coroutines wait on.
#pragma once

#include <chrono>
#include <optional>
#include <type_traits>
#include <utility>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

namespace mcp::detail {

using Strand = asio::strand<asio::any_io_executor>;

// Runs `work` (returning an awaitable) on `strand` and resumes the caller with its
// result or exception. The caller's cancellation is not passed on: Asio 1.22 would
// deliver it on the caller's thread into work running on another strand.
template <class Work>
auto onStrand(const Strand& strand, Work work) {
  using Result = typename std::invoke_result_t<Work&>::value_type;
  if constexpr (std::is_void_v<Result> || std::is_default_constructible_v<Result>) {
    return asio::co_spawn(
        strand, std::move(work),
        asio::bind_cancellation_slot(asio::cancellation_slot(), asio::use_awaitable));
  } else {
    // co_spawn needs a default-constructible result; carry it in an optional.
    return [](Strand strand, Work work) -> asio::awaitable<Result> {
      std::optional<Result> result = co_await asio::co_spawn(
          strand,
          [work = std::move(work)]() mutable -> asio::awaitable<std::optional<Result>> {
            co_return co_await work();
          },
          asio::bind_cancellation_slot(asio::cancellation_slot(), asio::use_awaitable));
      co_return std::move(*result);
    }(strand, std::move(work));
  }
}

// Coroutines on one strand wait until another piece of that strand calls notify().
// A notify with no waiter is not remembered, so waiters re-check their condition.
class Signal {
 public:
  explicit Signal(const asio::any_io_executor& executor)
      : timer_(executor, asio::steady_timer::time_point::max()) {}

  asio::awaitable<void> wait() {
    co_await timer_.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
  }
  void notify() { timer_.cancel(); }

 private:
  asio::steady_timer timer_;
};

}  // namespace mcp::detail
