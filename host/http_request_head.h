// One HTTP/1.1 request head (the request line and the header lines, without the blank
// line that ends them) taken apart. Lenient the way the reader is: only the method and
// the path are kept from the request line, and lines without a colon are skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "mcp/http_request.h"

namespace melodock {

struct HTTPRequestHead {
  mcp::HTTPRequest request;
  // What "Content-Length" declares; 0 when it is absent or not a number. It may be
  // negative: the reader then waits for no body.
  std::int64_t contentLength = 0;

  // Nothing for bytes that are not UTF-8 or a request line without a method and a path.
  static std::optional<HTTPRequestHead> parse(std::string_view text);
};

}  // namespace melodock
