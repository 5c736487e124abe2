// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above
// U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

namespace melodock {

// The length (1 to 4) of the well-formed sequence that `bytes` starts with, or 0.
[[nodiscard]] std::size_t utf8SequenceLength(std::string_view bytes);

[[nodiscard]] bool isValidUTF8(std::string_view text);

}  // namespace melodock
