// One HTTP request as the transport sees it, independent of the server that read it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace mcp {

// Header names are kept as received; names that differ only in letter case are
// separate entries.
using HTTPHeaders = std::map<std::string, std::string, std::less<>>;

struct HTTPRequest {
  std::string method;
  HTTPHeaders headers;
  std::optional<std::string> body;  // absent when the request had no body bytes
  std::optional<std::string> path;  // the request target as received, query included

  // The value of the first header whose name equals `name` ignoring letter case.
  [[nodiscard]] std::optional<std::string_view> header(std::string_view name) const;
};

// ASCII case-insensitive comparison, as header names compare.
[[nodiscard]] bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace mcp
