// Writing a whole buffer to a descriptor that may take it a piece at a time.
#pragma once

#include <string_view>

namespace melodock {

// Writes all of `bytes` to `fd`, again after a signal interrupts. Stops without a word
// when `fd` takes nothing more (its reader is gone): the caller learns that from its
// input ending.
void writeAll(int fd, std::string_view bytes);

}  // namespace melodock
