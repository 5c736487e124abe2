#include "host/http_request_reader.h"

#include <algorithm>

#include "host/http_request_head.h"
#include "platform/executor.h"

namespace melodock {
namespace {

constexpr std::string_view kTerminator = "\r\n\r\n";
// Small requests are the rule: the first receive asks for little and later ones grow
// with the request, so a ping does not clear 64 KiB first.
constexpr std::size_t kFirstReceiveSize = std::size_t{4} * 1024;

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

  std::optional<HTTPRequestHead> head =
      HTTPRequestHead::parse(std::string_view(buffer).substr(0, terminator));
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
