// Client names travel percent-encoded in a header so that any Unicode name fits in
// an HTTP header line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace melodock {

// `text` with every "%XY" (two hexadecimal digits, either case) replaced by that byte.
// Nothing when a "%" is not followed by two hexadecimal digits or the decoded bytes
// are not valid UTF-8. "+" stays "+".
std::optional<std::string> percentDecoded(std::string_view text);

}  // namespace melodock
