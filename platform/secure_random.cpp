#include "platform/secure_random.h"

#include <sys/random.h>

#include <cerrno>

namespace melodock {

std::string secureRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t n = getrandom(bytes.data() + filled, count - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    filled += static_cast<std::size_t>(n);
  }
  return bytes;
}

}  // namespace melodock
