// Percent-encoding as URLs carry it (RFC 3986): paths and query items, the payload of a
// data URL, and text that travels percent-encoded so that any Unicode fits in an HTTP
// header line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace melodock {

// The value (0 to 15) of a hexadecimal digit of either case, or -1.
[[nodiscard]] int hexValue(char digit);

// Appends "%XY" (upper-case digits) for each byte of `bytes` to `out`.
void appendPercentEncoded(std::string& out, std::string_view bytes);

// `text` with every byte for which `kept` is false written as "%XY".
template <typename Kept>
[[nodiscard]] std::string percentEncoded(std::string_view text, Kept kept) {
  std::string encoded;
  for (const char c : text) {
    if (kept(c)) {
      encoded += c;
    } else {
      appendPercentEncoded(encoded, std::string_view(&c, 1));
    }
  }
  return encoded;
}

// `path` with everything but ASCII letters, digits and "/-_.~" percent-encoded, as the
// path of a "file:" URL or URI.
[[nodiscard]] std::string percentEncodedPath(std::string_view path);

// `text` with every "%XY" (two hexadecimal digits, either case) replaced by that byte;
// nothing when a "%" is not followed by two hexadecimal digits. "+" stays "+". The
// bytes are not checked: a caller that needs text checks them with isValidUTF8().
[[nodiscard]] std::optional<std::string> percentDecoded(std::string_view text);

// As percentDecoded(), but a "%" without two hexadecimal digits after it stays as it is.
[[nodiscard]] std::string percentDecodedLeniently(std::string_view text);

}  // namespace melodock
