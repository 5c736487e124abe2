// Percent-encoding as URLs carry it: the payload of a data URL, and text that travels
// percent-encoded so that any Unicode fits in an HTTP header line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mcp {

// `text` with every "%XY" (two hexadecimal digits, either case) replaced by that byte;
// nothing when a "%" is not followed by two hexadecimal digits. "+" stays "+". The
// bytes are not checked: a caller that needs text checks them with isValidUTF8().
[[nodiscard]] std::optional<std::string> percentDecoded(std::string_view text);

}  // namespace mcp
