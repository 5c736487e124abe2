// Bytes from the operating system's cryptographically secure random source.
#pragma once

#include <cstddef>
#include <string>

namespace melodock {

// `count` random bytes. getrandom(2) blocks only until the kernel pool is first
// seeded; a failure of the source leaves zero bytes in the unfilled part.
[[nodiscard]] std::string secureRandomBytes(std::size_t count);

}  // namespace melodock
