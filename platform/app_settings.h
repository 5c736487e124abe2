// The settings every part of the program agrees on: the port, the endpoint address
// and the access token, computed from the settings store on every read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/settings_store.h"

namespace melodock {

class AppSettings {
 public:
  static constexpr std::int64_t kDefaultPort = 47291;

  // `store` must outlive this object.
  explicit AppSettings(SettingsStore& store) : store_(store) {}

  // Over the shared settings store.
  static AppSettings& shared();

  // The stored "port" as it is; absent, 0 or not an integer reads as 47291. The value
  // may lie outside 1…65535: the host reports that, it is not corrected here.
  [[nodiscard]] std::int64_t port() const;

  // "http://127.0.0.1:<port>/mcp".
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
  SettingsStore& store_;
};

}  // namespace melodock
