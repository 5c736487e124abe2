// Reading untrusted JSON text and writing the library's JSON text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace mcp::detail {

// Containers nested deeper than this are refused as unparseable.
inline constexpr int kMaxJSONDepth = 64;

// The parsed document, or nothing for text that is not JSON (truncated, invalid UTF-8
// in a string, a number out of double range) or that nests deeper than kMaxJSONDepth.
// Never throws.
[[nodiscard]] std::optional<nlohmann::json> parseJSON(std::string_view text);

// Compact JSON: object keys ascending (nlohmann's objects are sorted maps), "/" kept
// as is, integers exact. Invalid UTF-8 in a string is replaced by U+FFFD rather than
// thrown.
[[nodiscard]] std::string encodeJSON(const nlohmann::json& value);

// A member of `object`, or nullptr when `object` is not an object or lacks `key`.
[[nodiscard]] const nlohmann::json* member(const nlohmann::json& object, std::string_view key);

}  // namespace mcp::detail
