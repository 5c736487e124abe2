// The host's request head parser on any bytes: what it keeps is UTF-8, holds no line
// break where one would split the head, and reads back the same when written out again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "fuzz/require.h"
#include "host/http_request_head.h"

namespace {

bool oneLine(std::string_view text) { return text.find("\r\n") == std::string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto head = melodock::HTTPRequestHead::parse(text);
  if (!head) return 0;
  const mcp::HTTPRequest& request = head->request;
  FUZZ_REQUIRE(request.path.has_value());
  FUZZ_REQUIRE(!request.method.empty() && !request.path->empty());
  FUZZ_REQUIRE(request.method.find(' ') == std::string::npos);
  FUZZ_REQUIRE(request.path->find(' ') == std::string::npos);
  FUZZ_REQUIRE(oneLine(request.method) && oneLine(*request.path));

  std::string written = request.method + " " + *request.path + " HTTP/1.1\r\n";
  for (const auto& [name, value] : request.headers) {
    FUZZ_REQUIRE(name.find(':') == std::string::npos && oneLine(name) && oneLine(value));
    FUZZ_REQUIRE(melodock::isValidUTF8(name) && melodock::isValidUTF8(value));
    written.append(name).append(": ").append(value).append("\r\n");
  }
  const auto again = melodock::HTTPRequestHead::parse(written);
  FUZZ_REQUIRE(again.has_value());
  FUZZ_REQUIRE(again->request.method == request.method && again->request.path == request.path);
  FUZZ_REQUIRE(again->request.headers == request.headers);
  FUZZ_REQUIRE(again->contentLength == head->contentLength);
  return 0;
}
