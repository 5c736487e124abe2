// The program's executors. One io_context, run by a small pool of worker threads, is
// the cooperative pool: every connection and request is a coroutine on it, and no
// pool thread ever blocks. An actor is a strand over that pool: code posted to one
// strand runs one piece at a time, and the strand is free while a coroutine on it
// waits. The main actor is the strand shared by the music service, tool calls and
// the observable status records.
//
//   co_await onMain([&] { status.setRunning(true); });          // plain function
//   auto text = co_await onMain([&]() -> asio::awaitable<std::string> {
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
//   co_await onMain(std::move(work));
#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

namespace melodock {

using Strand = asio::strand<asio::io_context::executor_type>;

// Completion token for I/O whose failure is an expected outcome: the error code comes
// back as a value beside the result instead of as an exception.
inline constexpr auto kUseTuple = asio::experimental::as_tuple(asio::use_awaitable);

class Executor {
 public:
  // Starts `threads` workers at once; they run until the Executor is destroyed.
  explicit Executor(std::size_t threads = defaultThreads())
      : context_(static_cast<int>(threads)),
        work_(asio::make_work_guard(context_)),
        main_(asio::make_strand(context_)) {
    for (std::size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { context_.run(); });
  }
  ~Executor() {
    work_.reset();
    context_.stop();
    for (auto& worker : workers_) worker.join();
  }
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  // The process-wide pool, created on first use.
  static Executor& shared() {
    static Executor executor;
    return executor;
  }

  asio::io_context& context() { return context_; }
  asio::io_context::executor_type pool() { return context_.get_executor(); }
  Strand& mainActor() { return main_; }
  Strand makeActor() { return asio::make_strand(context_); }

  // One core stays with the GUI thread and the clients on the same machine. Requests
  // are short hops between strands, and threads that share the scheduler's queue
  // contend for it: on two cores one pool thread answers faster than two.
  static std::size_t defaultThreads() {
    const std::size_t cores = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores > 1 ? cores - 1 : 1, 1, 4);
  }

 private:
  // Sized to the pool: with one thread, work posted from that thread skips the
  // queue's lock and wake-up.
  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  Strand main_;
  std::vector<std::thread> workers_;
};

// Runs `work` on `actor` and resumes the caller with its result. `work` is either a
// plain callable or one returning asio::awaitable<T>. An exception thrown by `work`
// reaches the caller.
template <typename T>
inline constexpr bool kIsAwaitable = false;
template <typename T>
inline constexpr bool kIsAwaitable<asio::awaitable<T>> = true;

namespace detail {
// The work travels inside the coroutine frame by value: g++ 12 with Asio 1.22 destroys
// the captures of a function object handed to co_spawn twice, so no lambda is spawned.
template <typename Result, typename Work>
asio::awaitable<Result> runAwaitable(Work work) {
  co_return co_await work();
}
template <typename Result, typename Work>
asio::awaitable<Result> runPlain(Work work) {
  co_return work();
}
}  // namespace detail

template <typename Work>
auto onActor(Strand actor, Work work) {
  using Result = std::invoke_result_t<Work&>;
  if constexpr (kIsAwaitable<Result>) {
    using Value = typename Result::value_type;
    return asio::co_spawn(actor, detail::runAwaitable<Value>(std::move(work)), asio::use_awaitable);
  } else {
    return asio::co_spawn(actor, detail::runPlain<Result>(std::move(work)), asio::use_awaitable);
  }
}

// The hop onto the main actor of the shared pool.
template <typename Work>
auto onMain(Work work) {
  return onActor(Executor::shared().mainActor(), std::move(work));
}

}  // namespace melodock
