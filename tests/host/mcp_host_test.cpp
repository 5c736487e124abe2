// The listener and its connections: ports, restarts, idle clients, many clients at once.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

using testing::bodyOf;
using testing::echo;
using testing::exchange;
using testing::HostFixture;

TEST(MCPHost, ReportsAPortAlreadyInUseWithThePortPrefix) {
  testing::LoopbackSocket blocker;
  blocker.listen();
  const int port = blocker.port();

  HostFixture fixture({}, {}, port);
  EXPECT_FALSE(fixture.status.running());
  EXPECT_EQ(fixture.status.problem(), "Port " + std::to_string(port) + ": Address already in use");

  // Once the port is free, a new start clears the problem.
  blocker.close();
  fixture.start();
  EXPECT_TRUE(fixture.status.running());
  EXPECT_EQ(fixture.status.problem(), std::nullopt);
}

TEST(MCPHost, RestartReplacesTheListenerAndTakesTheNewToken) {
  auto tokenEcho = [](mcp::HTTPRequest, std::string token) -> asio::awaitable<mcp::HTTPResponse> {
    co_return mcp::HTTPResponse::data(token);
  };
  HostFixture fixture(tokenEcho);
  const auto port = static_cast<std::uint16_t>(fixture.port);
  EXPECT_TRUE(exchange(port, "POST / HTTP/1.1\r\n\r\n").received.ends_with("\r\n\r\nsecret"));

  // Another socket tries to take the port when the old listener's end is reported, as a
  // connect() elsewhere on the machine may: by then the new listener must hold it.
  bool taken = false;
  fixture.status.observe([&] {
    if (fixture.status.running()) return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;  // past the earlier exchange's TIME_WAIT, as the host itself binds
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    taken = taken || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
  });
  fixture.token = "renewed";
  fixture.start();  // binds the same port again at once, thanks to address reuse
  EXPECT_FALSE(taken);
  EXPECT_TRUE(fixture.status.running()) << fixture.status.problem().value_or("");
  EXPECT_EQ(fixture.host.token(), "renewed");
  EXPECT_TRUE(exchange(port, "POST / HTTP/1.1\r\n\r\n").received.ends_with("\r\n\r\nrenewed"));
}

TEST(MCPHost, WaitsForASlowClientAndDropsASilentOne) {
  HostFixture fixture(echo, {.idleTimeout = std::chrono::milliseconds(200)});
  const auto port = static_cast<std::uint16_t>(fixture.port);

  // Ten pieces 100 ms apart take five idle periods in all, each within one.
  const std::string request = "POST /slow HTTP/1.1\r\nContent-Length: 8\r\n\r\n12345678";
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < request.size(); at += (request.size() + 9) / 10) {
    pieces.push_back(request.substr(at, (request.size() + 9) / 10));
  }
  EXPECT_EQ(bodyOf(exchange(port, pieces, std::chrono::milliseconds(100)).received),
            "POST /slow\n[Content-Length]=[8]\nbody=12345678");

  // Silent after its first line: closed after one idle period instead of waiting 5 s.
  const auto started = std::chrono::steady_clock::now();
  const auto result = exchange(port, {"POST / HTTP/1.1\r\n"}, std::chrono::milliseconds(0),
                               std::chrono::milliseconds(5000), /*stall=*/true);
  EXPECT_EQ(result.received, "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));
}

TEST(MCPHost, ServesManyConnectionsAtOnce) {
  HostFixture fixture(echo);
  std::vector<std::thread> clients;
  clients.reserve(16);
  std::atomic<int> served = 0;
  for (int i = 0; i < 16; ++i) {
    clients.emplace_back([&, i] {
      for (int k = 0; k < 20; ++k) {
        const std::string path = "/c" + std::to_string(i) + "-" + std::to_string(k);
        const auto result =
            exchange(static_cast<std::uint16_t>(fixture.port), "GET " + path + " HTTP/1.1\r\n\r\n");
        if (bodyOf(result.received) == "GET " + path + "\nno body") ++served;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(served, 16 * 20);
}

TEST(MCPHost, KeepsConnectionsPastItsLimitWaitingUntilOneEnds) {
  HostFixture fixture(echo, {.maxConnections = 2});
  const auto port = static_cast<std::uint16_t>(fixture.port);
  // Two silent clients take both slots.
  std::vector<int> silent;
  for (int i = 0; i < 2; ++i) {
    silent.push_back(testing::connectTo(port));
    ASSERT_GE(silent.back(), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // both accepted

  std::atomic<bool> answered = false;
  std::thread third([&] {
    answered =
        bodyOf(exchange(port, "GET /third HTTP/1.1\r\n\r\n").received) == "GET /third\nno body";
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(answered);  // still in the listen queue
  ::close(silent[0]);
  third.join();
  EXPECT_TRUE(answered);
  ::close(silent[1]);
}

}  // namespace
}  // namespace melodock
