// The reason phrases of HTTP statuses (RFC 9110), for status lines and for naming a
// server's failed answer.
#pragma once

#include <optional>
#include <string_view>

namespace melodock {

// The phrase of `status` when it is one the program sends or meets; nothing otherwise.
[[nodiscard]] std::optional<std::string_view> reasonPhrase(int status);

}  // namespace melodock
