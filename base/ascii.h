// Case folding of ASCII letters only: file names and extensions are compared this way,
// whatever the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace melodock {

[[nodiscard]] std::string asciiLower(std::string_view text);

}  // namespace melodock
