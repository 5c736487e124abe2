#include "platform/settings.h"

namespace melodock {

std::optional<bool> Settings::boolean(std::string_view key) const {
  const auto stored = value(key);
  if (!stored || !stored->is_boolean()) return std::nullopt;
  return stored->get<bool>();
}

std::optional<std::int64_t> Settings::integer(std::string_view key) const {
  const auto stored = value(key);
  if (!stored) return std::nullopt;
  if (stored->is_number_integer() && !stored->is_number_unsigned()) {
    return stored->get<std::int64_t>();
  }
  // Unsigned values above the int64 range cannot be a port or a count.
  if (stored->is_number_unsigned() && stored->get<std::uint64_t>() <= INT64_MAX) {
    return static_cast<std::int64_t>(stored->get<std::uint64_t>());
  }
  return std::nullopt;
}

std::optional<double> Settings::number(std::string_view key) const {
  const auto stored = value(key);
  if (!stored || !stored->is_number()) return std::nullopt;
  return stored->get<double>();
}

std::optional<std::string> Settings::string(std::string_view key) const {
  auto stored = value(key);
  if (!stored || !stored->is_string()) return std::nullopt;
  return stored->get<std::string>();
}

void Settings::set(std::string_view key, nlohmann::json value) {
  update([key = std::string(key), value = std::move(value)](nlohmann::json& all) {
    all[key] = value;
  });
}

}  // namespace melodock
