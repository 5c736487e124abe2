#include "host/http_response_writer.h"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "base/http_reason.h"
#include "platform/executor.h"

namespace melodock {

std::string_view HTTPResponseWriter::reason(int status) {
  // The statuses the host sends are named; any other is "OK" or "Error".
  static constexpr std::array kNamed = {200, 202, 400, 401, 403, 404, 405, 406, 415};
  if (std::find(kNamed.begin(), kNamed.end(), status) != kNamed.end()) {
    return *reasonPhrase(status);
  }
  return status < 400 ? "OK" : "Error";
}

namespace {

// The status line and headers of `response` for a body of `bodySize` bytes.
std::string head(const mcp::HTTPResponse& response, std::size_t bodySize) {
  const mcp::HTTPHeaders* headers = response.storedHeaders();
  std::optional<mcp::HTTPHeaders> built;
  if (!headers) headers = &built.emplace(response.headers());

  const int status = response.statusCode();
  std::string text;
  text.reserve(128);
  text += "HTTP/1.1 ";
  text += std::to_string(status);
  text += ' ';
  text += HTTPResponseWriter::reason(status);
  text += "\r\n";
  for (const auto& [name, value] : *headers) {
    if (mcp::equalsIgnoringCase(name, "content-length")) continue;
    text += name;
    text += ": ";
    text += value;
    text += "\r\n";
  }
  text += "Content-Length: ";
  text += std::to_string(bodySize);
  text += "\r\nConnection: close\r\n\r\n";
  return text;
}

}  // namespace

asio::awaitable<void> HTTPResponseWriter::write(const mcp::HTTPResponse& response,
                                                asio::ip::tcp::socket& socket) {
  // A data answer is sent from where it lies; other bodies are built first.
  std::optional<std::string> built;
  std::string_view body;
  if (const std::string* stored = response.storedBody()) {
    body = *stored;
  } else if ((built = response.bodyData())) {
    body = *built;
  }
  const std::string text = head(response, body.size());
  // Held back until the end of the stream, so the answer and its FIN leave in one
  // segment: the client wakes once and reads both.
  std::array buffers{asio::buffer(text), asio::buffer(body)};
  std::size_t left = text.size() + body.size();
  while (left > 0) {
    auto [error, sent] = co_await socket.async_send(buffers, MSG_MORE, kUseTuple);
    if (error) break;
    left -= sent;
    for (asio::const_buffer& buffer : buffers) {
      const std::size_t used = std::min(sent, buffer.size());
      buffer += used;
      sent -= used;
    }
  }
  std::error_code ignored;
  socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

}  // namespace melodock
