// The web API's URL rules on any bytes, the first line being the path and the rest
// query items: a URL is made only of characters a URL may hold and of a plain path,
// and the web API reads back the items it was made from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/require.h"
#include "platform/music/web_api/web_api_url.h"

namespace {

constexpr std::string_view kBase = "http://127.0.0.1:1";

melodock::QueryItems queryFrom(std::string_view text) {
  melodock::QueryItems items;
  while (!text.empty() && items.size() < 8) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    const std::size_t equals = std::min(line.find('='), line.size());
    items.emplace_back(std::string(line.substr(0, equals)),
                       std::string(line.substr(std::min(equals + 1, line.size()))));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return items;
}

// What RFC 3986 lets a path and query hold, "%" only in escapes.
bool urlCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~!$&'()*+,;=:@/?%").find(c) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = std::min(bytes.find('\n'), bytes.size());
  const std::string_view path = bytes.substr(0, lineEnd);
  const melodock::QueryItems query = queryFrom(bytes.substr(std::min(lineEnd + 1, bytes.size())));

  if (melodock::isWebAPIPathSegment(path)) {
    FUZZ_REQUIRE(!path.empty() && path.find_first_of("/?#") == std::string_view::npos);
    FUZZ_REQUIRE(melodock::isPlainWebAPIPath(path));
  }
  // The web API's own reading of a target never fails, whatever it is sent.
  (void)melodock::parseWebAPITarget(path);

  const auto url = melodock::webAPIURL(kBase, path, query);
  if (!url) return 0;
  FUZZ_REQUIRE(url->starts_with(kBase));
  const std::string_view target = std::string_view(*url).substr(kBase.size());
  FUZZ_REQUIRE(target.starts_with('/'));
  for (const char c : target) FUZZ_REQUIRE(urlCharacter(c));
  const std::string_view pathPart = target.substr(0, std::min(target.find('?'), target.size()));
  FUZZ_REQUIRE(melodock::isPlainWebAPIPath(pathPart));
  if (!query.empty()) {
    FUZZ_REQUIRE(melodock::parseWebAPITarget(target).query == query);
  }
  return 0;
}
