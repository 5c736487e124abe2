// The library's actors are strands; these are the hop onto one and the wake-up signal
// its coroutines wait on.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include <asio.hpp>

#include "mcp/strand.h"

namespace mcp::detail {

using Strand = mcp::Strand;

// Awaits `work` on `strand` and resumes the caller with its result or exception. The
// caller's cancellation is not passed on: Asio 1.22 would deliver it on the caller's
// thread into work running on another strand.
//
// Already on `strand`, the work simply runs: a hop would only queue it behind itself.
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
// Waiters are resumed through their own executor, never inside notify(). The waits
// cannot be cancelled; a signal dropped with waiters, or a context shut down under
// them, destroys them as Asio destroys its own pending operations.
//
// Not a timer: a timer wait costs a lock and a heap entry in the reactor and, when it
// is the only timer, a system call to re-arm the reactor's clock.
class SignalService;

class Signal {
 public:
  explicit Signal(const asio::any_io_executor& executor);
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  ~Signal();

  asio::awaitable<void> wait() {
    co_await asio::async_initiate<const asio::use_awaitable_t<>&, void()>(
        [this](auto handler) {
          waiters_.push_back(std::make_unique<Waiting<decltype(handler)>>(std::move(handler)));
          if (waiters_.size() == 1) link();
        },
        asio::use_awaitable);
  }
  void notify();

 private:
  friend class SignalService;

  struct Resumable {
    virtual ~Resumable() = default;
    virtual void resume() = 0;
  };
  template <class Handler>
  struct Waiting final : Resumable {
    explicit Waiting(Handler handler) : handler(std::move(handler)) {}
    void resume() override {
      const auto executor = asio::get_associated_executor(handler);
      asio::post(executor, std::move(handler));
    }
    Handler handler;
  };
  using Waiters = std::vector<std::unique_ptr<Resumable>>;

  void link();
  Waiters unlink();

  SignalService* service_;
  Waiters waiters_;
  // Signals with waiters, listed with the service so that shutdown finds them.
  Signal* previous_ = nullptr;
  Signal* next_ = nullptr;
  bool linked_ = false;
};

}  // namespace mcp::detail
