// What a Server needs of the transport it is started on. A transport is shared by the
// server's tasks and its embedding program, so it is held by std::shared_ptr.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <asio/awaitable.hpp>
#include <nlohmann/json_fwd.hpp>

#include "mcp/http_request.h"
#include "mcp/id.h"
#include "mcp/logger.h"

namespace mcp {

// One message from the server with what a transport needs to route it, so that no
// transport reads the server's own output back.
struct OutgoingMessage {
  enum class Kind { response, notification, batch };

  Kind kind;
  std::string bytes;     // one encoded message, or a batch's array of answers
  std::optional<ID> id;  // a response's id
  std::string method{};  // a notification's method
};

// One incoming message, with the JSON the transport already made of it, if it made
// any: the server then reads that instead of parsing the bytes again.
struct IncomingMessage {
  std::string bytes;
  std::shared_ptr<nlohmann::json> parsed{};  // handed over: nobody else holds it
  // The transport took `parsed` for a request of the modern era and holds it to that
  // era's rules, metadata or not.
  bool modern = false;
};

class Transport {
 public:
  virtual ~Transport() = default;

  // The sink the server logs through as well.
  [[nodiscard]] virtual const Logger& logger() const = 0;

  virtual asio::awaitable<void> connect() = 0;
  virtual asio::awaitable<void> disconnect() = 0;
  virtual asio::awaitable<void> send(OutgoingMessage message) = 0;
  // The next incoming message, in arrival order; nothing once the transport has
  // closed. Throws when the transport fails.
  virtual asio::awaitable<std::optional<std::string>> receive() = 0;
  // receive() with what the transport parsed; the server reads through this one.
  virtual asio::awaitable<std::optional<IncomingMessage>> receiveMessage() {
    std::optional<std::string> bytes = co_await receive();
    if (!bytes) co_return std::nullopt;
    co_return IncomingMessage{std::move(*bytes)};
  }
  // The HTTP request that carried the request `id`, for transports that have one.
  virtual asio::awaitable<std::shared_ptr<const HTTPRequest>> httpRequestContext(const ID& id) {
    (void)id;
    co_return nullptr;
  }
};

}  // namespace mcp
