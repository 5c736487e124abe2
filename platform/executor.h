// The cooperative pool: one io_context run by a small set of worker threads. Every
// connection and request is a coroutine on it, and no pool thread ever blocks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

#include "base/actor.h"

namespace melodock {

// Completion token for I/O whose failure is an expected outcome: the error code comes
// back as a value beside the result instead of as an exception.
inline constexpr auto kUseTuple = asio::experimental::as_tuple(asio::use_awaitable);

class Executor {
 public:
  // Starts `threads` workers at once; they run until stop() or destruction.
  explicit Executor(std::size_t threads = defaultThreads());
  ~Executor() { stop(); }
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  asio::io_context& context() { return context_; }
  asio::io_context::executor_type pool() { return context_.get_executor(); }
  Strand makeStrand() { return asio::make_strand(context_); }

  // Stops the workers and waits for them. Work still queued is destroyed with the
  // io_context, not run. Not for pool threads.
  void stop();

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
  std::vector<std::thread> workers_;
};

}  // namespace melodock
