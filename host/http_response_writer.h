// Writes one response: status line, the response's own headers (never its own
// Content-Length), the computed Content-Length and "Connection: close", then the body,
// as the last message of the stream.
#pragma once

#include <string_view>

#include <asio.hpp>

#include "mcp/http_response.h"

namespace melodock {

class HTTPResponseWriter {
 public:
  // Sends the whole response and shuts down the sending side after it, waiting for the
  // send to complete. Send errors are ignored: the caller closes the connection either
  // way. `response` and `socket` must outlive the awaitable.
  static asio::awaitable<void> write(const mcp::HTTPResponse& response,
                                     asio::ip::tcp::socket& socket);

  // The reason phrase of the status line.
  [[nodiscard]] static std::string_view reason(int status);
};

}  // namespace melodock
