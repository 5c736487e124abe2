// The library's actors are strands; these are the hop onto one and the wake-up signal
// its coroutines wait on.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/experimental/channel.hpp>

#include "mcp/strand.h"

namespace mcp::detail {

using Strand = mcp::Strand;

// Awaits `work` on `strand` and resumes the caller with its result or exception. The
// caller's cancellation is not passed on: Asio 1.22 would deliver it on the caller's
// thread into work running on another strand.
//
// Already on `strand`, the work simply runs: a hop would only queue it behind itself
// (a ping costs 85k instructions and 6 system calls so, 119k and 9.5 with the hop).
//
// Work is handed over as an awaitable, never as a function object: g++ 12 destroys the
// captures of a function object given to co_spawn twice.
template <class T>
asio::awaitable<std::optional<T>> carriedInOptional(asio::awaitable<T> work) {
  co_return co_await std::move(work);
}

template <class T>
asio::awaitable<T> onStrand(Strand strand, asio::awaitable<T> work) {
  if (strand.running_in_this_thread()) co_return co_await std::move(work);
  auto token = asio::bind_cancellation_slot(asio::cancellation_slot(), asio::use_awaitable);
  if constexpr (std::is_void_v<T>) {
    co_await asio::co_spawn(strand, std::move(work), token);
  } else if constexpr (std::is_default_constructible_v<T>) {
    co_return co_await asio::co_spawn(strand, std::move(work), token);
  } else {
    // co_spawn needs a default-constructible result.
    std::optional<T> result =
        co_await asio::co_spawn(strand, carriedInOptional(std::move(work)), token);
    co_return std::move(*result);
  }
}

// Coroutines on one strand wait until another piece of that strand calls notify().
// A notify with no waiter is not remembered, so waiters re-check their condition.
// A channel rather than a timer: a timer's wait makes the reactor run once more per
// request (7 system calls per ping instead of 6); instructions are within 3%.
class Signal {
 public:
  explicit Signal(const asio::any_io_executor& executor) : channel_(executor) {}

  asio::awaitable<void> wait() {
    co_await channel_.async_receive(asio::experimental::as_tuple(asio::use_awaitable));
  }
  // Each waiter is resumed through its own executor, never inside notify().
  void notify() {
    while (channel_.try_send(asio::error_code(), true)) {
    }
  }

 private:
  asio::experimental::channel<void(asio::error_code, bool)> channel_;
};

}  // namespace mcp::detail
