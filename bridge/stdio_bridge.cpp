#include "bridge/stdio_bridge.h"

#include <unistd.h>

#include <cerrno>

namespace melodock {

int StdioBridge::run() {
  // Relaying is not built yet: consume the client's input so it never blocks on a
  // full pipe, and end cleanly when it closes.
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    return 0;
  }
}

}  // namespace melodock
