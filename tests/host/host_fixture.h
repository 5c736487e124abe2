// A host on a free loopback port with its own executor and status, for tests.
#pragma once

#include <future>

#include "host/mcp_host.h"
#include "tests/support/loopback.h"

namespace melodock::testing {

// Runs `work` on `strand` from a test thread and waits for it.
template <typename Work>
auto runOn(Strand strand, Work work) {
  return asio::co_spawn(
             strand,
             [work = std::move(work)]() mutable -> asio::awaitable<decltype(work())> {
               co_return work();
             },
             asio::use_future)
      .get();
}

struct HostFixture {
  explicit HostFixture(MCPHost::Options options = {}, std::int64_t wantedPort = freePort())
      : port(wantedPort),
        host(
            executor, status,
            [this] {
              return HostSettings{port, token};
            },
            std::move(options)) {}

  // Starts (or restarts) the host and waits until its status updates are in.
  void start() {
    asio::co_spawn(executor.mainActor(), host.start(), asio::use_future).get();
    runOn(executor.mainActor(), [] { return 0; });
  }

  Executor executor{2};
  HostStatus status;
  std::int64_t port;
  std::string token = "secret";
  MCPHost host;
};

}  // namespace melodock::testing
