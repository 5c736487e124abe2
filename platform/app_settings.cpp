#include "platform/app_settings.h"

#include "platform/secure_random.h"

namespace melodock {

AppSettings& AppSettings::shared() {
  static AppSettings settings(SettingsStore::shared());
  return settings;
}

std::int64_t AppSettings::port() const {
  const std::int64_t stored = store_.integer("port").value_or(0);
  return stored == 0 ? kDefaultPort : stored;
}

std::string AppSettings::endpoint() const {
  return "http://127.0.0.1:" + std::to_string(port()) + "/mcp";
}

std::string AppSettings::token() {
  if (auto stored = store_.string("token")) return *stored;
  // Create under the store's lock, so two processes reading at once agree on one token.
  std::string token;
  store_.update([&](nlohmann::json& all) {
    const auto it = all.find("token");
    if (it != all.end() && it->is_string()) {
      token = it->get<std::string>();
    } else {
      token = randomToken();
      all["token"] = token;
    }
  });
  return token;
}

std::string AppSettings::storeNewToken() {
  std::string token = randomToken();
  store_.set("token", token);
  return token;
}

std::string AppSettings::randomToken() {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(48);
  for (const char byte : secureRandomBytes(24)) {
    const auto value = static_cast<unsigned char>(byte);
    text += kDigits[value >> 4];
    text += kDigits[value & 0x0f];
  }
  return text;
}

}  // namespace melodock
