// A host on a free loopback port with its own pool, main actor, status and settings,
// for tests, started when made. Requests go to the real endpoint unless a handler is
// given.
#pragma once

#include "host/mcp_endpoint.h"
#include "host/mcp_host.h"
#include "music/tools.h"
#include "platform/live_settings.h"
#include "tests/support/await.h"
#include "tests/support/loopback.h"
#include "tests/support/null_music_operations.h"

namespace melodock::testing {

// Answers with what the server read, so tests can see it from the client side.
inline asio::awaitable<mcp::HTTPResponse> echo(mcp::HTTPRequest request, std::string) {
  std::string text = request.method + " " + request.path.value_or("?") + "\n";
  for (const auto& [name, value] : request.headers) {
    text.append("[").append(name).append("]=[").append(value).append("]\n");
  }
  text += request.body ? "body=" + *request.body : "no body";
  co_return mcp::HTTPResponse::data(text);
}

// The body of an HTTP response, after the blank line.
inline std::string bodyOf(const std::string& response) {
  const auto end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

struct HostFixture {
  explicit HostFixture(MCPHost::Handler handler = {}, MCPHost::Options options = {},
                       std::int64_t wantedPort = freePort(), MusicOperations* service = nullptr)
      : music(service ? *service : defaultMusic),
        port(wantedPort),
        host(
            executor, main, status,
            [this] {
              return HostSettings{port, "", token};
            },
            handler ? std::move(handler) : toEndpoint(), options) {
    start();
  }
  // Connections in flight use the host until the pool stops.
  ~HostFixture() { executor.stop(); }

  MCPHost::Handler toEndpoint() {
    return [this](mcp::HTTPRequest request, std::string given) {
      return endpoint.handle(std::move(request), std::move(given));
    };
  }

  // Starts (or restarts) the host and waits until its status updates are in.
  void start() { awaitOn(main, host.start()); }

  TempDir dir;
  Executor executor{2};
  MainActor main{executor};
  LiveSettings settings{dir.path() / "settings.json"};
  HostStatus status;
  NullMusicOperations defaultMusic;
  MusicOperations& music;
  Tools tools{main, music};
  MCPEndpoint endpoint{main, status, settings, tools};
  std::int64_t port;
  std::string token = "secret";
  MCPHost host;
};

}  // namespace melodock::testing
