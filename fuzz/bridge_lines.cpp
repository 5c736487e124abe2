// The bridge's reading of its client on any bytes: the input split into lines exactly
// once each, and every line through what the bridge learns from it before relaying.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/line_reader.h"
#include "bridge/relay_message.h"
#include "fuzz/require.h"

namespace {

void learnFrom(const std::string& line) {
  if (const auto message = melodock::parsedMessage(line)) {
    (void)melodock::requestID(*message);
    (void)melodock::clientName(*message);
    if (const auto headers = melodock::modernHeaders(*message)) {
      // Each becomes one header line of the POST: a line break would start another.
      for (const auto& header : *headers) {
        FUZZ_REQUIRE(header.find_first_of("\r\n") == std::string::npos);
      }
    }
  }
  (void)melodock::negotiatedVersion(line);
  const std::string relayed = melodock::oneLine(line);
  FUZZ_REQUIRE(relayed.find('\n') == std::string::npos || relayed == line);
  if (const auto name = melodock::percentEncodedClientName(line)) {
    FUZZ_REQUIRE(name->find_first_of("\r\n ") == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("bridge-input", MFD_CLOEXEC);
  FUZZ_REQUIRE(fd >= 0);
  FUZZ_REQUIRE(::write(fd, data, size) == static_cast<ssize_t>(size));
  FUZZ_REQUIRE(::lseek(fd, 0, SEEK_SET) == 0);

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  melodock::LineReader reader(fd);
  std::size_t offset = 0;
  while (const auto line = reader.next()) {
    FUZZ_REQUIRE(line->find('\n') == std::string::npos);
    // The line is the input up to the next LF, less a CR before it.
    const std::size_t end = std::min(input.find('\n', offset), input.size());
    std::string_view expected = input.substr(offset, end - offset);
    if (!expected.empty() && expected.back() == '\r') expected.remove_suffix(1);
    FUZZ_REQUIRE(*line == expected);
    offset = end + 1;
    learnFrom(*line);
  }
  FUZZ_REQUIRE(offset >= size);
  ::close(fd);
  return 0;
}
