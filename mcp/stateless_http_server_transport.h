// The server side of MCP's Streamable HTTP transport in its stateless form: one POST
// carries one JSON-RPC message and, for a request, its JSON answer comes back in the
// same HTTP response. Independent of any HTTP server: the host parses HTTP, passes an
// HTTPRequest to handleRequest() and writes back the HTTPResponse; the path is never
// looked at. A validation pipeline runs before the MCP logic.
//
// Held by std::shared_ptr (the server keeps one); it lives for one HTTP exchange in
// this program. Its state belongs to a strand made from the executor of its first
// caller, and stays alive while any of its operations runs.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "mcp/http_request.h"
#include "mcp/http_request_validator.h"
#include "mcp/http_response.h"
#include "mcp/logger.h"
#include "mcp/transport.h"

namespace mcp {

class StatelessHTTPServerTransport : public Transport {
 public:
  static constexpr const char* kLoggerLabel = "mcp.transport.http.server.stateless";

  // Without a pipeline: a StandardValidationPipeline of standardValidators(). Without
  // a logger nothing is logged.
  explicit StatelessHTTPServerTransport(
      std::shared_ptr<const HTTPRequestValidationPipeline> validationPipeline = nullptr,
      std::optional<Logger> logger = std::nullopt);
  ~StatelessHTTPServerTransport() override;

  // The host's single entry. For a request, suspends until the server's answer comes
  // back (200 with the bytes) or the transport is terminated (500); there is no time
  // limit. The caller's cancellation is not passed on: terminate with disconnect().
  asio::awaitable<HTTPResponse> handleRequest(HTTPRequest request);

  [[nodiscard]] const Logger& logger() const override { return logger_; }
  // Fails with internal error "Transport already started" the second time.
  asio::awaitable<void> connect() override;
  // Terminates: waiting exchanges answer 500, later ones 404, receive() ends.
  asio::awaitable<void> disconnect() override;
  // Routes a response to the exchange waiting for its id; anything else is dropped.
  asio::awaitable<void> send(OutgoingMessage message) override;
  asio::awaitable<std::optional<std::string>> receive() override;
  // A modern-era request comes with the JSON its validation read.
  asio::awaitable<std::optional<IncomingMessage>> receiveMessage() override;
  asio::awaitable<std::shared_ptr<const HTTPRequest>> httpRequestContext(const ID& id) override;

  struct State;

 private:
  std::shared_ptr<State> state(const asio::any_io_executor& executor);

  std::shared_ptr<const HTTPRequestValidationPipeline> validationPipeline_;
  Logger logger_;
  std::mutex stateMutex_;  // guards the one-time creation of state_
  std::shared_ptr<State> state_;
};

}  // namespace mcp
