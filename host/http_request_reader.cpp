#include "host/http_request_reader.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/utf8.h"
#include "platform/executor.h"

namespace melodock {
namespace {

constexpr std::string_view kTerminator = "\r\n\r\n";
// Small requests are the rule: the first receive asks for little and later ones grow
// with the request, so a ping does not clear 64 KiB first.
constexpr std::size_t kFirstReceiveSize = std::size_t{4} * 1024;

std::string_view trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\v\f";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// A decimal integer with an optional sign, the whole text; nothing otherwise.
std::optional<std::int64_t> parseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

struct Head {
  mcp::HTTPRequest request;
  std::int64_t contentLength = 0;
};

std::optional<Head> parseHead(std::string_view text) {
  if (!isValidUTF8(text)) return std::nullopt;
  Head head;
  const std::size_t lineEnd = std::min(text.find("\r\n"), text.size());
  std::string_view requestLine = text.substr(0, lineEnd);
  // Only the method and the path are kept; the version and anything after it are not.
  std::array<std::string_view, 2> pieces;
  std::size_t found = 0;
  while (!requestLine.empty() && found < pieces.size()) {
    const std::size_t space = std::min(requestLine.find(' '), requestLine.size());
    if (space > 0) pieces[found++] = requestLine.substr(0, space);
    requestLine.remove_prefix(std::min(space + 1, requestLine.size()));
  }
  if (found < pieces.size()) return std::nullopt;
  head.request.method = pieces[0];
  head.request.path = std::string(pieces[1]);

  std::string_view rest = lineEnd < text.size() ? text.substr(lineEnd + 2) : std::string_view();
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find("\r\n"), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 2, rest.size()));
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    head.request.headers.insert_or_assign(std::string(trim(line.substr(0, colon))),
                                          std::string(trim(line.substr(colon + 1))));
  }
  for (const auto& [name, value] : head.request.headers) {
    if (mcp::equalsIgnoringCase(name, "content-length")) {
      head.contentLength = parseInteger(value).value_or(0);
      break;
    }
  }
  return head;
}

}  // namespace

asio::awaitable<bool> HTTPRequestReader::receive(asio::ip::tcp::socket& socket,
                                                 std::string& buffer) {
  const std::size_t before = buffer.size();
  const std::size_t window = std::clamp<std::size_t>(before, kFirstReceiveSize, kReceiveSize);
  buffer.resize(before + window);
  auto [error, count] =
      co_await socket.async_read_some(asio::buffer(buffer.data() + before, window), kUseTuple);
  buffer.resize(before + count);
  co_return !error && count > 0;
}

asio::awaitable<std::optional<mcp::HTTPRequest>> HTTPRequestReader::readRequest(
    asio::ip::tcp::socket& socket, const std::function<void()>& arrived) {
  std::string buffer;
  std::size_t searchFrom = 0;
  std::size_t terminator = std::string::npos;
  while ((terminator = buffer.find(kTerminator, searchFrom)) == std::string::npos) {
    if (buffer.size() >= kHeadCeiling) co_return std::nullopt;
    searchFrom = buffer.size() < 3 ? 0 : buffer.size() - 3;
    // The last receive may have ended the stream with bytes: those bytes still count,
    // only a receive that brings nothing ends the request.
    if (!co_await receive(socket, buffer)) co_return std::nullopt;
    if (arrived) arrived();
  }

  std::optional<Head> head = parseHead(std::string_view(buffer).substr(0, terminator));
  if (!head || head->contentLength > static_cast<std::int64_t>(kBodyCeiling)) {
    co_return std::nullopt;
  }
  buffer.erase(0, terminator + kTerminator.size());
  const std::size_t wanted =
      head->contentLength > 0 ? static_cast<std::size_t>(head->contentLength) : 0;
  while (buffer.size() < wanted) {
    if (!co_await receive(socket, buffer)) co_return std::nullopt;
    if (arrived) arrived();
  }
  if (!buffer.empty()) head->request.body = std::move(buffer);
  co_return std::move(head->request);
}

}  // namespace melodock
