// Hops between actors.
#include <gtest/gtest.h>

#include "platform/executor.h"

namespace melodock {
namespace {

TEST(Executor, RunsHopsOnTheActorOneAtATimeAndResumesTheCaller) {
  Executor executor(2);
  Strand actor = executor.makeActor();
  int counter = 0;  // touched on `actor` only
  auto worker = [&]() -> asio::awaitable<int> {
    int sum = 0;
    for (int i = 0; i < 500; ++i) {
      sum += co_await onActor(actor, [&] {
        EXPECT_TRUE(actor.running_in_this_thread());
        return ++counter;
      });
      EXPECT_FALSE(actor.running_in_this_thread());
    }
    co_return sum;
  };
  auto a = asio::co_spawn(executor.pool(), worker(), asio::use_future);
  auto b = asio::co_spawn(executor.pool(), worker(), asio::use_future);
  const int total = a.get() + b.get();
  EXPECT_EQ(counter, 1000);
  EXPECT_EQ(total, 1000 * 1001 / 2);  // every value handed out exactly once
}

TEST(Executor, CarriesAnExceptionBackToTheCaller) {
  Executor executor(1);
  auto hop = [&]() -> asio::awaitable<void> {
    co_await onActor(executor.mainActor(), []() -> int { throw std::runtime_error("boom"); });
  };
  auto done = asio::co_spawn(executor.pool(), hop(), asio::use_future);
  EXPECT_THROW(done.get(), std::runtime_error);
}

}  // namespace
}  // namespace melodock
