// Actors: objects whose code runs one piece at a time on a strand of the pool, free for
// other work while one of their coroutines waits. `run` is the one way onto an actor:
//
//   co_await main.run([&] { status.setRunning(true); });        // plain function
//   auto text = co_await main.run([&]() -> asio::awaitable<std::string> {
//     co_return co_await service.nowPlaying();                  // coroutine
//   });
//
// After the hop the caller resumes on its own executor again.
//
// g++ 12 copies an aggregate or lambda temporary that sits inside a co_await
// expression bit by bit, so one that owns memory (a captured std::string, say) is
// freed wrongly. Inside a coroutine, build such work as a named local first:
//
//   auto work = [name = std::move(name)] { ... };
//   co_await main.run(std::move(work));
#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include <asio.hpp>

#include "platform/executor.h"

namespace melodock {

namespace detail {
template <typename T>
inline constexpr bool kIsAwaitable = false;
template <typename T>
inline constexpr bool kIsAwaitable<asio::awaitable<T>> = true;

template <typename Work>
struct WorkResult {
  using type = std::invoke_result_t<Work&>;
};
template <typename Work>
requires kIsAwaitable<std::invoke_result_t<Work&>>
struct WorkResult<Work> {
  using type = typename std::invoke_result_t<Work&>::value_type;
};

// The work travels inside the coroutine frame by value: g++ 12 with Asio 1.22 destroys
// the captures of a function object handed to co_spawn twice, so no lambda is spawned.
template <typename Result, typename Work>
asio::awaitable<Result> runWork(Work work) {
  if constexpr (kIsAwaitable<std::invoke_result_t<Work&>>) {
    co_return co_await work();
  } else {
    co_return work();
  }
}

// co_spawn needs a default-constructible result.
template <typename Result, typename Work>
asio::awaitable<std::optional<Result>> runWorkIntoOptional(Work work) {
  co_return co_await runWork<Result>(std::move(work));
}
}  // namespace detail

class Actor {
 public:
  explicit Actor(Strand strand) : strand_(std::move(strand)) {}
  explicit Actor(Executor& executor) : strand_(executor.makeStrand()) {}
  Actor(const Actor&) = delete;
  Actor& operator=(const Actor&) = delete;

  // For the actor's own timers and sockets.
  [[nodiscard]] const Strand& strand() const { return strand_; }
  [[nodiscard]] bool isCurrent() const { return strand_.running_in_this_thread(); }

  // Runs `work` on this actor and resumes the caller with its result or exception.
  // `work` is a plain callable or one returning asio::awaitable<T>. Already on the
  // actor, the work simply runs: a hop would only queue it behind itself. The caller's
  // cancellation is not passed on: Asio 1.22 would deliver it on the caller's thread
  // into work running on this strand.
  template <typename Work>
  auto run(Work work) const -> asio::awaitable<typename detail::WorkResult<Work>::type> {
    using Result = typename detail::WorkResult<Work>::type;
    if (isCurrent()) co_return co_await detail::runWork<Result>(std::move(work));
    auto token = asio::bind_cancellation_slot(asio::cancellation_slot(), asio::use_awaitable);
    if constexpr (std::is_void_v<Result> || std::is_default_constructible_v<Result>) {
      co_return co_await asio::co_spawn(strand_, detail::runWork<Result>(std::move(work)), token);
    } else {
      std::optional<Result> result = co_await asio::co_spawn(
          strand_, detail::runWorkIntoOptional<Result>(std::move(work)), token);
      co_return std::move(*result);
    }
  }

 private:
  Strand strand_;
};

// The actor of the music service, tool calls, the permission prompt and the observable
// status records. One is created in main and passed by reference to everything that
// runs on it; its own type keeps another actor from being passed in its place.
class MainActor : public Actor {
 public:
  using Actor::Actor;
};

}  // namespace melodock
