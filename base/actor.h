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

#include <concepts>
#include <optional>
#include <type_traits>
#include <utility>

#include <asio.hpp>

namespace melodock {

// An actor's strand: small enough to sit inside an any_io_executor without a heap block
// of its own.
using Strand = asio::strand<asio::io_context::executor_type>;

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

template <typename T>
asio::awaitable<std::optional<T>> carriedInOptional(asio::awaitable<T> work) {
  co_return co_await std::move(work);
}
}  // namespace detail

// Awaits `work` on `strand` and resumes the caller with its result or exception, on
// the caller's own executor. Already on `strand`, the work simply runs: a hop would only
// queue it behind itself (a ping costs 85k instructions and 6 system calls so, 119k and
// 9.5 with the hop). The caller's cancellation is not passed on: Asio 1.22 would
// deliver it on the caller's thread into work running on another strand.
template <typename T>
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
        co_await asio::co_spawn(strand, detail::carriedInOptional(std::move(work)), token);
    co_return std::move(*result);
  }
}

class Actor {
 public:
  explicit Actor(Strand strand) : strand_(std::move(strand)) {}
  // From anything that makes strands (platform's Executor).
  template <typename Maker>
  requires requires(Maker& maker) {
    { maker.makeStrand() } -> std::same_as<Strand>;
  }
  explicit Actor(Maker& maker) : strand_(maker.makeStrand()) {}
  Actor(const Actor&) = delete;
  Actor& operator=(const Actor&) = delete;

  // For the actor's own timers and sockets.
  [[nodiscard]] const Strand& strand() const { return strand_; }
  [[nodiscard]] bool isCurrent() const { return strand_.running_in_this_thread(); }

  // Runs `work` on this actor as onStrand() does and resumes the caller with its result
  // or exception. `work` is a plain callable or one returning asio::awaitable<T>.
  template <typename Work>
  auto run(Work work) const -> asio::awaitable<typename detail::WorkResult<Work>::type> {
    using Result = typename detail::WorkResult<Work>::type;
    return onStrand(strand_, detail::runWork<Result>(std::move(work)));
  }

 private:
  Strand strand_;
};

}  // namespace melodock
