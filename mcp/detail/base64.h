// Standard Base64 (RFC 4648 alphabet, "=" fill), as data URLs and binary content use it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mcp::detail {

[[nodiscard]] std::string base64Encode(std::string_view bytes);

// The bytes, or nothing unless `text` is whole groups of four alphabet characters with
// at most two "=" at the end.
[[nodiscard]] std::optional<std::string> base64Decode(std::string_view text);

}  // namespace mcp::detail
