// Reads one HTTP/1.1 request from a connection: the header block up to CR LF CR LF,
// then as many body bytes as Content-Length declares. Strict about sizes (4 MiB for
// the header block and for the declared body), lenient about everything else.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <asio.hpp>

#include "mcp/http_request.h"

namespace melodock {

class HTTPRequestReader {
 public:
  static constexpr std::size_t kHeadCeiling = std::size_t{4} * 1024 * 1024;
  static constexpr std::size_t kBodyCeiling = std::size_t{4} * 1024 * 1024;
  static constexpr std::size_t kReceiveSize = std::size_t{64} * 1024;

  // One request from `socket`, or nothing when it cannot be read (closed early,
  // malformed head, sizes above the ceilings). `arrived` is called after each receive
  // that brought bytes. `socket` must stay open until the awaitable completes.
  static asio::awaitable<std::optional<mcp::HTTPRequest>> readRequest(
      asio::ip::tcp::socket& socket, const std::function<void()>& arrived);

  // One receive of 1 to 64 KiB, appended to `buffer`; false on error or end of stream.
  static asio::awaitable<bool> receive(asio::ip::tcp::socket& socket, std::string& buffer);
};

}  // namespace melodock
