#include "platform/music/web_api/web_api_url.h"

#include "base/percent_encoding.h"

namespace melodock {
namespace {

bool isUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool isSubDelimiter(char c) {
  return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

bool isHexDigit(char c) { return hexValue(c) >= 0; }

// RFC 3986: a path holds pchar and "/", a query also "?"; "%" only as "%XX".
bool isValidPathAndQuery(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
        return false;
      }
      i += 2;
    } else if (!(isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/' ||
                 c == '?')) {
      return false;
    }
  }
  return true;
}

// A query name or value: everything but unreserved characters and the few delimiters
// that mean nothing inside an item ("&", "=", "+" and "#" are encoded).
std::string encodeQueryComponent(std::string_view text) {
  return percentEncoded(text, [](char c) {
    return isUnreserved(c) || std::string_view("!$'()*,;:@/?").find(c) != std::string_view::npos;
  });
}

}  // namespace

bool isPlainWebAPIPath(std::string_view path) {
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string segment = percentDecodedLeniently(path.substr(0, slash));
    if (segment == "." || segment == ".." || segment.find_first_of("/\\") != std::string::npos) {
      return false;
    }
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return true;
}

bool isWebAPIPathSegment(std::string_view text) {
  return !text.empty() && text.find_first_of("/?#") == std::string_view::npos &&
         isPlainWebAPIPath(text);
}

std::optional<std::string> webAPIURL(std::string_view base, std::string_view path,
                                     const QueryItems& query) {
  if (!path.starts_with('/') || !isValidPathAndQuery(path) ||
      !isPlainWebAPIPath(path.substr(0, path.find('?')))) {
    return std::nullopt;
  }
  std::string url(base);
  if (query.empty()) {
    url += path;
    return url;
  }
  url += path.substr(0, path.find('?'));
  char separator = '?';
  for (const auto& [name, value] : query) {
    url += separator;
    url += encodeQueryComponent(name);
    url += '=';
    url += encodeQueryComponent(value);
    separator = '&';
  }
  return url;
}

WebAPITarget parseWebAPITarget(std::string_view target) {
  WebAPITarget parsed;
  const std::size_t mark = target.find('?');
  parsed.path = percentDecodedLeniently(target.substr(0, mark));
  if (mark == std::string_view::npos) return parsed;
  std::string_view rest = target.substr(mark + 1);
  while (!rest.empty()) {
    const std::size_t end = rest.find('&');
    const std::string_view item = rest.substr(0, end);
    const std::size_t equals = item.find('=');
    if (!item.empty()) {
      parsed.query.emplace_back(
          percentDecodedLeniently(item.substr(0, equals)),
          equals == std::string_view::npos ? "" : percentDecodedLeniently(item.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return parsed;
}

std::optional<std::string> queryValue(const QueryItems& query, std::string_view name) {
  for (const auto& [itemName, value] : query) {
    if (itemName == name) return value;
  }
  return std::nullopt;
}

}  // namespace melodock
