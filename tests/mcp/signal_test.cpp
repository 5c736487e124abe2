#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <asio.hpp>

#include "mcp/detail/actor.h"

namespace mcp::detail {
namespace {

// Sets its flag when the frame that owns it goes away.
struct Witness {
  bool* gone;
  ~Witness() { *gone = true; }
};

asio::awaitable<void> waitOnce(Signal& signal, std::vector<std::string>& log, std::string name,
                               bool* gone) {
  const Witness witness{gone};
  co_await signal.wait();
  log.push_back(name);
}

TEST(Signal, ResumesEveryWaiterAfterNotifyReturnsAndForgetsANotifyWithoutOne) {
  asio::io_context io;
  Signal signal(io.get_executor());
  std::vector<std::string> log;
  bool goneA = false;
  bool goneB = false;
  signal.notify();  // nobody waits yet: not remembered
  asio::co_spawn(io, waitOnce(signal, log, "a", &goneA), asio::detached);
  asio::co_spawn(io, waitOnce(signal, log, "b", &goneB), asio::detached);
  io.poll();
  EXPECT_TRUE(log.empty());

  signal.notify();
  log.push_back("notified");
  io.poll();
  EXPECT_EQ(log, (std::vector<std::string>{"notified", "a", "b"}));
  EXPECT_TRUE(goneA && goneB);
}

TEST(Signal, DestroysWaitsThatNobodyWillResume) {
  bool droppedWithSignal = false;
  bool droppedAtShutdown = false;
  std::vector<std::string> log;
  std::optional<Signal> outliving;  // outlives the context below
  {
    asio::io_context io;
    auto signal = std::make_unique<Signal>(io.get_executor());
    asio::co_spawn(io, waitOnce(*signal, log, "dropped", &droppedWithSignal), asio::detached);
    io.poll();
    signal.reset();
    io.restart();
    io.poll();  // Asio unwinds a dropped coroutine through its executor
    EXPECT_TRUE(droppedWithSignal);

    outliving.emplace(io.get_executor());
    asio::co_spawn(io, waitOnce(*outliving, log, "shut down", &droppedAtShutdown), asio::detached);
    io.restart();
    io.poll();
    EXPECT_FALSE(droppedAtShutdown);
  }
  EXPECT_TRUE(droppedAtShutdown);
  EXPECT_TRUE(log.empty());
  outliving.reset();
}

}  // namespace
}  // namespace mcp::detail
