// Lines from a descriptor, each without its LF or CR LF; the last line needs no LF.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace melodock {

class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line; nothing once the descriptor ended (or failed) with no bytes left.
  std::optional<std::string> next();

 private:
  int fd_;
  std::string buffer_;
  std::size_t scanned_ = 0;  // bytes of buffer_ known to hold no LF
};

}  // namespace melodock
