#include "platform/clock.h"

#include <optional>
#include <utility>

namespace melodock {
namespace {

class AsioTimer final : public Clock::Timer {
 public:
  AsioTimer(const asio::any_io_executor& executor, Clock::Duration delay,
            std::function<void()> fire)
      : timer_(std::make_shared<asio::steady_timer>(executor, delay)) {
    // The handler keeps the timer alive until it runs, even after cancel().
    timer_->async_wait([timer = timer_, fire = std::move(fire)](const std::error_code& error) {
      if (!error) fire();
    });
  }
  ~AsioTimer() override { cancel(); }
  void cancel() override { timer_->cancel(); }

 private:
  std::shared_ptr<asio::steady_timer> timer_;
};

}  // namespace

asio::awaitable<void> Clock::sleep(Duration delay) {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  std::unique_ptr<Timer> timer;
  co_await asio::async_initiate<const asio::use_awaitable_t<>&, void()>(
      [&](auto handler) {
        // std::function needs a copyable target; the handler itself is move-only.
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        timer = schedule(executor, delay, [shared] { std::move (*shared)(); });
      },
      asio::use_awaitable);
}

std::unique_ptr<Clock::Timer> SystemClock::schedule(const asio::any_io_executor& executor,
                                                    Duration delay, std::function<void()> fire) {
  return std::make_unique<AsioTimer>(executor, delay, std::move(fire));
}

}  // namespace melodock
