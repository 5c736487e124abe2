// The listener's life as the host status reports it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

using testing::exchange;
using testing::HostFixture;

TEST(HostStatus, FollowsTheListenerStates) {
  HostStatus status;
  int notified = 0;
  status.observe([&] { ++notified; });

  status.update(ListenerState::setup, 47291);
  EXPECT_FALSE(status.running());
  EXPECT_EQ(notified, 0);

  status.update(ListenerState::failed, 47291, "Address already in use");
  EXPECT_EQ(status.problem(), "Port 47291: Address already in use");
  EXPECT_EQ(notified, 1);  // running was already false

  status.update(ListenerState::ready, 47291);
  EXPECT_TRUE(status.running());
  EXPECT_EQ(status.problem(), std::nullopt);
  EXPECT_EQ(notified, 3);

  status.update(ListenerState::ready, 47291);
  EXPECT_EQ(notified, 3);  // nothing changed, nobody told

  status.setProblem("kept");
  status.update(ListenerState::cancelled, 47291);
  EXPECT_FALSE(status.running());
  EXPECT_EQ(status.problem(), "kept");

  status.setLastClient("Claude Code");
  status.setLastClient("Claude Code");
  EXPECT_EQ(status.lastClient(), "Claude Code");
  EXPECT_EQ(notified, 6);
}

TEST(MCPHost, ReportsAPortAlreadyInUseWithThePortPrefix) {
  const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(blocker, 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(blocker, reinterpret_cast<sockaddr*>(&address), &length);
  const int port = ntohs(address.sin_port);

  HostFixture fixture({}, {}, port);
  fixture.start();
  EXPECT_FALSE(fixture.status.running());
  EXPECT_EQ(fixture.status.problem(), "Port " + std::to_string(port) + ": Address already in use");

  // Once the port is free, a new start clears the problem.
  ::close(blocker);
  fixture.start();
  EXPECT_TRUE(fixture.status.running());
  EXPECT_EQ(fixture.status.problem(), std::nullopt);
}

TEST(MCPHost, ReportsAStoredPortOutsideTheRangeAndKeepsNoListener) {
  for (const std::int64_t port : {std::int64_t{-1}, std::int64_t{65536}, std::int64_t{1} << 40}) {
    SCOPED_TRACE(port);
    HostFixture fixture({}, {}, port);
    fixture.start();
    EXPECT_FALSE(fixture.status.running());
    EXPECT_EQ(fixture.status.problem(),
              "Port " + std::to_string(port) + " cannot be used: choose a port from 1 to 65535.");
  }
}

TEST(MCPHost, RestartReplacesTheListenerAndTakesTheNewToken) {
  auto tokenEcho = [](mcp::HTTPRequest, std::string token) -> asio::awaitable<mcp::HTTPResponse> {
    co_return mcp::HTTPResponse::data(token);
  };
  HostFixture fixture(tokenEcho);
  fixture.start();
  const auto port = static_cast<std::uint16_t>(fixture.port);
  EXPECT_TRUE(exchange(port, "POST / HTTP/1.1\r\n\r\n").received.ends_with("\r\n\r\nsecret"));

  fixture.token = "renewed";
  fixture.start();  // binds the same port again at once, thanks to address reuse
  EXPECT_TRUE(fixture.status.running());
  EXPECT_EQ(fixture.host.token(), "renewed");
  EXPECT_TRUE(exchange(port, "POST / HTTP/1.1\r\n\r\n").received.ends_with("\r\n\r\nrenewed"));
}

}  // namespace
}  // namespace melodock
