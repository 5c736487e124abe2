// The app's own HTTP/1.1 server on 127.0.0.1: one request per connection, one
// response with a Content-Length and "Connection: close", then the connection closes.
// No keep-alive, no chunked bodies, no TLS. A request that cannot be read is dropped
// without an answer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <asio.hpp>

#include "host/host_status.h"
#include "mcp/http_request.h"
#include "mcp/http_response.h"
#include "platform/actor.h"
#include "platform/executor.h"

namespace melodock {

// What the host reads from the settings at every start.
struct HostSettings {
  // Nothing when the stored value is not a number; `storedPort` then says what it is.
  std::optional<std::int64_t> port;
  std::string storedPort;
  std::string token;
};

// How many connections fit in the process's descriptor limit while leaving a reserve
// for its own files, pipes and sockets and for the libraries it loads later: some of
// those abort rather than fail when no descriptor is left.
std::size_t connectionLimitForDescriptors();

struct MCPHostOptions {
  // How long a connection may stay silent while its request is being read; each
  // arrival of bytes starts the wait again.
  std::chrono::steady_clock::duration idleTimeout = std::chrono::seconds(30);
  // How long to wait before accepting again when the process is out of descriptors.
  std::chrono::steady_clock::duration acceptBackoff = std::chrono::milliseconds(50);
  // Connections open at once; more wait in the listen queue until one ends.
  std::size_t maxConnections = connectionLimitForDescriptors();
};

class MCPHost {
 public:
  // Answers one request, given the token read at the last start.
  using Handler =
      std::function<asio::awaitable<mcp::HTTPResponse>(mcp::HTTPRequest, std::string token)>;

  using Options = MCPHostOptions;

  // Every collaborator must outlive the host, and the host must outlive the pool's
  // threads (stop the Executor first): connections in flight use it until they end.
  // `settings` is called at each start, on the host's own actor.
  MCPHost(Executor& executor, const MainActor& main, HostStatus& status,
          std::function<HostSettings()> settings, Handler handler, Options options = {});
  MCPHost(const MCPHost&) = delete;
  MCPHost& operator=(const MCPHost&) = delete;

  // Replaces the listener: closes the current one, re-reads port and token, listens
  // again. Failures are reported through HostStatus, never thrown. Resumes the caller
  // once the status on the main actor has every change of this start.
  asio::awaitable<void> start();

  // The token read at the last start.
  [[nodiscard]] std::string token() const;

 private:
  asio::awaitable<void> startOnActor();
  asio::awaitable<void> acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> listener);
  asio::awaitable<void> serve(asio::ip::tcp::socket socket);
  asio::awaitable<void> publish(ListenerState state, std::int64_t port, std::string error);
  asio::awaitable<void> publishProblem(std::string problem);

  Executor& executor_;
  const MainActor& main_;
  HostStatus& status_;
  std::function<HostSettings()> settings_;
  Handler handler_;
  Options options_;
  Actor actor_;
  std::shared_ptr<asio::ip::tcp::acceptor> listener_;  // touched on actor_ only
  std::int64_t listenerPort_ = 0;                      // touched on actor_ only
  std::size_t openConnections_ = 0;                    // touched on actor_ only
  asio::steady_timer connectionEnded_;                 // waited on and cancelled on actor_
  mutable std::mutex tokenMutex_;
  std::string token_;
};

}  // namespace melodock
