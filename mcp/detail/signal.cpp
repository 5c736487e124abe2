#include <mutex>

#include "mcp/detail/actor.h"

namespace mcp::detail {

// Per execution context: the signals that hold waiters. A context shutting down
// destroys them, since nothing will run them again.
class SignalService final : public asio::execution_context::service {
 public:
  static inline asio::execution_context::id id;

  explicit SignalService(asio::execution_context& context)
      : asio::execution_context::service(context) {}

  void link(Signal& signal) {
    std::lock_guard lock(mutex_);
    signal.next_ = first_;
    signal.previous_ = nullptr;
    if (first_) first_->previous_ = &signal;
    first_ = &signal;
    signal.linked_ = true;
  }
  void unlink(Signal& signal) {
    std::lock_guard lock(mutex_);
    unlinkLocked(signal);
  }

 private:
  void unlinkLocked(Signal& signal) {
    if (!signal.linked_) return;
    if (signal.previous_) signal.previous_->next_ = signal.next_;
    if (signal.next_) signal.next_->previous_ = signal.previous_;
    if (first_ == &signal) first_ = signal.next_;
    signal.previous_ = signal.next_ = nullptr;
    signal.linked_ = false;
  }

  void shutdown() override {
    std::vector<Signal::Waiters> abandoned;
    {
      std::lock_guard lock(mutex_);
      while (first_) {
        Signal& signal = *first_;
        unlinkLocked(signal);
        abandoned.push_back(std::move(signal.waiters_));
        signal.waiters_.clear();
      }
    }
    // Destroying the waits may destroy the frames that own signals; those unlink
    // themselves, so this happens outside the lock.
    abandoned.clear();
  }

  std::mutex mutex_;
  Signal* first_ = nullptr;
};

Signal::Signal(const asio::any_io_executor& executor)
    : service_(&asio::use_service<SignalService>(asio::query(executor, asio::execution::context))) {
}

Signal::~Signal() { Waiters dropped = unlink(); }

void Signal::notify() {
  for (auto& waiter : unlink()) waiter->resume();
}

void Signal::link() { service_->link(*this); }

Signal::Waiters Signal::unlink() {
  if (linked_) service_->unlink(*this);
  Waiters waiters = std::move(waiters_);
  waiters_.clear();
  return waiters;
}

}  // namespace mcp::detail
