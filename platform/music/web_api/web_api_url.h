// Web API URLs: made from a base URL, a request path and query items the way the music
// service sends them, and taken apart again the way the web API reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace melodock {

using QueryItems = std::vector<std::pair<std::string, std::string>>;

// `base` followed directly by `path`; when `query` is not empty, its items, percent-
// encoded, replace any query the path carries. Nothing when the result is not a valid
// URL: the path does not begin with "/", or holds a character that a URL's path or
// query cannot hold (a space, a quote, a "#", a non-ASCII byte, a "%" not followed by
// two hex digits), or its path part is not plain (isPlainWebAPIPath).
[[nodiscard]] std::optional<std::string> webAPIURL(std::string_view base, std::string_view path,
                                                   const QueryItems& query = {});

// Whether `path` (without a query) names the place it spells: no segment is "." or ".."
// (percent-encoded or not), and no "/" or "\" is percent-encoded, since servers and
// clients may resolve those into another path.
[[nodiscard]] bool isPlainWebAPIPath(std::string_view path);

// Whether `text` can stand as exactly one segment of a web API path: not empty, no "/",
// "?" or "#", and nothing that makes a path not plain.
[[nodiscard]] bool isWebAPIPathSegment(std::string_view text);

// A request target ("/v1/...?name=value&...") taken apart: the path and each query
// item, percent-decoded.
struct WebAPITarget {
  std::string path{};
  QueryItems query{};

  bool operator==(const WebAPITarget&) const = default;
};
[[nodiscard]] WebAPITarget parseWebAPITarget(std::string_view target);

// The value of the first query item named `name`.
[[nodiscard]] std::optional<std::string> queryValue(const QueryItems& query, std::string_view name);

}  // namespace melodock
