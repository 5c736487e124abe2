#include "mcp/detail/actor.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <asio.hpp>

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

// As in the library, the waiting frame owns the signal (through the transport or
// server it waits on), so the signal goes when the frame does.
asio::awaitable<void> waitOwning(std::shared_ptr<Signal> signal, bool* gone) {
  const Witness witness{gone};
  co_await signal->wait();
  ADD_FAILURE() << "resumed after shutdown";
}

TEST(Signal, AContextShutDownUnderAWaitDestroysItWithoutResuming) {
  bool gone = false;
  {
    asio::io_context io;
    asio::co_spawn(io, waitOwning(std::make_shared<Signal>(io.get_executor()), &gone),
                   asio::detached);
    io.poll();
    EXPECT_FALSE(gone);
  }
  EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace mcp::detail
