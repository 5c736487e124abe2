// The web API paths the music service makes with an id in them. Ids go into paths as
// they are, so an id that is not exactly one path segment is refused before anything
// is sent: it would reach another path of the web API, with the user's credentials.
#pragma once

#include <string>
#include <string_view>

#include "music/tool_error.h"

namespace melodock::detail {

// The failure of a request whose `path` makes no valid URL.
[[nodiscard]] ToolError invalidWebAPIPath(std::string_view path);

// `before` + `id` + `after`. Throws invalidWebAPIPath of that text when `id` holds a
// "/", "?" or "#", an encoded slash or backslash, or is a dot segment ("." or "..").
[[nodiscard]] std::string webAPIPathWithID(std::string_view before, std::string_view id,
                                           std::string_view after = {});

}  // namespace melodock::detail
