#include "music/detail/web_api_path.h"

#include "platform/music/web_api/web_api_url.h"

namespace melodock::detail {

ToolError invalidWebAPIPath(std::string_view path) {
  return ToolError("Can't send the web API request: " + std::string(path) +
                   " isn't a valid URL path. Check the id.");
}

std::string webAPIPathWithID(std::string_view before, std::string_view id, std::string_view after) {
  std::string path(before);
  path.append(id).append(after);
  if (!isWebAPIPathSegment(id)) throw invalidWebAPIPath(path);
  return path;
}

}  // namespace melodock::detail
