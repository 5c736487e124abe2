#include "platform/app_settings.h"

#include "platform/secure_random.h"

namespace melodock {

std::optional<std::int64_t> AppSettings::port() const {
  const auto stored = settings_.value("port");
  if (!stored) return kDefaultPort;
  const std::optional<std::int64_t> number = settings_.integer("port");
  if (!number) return std::nullopt;
  return *number == 0 ? kDefaultPort : *number;
}

std::string AppSettings::storedPort() const {
  const auto stored = settings_.value("port");
  return stored ? stored->dump() : "0";
}

std::string AppSettings::endpoint() const {
  return "http://127.0.0.1:" + std::to_string(port().value_or(kDefaultPort)) + "/mcp";
}

std::string AppSettings::token() {
  if (auto stored = settings_.string("token")) return *stored;
  // Created only where none is stored yet, so a token another process stored first
  // wins and every reader agrees on one.
  std::string fresh = randomToken();
  settings_.update([fresh](nlohmann::json& all) {
    const auto it = all.find("token");
    if (it == all.end() || !it->is_string()) all["token"] = fresh;
  });
  return settings_.string("token").value_or(fresh);
}

std::string AppSettings::storeNewToken() {
  std::string token = randomToken();
  settings_.set("token", token);
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
