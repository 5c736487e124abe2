// The settings every part of the program agrees on: the port, the endpoint address
// and the access token, computed from the settings on every read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/settings.h"

namespace melodock {

class AppSettings {
 public:
  static constexpr std::int64_t kDefaultPort = 47291;

  // `settings` must outlive this object.
  explicit AppSettings(Settings& settings) : settings_(settings) {}

  // The stored "port" as it is; absent or 0 reads as 47291. Nothing when the stored
  // value is not an integer (a text or a fraction): no port the user did not choose is
  // used in its place. The value may lie outside 1…65535: the host reports that.
  [[nodiscard]] std::optional<std::int64_t> port() const;

  // The stored "port" as JSON text, for telling the user what cannot be used.
  [[nodiscard]] std::string storedPort() const;

  // "http://127.0.0.1:<port>/mcp"; the default port when the stored one is not a number.
  [[nodiscard]] std::string endpoint() const;

  // The stored "token" whatever it holds (even empty). When no string is stored, a
  // new random token is stored first, so every reader in every process sees one value.
  [[nodiscard]] std::string token();

  // Stores a fresh random token in place of the old one and returns it. Restarting the
  // host so it takes effect is the caller's part.
  std::string storeNewToken();

  // 48 lower-case hexadecimal digits: 24 bytes of the OS's secure random source.
  [[nodiscard]] static std::string randomToken();

 private:
  Settings& settings_;
};

}  // namespace melodock
