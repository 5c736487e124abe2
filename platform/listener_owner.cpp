#include "platform/listener_owner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace melodock {
namespace {

constexpr std::string_view kListen = "0A";

// The kernel prints each address as the hexadecimal of its bytes read as native
// 32-bit words, so the text of 127.0.0.1 depends on the machine's byte order.
std::string addressText(std::initializer_list<std::uint32_t> networkOrderWords) {
  std::string text;
  for (const std::uint32_t word : networkOrderWords) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
        static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
    std::uint32_t native = 0;
    std::memcpy(&native, bytes, sizeof native);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", native);
    text += hex;
  }
  return text;
}

const std::vector<std::string>& loopbackAddresses() {
  static const std::vector<std::string> addresses = {
      addressText({0x7F000001}),                // 127.0.0.1
      addressText({0}),                         // 0.0.0.0
      addressText({0, 0, 0, 0}),                // ::
      addressText({0, 0, 0xFFFF, 0x7F000001}),  // ::ffff:127.0.0.1
  };
  return addresses;
}

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> result;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find(' ', start), line.size());
    result.push_back(line.substr(start, end - start));
    at = end;
  }
  return result;
}

// Rows: "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ...".
void scan(std::string_view table, std::uint16_t port, uid_t user, ListenerOwner& owner) {
  char portText[6];
  std::snprintf(portText, sizeof portText, "%04X", static_cast<unsigned>(port));
  std::size_t at = table.find('\n');  // the first line is the heading
  while (at != std::string_view::npos && at < table.size()) {
    const std::size_t end = std::min(table.find('\n', at + 1), table.size());
    const auto row = fields(table.substr(at + 1, end - at - 1));
    at = end;
    if (row.size() < 8 || row[3] != kListen) continue;
    const std::size_t colon = row[1].find(':');
    if (colon == std::string_view::npos || row[1].substr(colon + 1) != portText) continue;
    const std::string_view address = row[1].substr(0, colon);
    bool loopback = false;
    for (const auto& candidate : loopbackAddresses()) loopback = loopback || address == candidate;
    if (!loopback) continue;
    uid_t uid = 0;
    if (std::from_chars(row[7].data(), row[7].data() + row[7].size(), uid).ec != std::errc()) {
      continue;
    }
    if (uid != user) {
      owner = ListenerOwner::anotherUser;
    } else if (owner == ListenerOwner::none) {
      owner = ListenerOwner::thisUser;
    }
  }
}

std::string readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ListenerOwner loopbackListenerOwner(std::string_view tcp, std::string_view tcp6, std::uint16_t port,
                                    uid_t user) {
  ListenerOwner owner = ListenerOwner::none;
  scan(tcp, port, user, owner);
  scan(tcp6, port, user, owner);
  return owner;
}

ListenerOwner loopbackListenerOwner(std::uint16_t port, uid_t user) {
  return loopbackListenerOwner(readAll("/proc/net/tcp"), readAll("/proc/net/tcp6"), port, user);
}

}  // namespace melodock
