#include "mcp/detail/base64.h"

#include <array>
#include <cstdint>

namespace mcp::detail {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group <<= 8;
      if (k < n) group |= static_cast<unsigned char>(bytes[i + k]);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return text;
}

std::optional<std::string> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::uint32_t group = 0;
    int fill = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        ++fill;
        group <<= 6;
        continue;
      }
      const int value = sextet(c);
      if (value < 0 || fill > 0) return std::nullopt;  // "=" only at the very end
      group = (group << 6) | static_cast<std::uint32_t>(value);
    }
    const std::array<char, 3> decoded = {static_cast<char>((group >> 16) & 0xFF),
                                         static_cast<char>((group >> 8) & 0xFF),
                                         static_cast<char>(group & 0xFF)};
    bytes.append(decoded.data(), 3 - static_cast<std::size_t>(fill));
  }
  return bytes;
}

}  // namespace mcp::detail
