// The app's own HTTP/1.1 server on 127.0.0.1: one request per connection, one
// response with a Content-Length and "Connection: close", then the connection closes.
// No keep-alive, no chunked bodies, no TLS. Sizes are bounded (4 MiB for the header
// block and for the declared body); a request that cannot be read is dropped without
// an answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "host/client_recorder.h"
#include "host/host_status.h"
#include "mcp/http_request.h"
#include "mcp/http_response.h"
#include "platform/executor.h"

namespace melodock {

// What the host reads from the settings at every start.
struct HostSettings {
  std::int64_t port = 0;
  std::string token;
};

class MCPHost {
 public:
  static constexpr std::size_t kHeadCeiling = 4 * 1024 * 1024;
  static constexpr std::size_t kBodyCeiling = 4 * 1024 * 1024;
  static constexpr std::size_t kReceiveSize = 64 * 1024;
  static constexpr std::size_t kFirstReceiveSize = 4 * 1024;

  struct Options {
    // How long a connection may take to deliver its whole request.
    std::chrono::steady_clock::duration idleTimeout = std::chrono::seconds(30);
    // How long to wait before accepting again when the process is out of descriptors.
    std::chrono::steady_clock::duration acceptBackoff = std::chrono::milliseconds(50);
    // Answers each request; the MCP endpoint (`handle`) when empty.
    std::function<asio::awaitable<mcp::HTTPResponse>(const mcp::HTTPRequest&, std::string)> handler;
    // Runs on the main actor each time a client names itself, after the status has it.
    std::function<void()> clientConnected;
  };

  // `executor` and `status` must outlive the host; `settings` is called at each start.
  MCPHost(Executor& executor, HostStatus& status, std::function<HostSettings()> settings,
          Options options);
  MCPHost(Executor& executor, HostStatus& status, std::function<HostSettings()> settings)
      : MCPHost(executor, status, std::move(settings), Options()) {}
  ~MCPHost();
  MCPHost(const MCPHost&) = delete;
  MCPHost& operator=(const MCPHost&) = delete;

  // Replaces the listener: closes the current one, re-reads port and token, listens
  // again. Failures are reported through HostStatus, never thrown. Runs on the host's
  // own actor; the status updates run on the main actor after it.
  asio::awaitable<void> start();

  // The token read at the last start.
  [[nodiscard]] std::string token() const;

  // Serves one accepted connection to its end and closes it.
  asio::awaitable<void> serve(asio::ip::tcp::socket socket);

  // One request from `socket`, or nothing when it cannot be read (closed early,
  // malformed head, sizes above the ceilings).
  static asio::awaitable<std::optional<mcp::HTTPRequest>> readRequest(
      asio::ip::tcp::socket& socket);

  // One receive of 1 to 64 KiB, appended to `buffer`; false on error or end of stream.
  static asio::awaitable<bool> receive(asio::ip::tcp::socket& socket, std::string& buffer);

  // The endpoint's answer to one request, checked against `token`. A client that
  // names itself is recorded in the shared status and settings.
  static asio::awaitable<mcp::HTTPResponse> handle(mcp::HTTPRequest request, std::string token);
  // The same, recording clients through `recorder`.
  static asio::awaitable<mcp::HTTPResponse> handle(mcp::HTTPRequest request, std::string token,
                                                   ClientRecorder recorder);

  // Sends the whole response as the stream's last message (the sending side is shut
  // down after it) and waits for the send to complete; send errors are ignored, the
  // caller closes the connection either way.
  static asio::awaitable<void> write(const mcp::HTTPResponse& response,
                                     asio::ip::tcp::socket& socket);

  // The status line and headers of `response` for a body of `bodySize` bytes.
  [[nodiscard]] static std::string head(const mcp::HTTPResponse& response, std::size_t bodySize);

  [[nodiscard]] static std::string_view reason(int status);

 private:
  void startOnActor();
  asio::awaitable<void> acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> acceptor);
  void publish(ListenerState state, std::int64_t port, std::string error);
  void publishProblem(std::string problem);

  Executor& executor_;
  HostStatus& status_;
  std::function<HostSettings()> settings_;
  Options options_;
  Strand actor_;
  std::shared_ptr<asio::ip::tcp::acceptor> listener_;  // touched on actor_ only
  std::int64_t listenerPort_ = 0;                      // touched on actor_ only
  mutable std::mutex tokenMutex_;
  std::string token_;
};

}  // namespace melodock
