#include "platform/app_settings.h"

#include "platform/secure_random.h"

namespace melodock {

bool AppSettings::get(const SettingKey<bool>& key) const {
  return settings_.boolean(key.name).value_or(key.fallback);
}

double AppSettings::get(const SettingKey<double>& key) const {
  return settings_.number(key.name).value_or(key.fallback);
}

std::string AppSettings::get(const SettingKey<std::string_view>& key) const {
  return settings_.string(key.name).value_or(std::string(key.fallback));
}

std::vector<std::string> AppSettings::get(
    const SettingKey<std::span<const std::string_view>>& key) const {
  std::vector<std::string> list;
  const auto stored = settings_.value(key.name);
  if (!stored || !stored->is_array()) return {key.fallback.begin(), key.fallback.end()};
  for (const nlohmann::json& entry : *stored) {
    if (entry.is_string()) list.push_back(entry.get<std::string>());
  }
  return list;
}

void AppSettings::set(const SettingKey<bool>& key, bool value) { settings_.set(key.name, value); }

void AppSettings::set(const SettingKey<double>& key, double value) {
  settings_.set(key.name, value);
}

void AppSettings::set(const SettingKey<std::string_view>& key, std::string_view value) {
  settings_.set(key.name, std::string(value));
}

void AppSettings::set(const SettingKey<std::span<const std::string_view>>& key,
                      const std::vector<std::string>& value) {
  settings_.set(key.name, value);
}

SettingChange AppSettings::change(const SettingKey<bool>& key, bool value) {
  return {.key = key.name, .value = value};
}

SettingChange AppSettings::change(const SettingKey<std::string_view>& key, std::string_view value) {
  return {.key = key.name, .value = std::string(value)};
}

void AppSettings::apply(const SettingChange& change) { settings_.set(change.key, change.value); }

std::optional<std::int64_t> AppSettings::port() const {
  const auto stored = settings_.value(kPort.name);
  if (!stored) return kPort.fallback;
  const std::optional<std::int64_t> number = settings_.integer(kPort.name);
  if (!number) return std::nullopt;
  return *number == 0 ? kPort.fallback : *number;
}

std::string AppSettings::storedPort() const {
  const auto stored = settings_.value(kPort.name);
  return stored ? stored->dump() : "0";
}

std::string AppSettings::endpoint() const {
  return "http://127.0.0.1:" + std::to_string(port().value_or(kDefaultPort)) + "/mcp";
}

void AppSettings::setPort(std::int64_t port) { settings_.set(kPort.name, port); }

std::string AppSettings::token() {
  if (auto stored = settings_.string(kToken.name)) return *stored;
  // Created only where none is stored yet, so a token another process stored first
  // wins and every reader agrees on one.
  std::string fresh = randomToken();
  settings_.update([fresh](nlohmann::json& all) {
    const auto it = all.find(kToken.name);
    if (it == all.end() || !it->is_string()) all[kToken.name] = fresh;
  });
  return settings_.string(kToken.name).value_or(fresh);
}

std::string AppSettings::storeNewToken() {
  std::string token = randomToken();
  settings_.set(kToken.name, token);
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
