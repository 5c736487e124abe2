#include "host/http_request_head.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/utf8.h"
#include "mcp/http_request.h"

namespace melodock {
namespace {

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

}  // namespace

std::optional<HTTPRequestHead> HTTPRequestHead::parse(std::string_view text) {
  if (!isValidUTF8(text)) return std::nullopt;
  HTTPRequestHead head;
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

}  // namespace melodock
