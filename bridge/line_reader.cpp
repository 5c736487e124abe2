#include "bridge/line_reader.h"

#include <unistd.h>

#include <cerrno>

namespace melodock {

std::optional<std::string> LineReader::next() {
  for (;;) {
    const std::size_t end = buffer_.find('\n', scanned_);
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      scanned_ = 0;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    scanned_ = buffer_.size();
    char chunk[65536];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (buffer_.empty()) return std::nullopt;
      std::string line = std::move(buffer_);
      buffer_.clear();
      scanned_ = 0;
      if (line.back() == '\r') line.pop_back();
      return line;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace melodock
