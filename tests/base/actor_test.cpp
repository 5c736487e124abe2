// Hops onto actors.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "base/actor.h"
#include "platform/executor.h"

namespace melodock {
namespace {

TEST(Actor, RunsHopsOneAtATimeAndResumesTheCallerWhereItWas) {
  Executor executor(2);
  const Actor main(executor);
  int counter = 0;  // touched on `main` only
  auto worker = [&]() -> asio::awaitable<int> {
    int sum = 0;
    for (int i = 0; i < 500; ++i) {
      sum += co_await main.run([&] {
        EXPECT_TRUE(main.isCurrent());
        return ++counter;
      });
      EXPECT_FALSE(main.isCurrent());
    }
    co_return sum;
  };
  auto a = asio::co_spawn(executor.pool(), worker(), asio::use_future);
  auto b = asio::co_spawn(executor.pool(), worker(), asio::use_future);
  const int total = a.get() + b.get();
  EXPECT_EQ(counter, 1000);
  EXPECT_EQ(total, 1000 * 1001 / 2);  // every value handed out exactly once
}

TEST(Actor, RunsInlineWhenAlreadyThereAndCarriesResultsAndFailuresBack) {
  Executor executor(1);
  const Actor main(executor);
  auto onMain = [&]() -> asio::awaitable<std::string> {
    // A hop from the actor onto itself would queue behind itself; it runs at once.
    std::string order = "a";
    co_await main.run([&] { order += "b"; });
    order += "c";
    // A coroutine's result, and a result type with no default constructor.
    struct Named {
      explicit Named(std::string text) : text(std::move(text)) {}
      std::string text;
    };
    order += co_await main.run([]() -> asio::awaitable<std::string> { co_return "d"; });
    order += (co_await main.run([] { return Named("e"); })).text;
    co_return order;
  };
  EXPECT_EQ(asio::co_spawn(main.strand(), onMain(), asio::use_future).get(), "abcde");

  auto failing = [&]() -> asio::awaitable<void> {
    co_await main.run([]() -> int { throw std::runtime_error("boom"); });
  };
  auto done = asio::co_spawn(executor.pool(), failing(), asio::use_future);
  EXPECT_THROW(done.get(), std::runtime_error);
}

TEST(Actor, FinishesTheWorkWhenTheCallerIsCancelled) {
  Executor executor(1);
  const Actor main(executor);
  asio::steady_timer slow(main.strand(), std::chrono::milliseconds(100));
  bool finished = false;  // on `main` only
  auto caller = [&]() -> asio::awaitable<void> {
    co_await main.run([&]() -> asio::awaitable<void> {
      co_await slow.async_wait(asio::use_awaitable);
      finished = true;
    });
  };
  asio::cancellation_signal cancel;
  auto done = asio::co_spawn(executor.pool(), caller(),
                             asio::bind_cancellation_slot(cancel.slot(), asio::use_future));
  asio::post(executor.pool(), [&] { cancel.emit(asio::cancellation_type::all); });
  done.get();
  EXPECT_TRUE(
      asio::co_spawn(
          main.strand(), [&]() -> asio::awaitable<bool> { co_return finished; }, asio::use_future)
          .get());
}

}  // namespace
}  // namespace melodock
