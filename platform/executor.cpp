#include "platform/executor.h"

namespace melodock {

Executor::Executor(std::size_t threads)
    : context_(static_cast<int>(threads)), work_(asio::make_work_guard(context_)) {
  for (std::size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { context_.run(); });
}

void Executor::stop() {
  work_.reset();
  context_.stop();
  for (auto& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

}  // namespace melodock
