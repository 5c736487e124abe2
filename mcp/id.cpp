#include "mcp/id.h"

#include <array>
#include <cstdio>
#include <random>

#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"

namespace mcp {

ID ID::random() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::array<unsigned char, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    std::uint64_t word = generator();
    for (std::size_t k = 0; k < 8; ++k) bytes[i + k] = static_cast<unsigned char>(word >> (8 * k));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  std::string text;
  constexpr std::string_view kHex = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

std::string ID::description() const {
  if (const auto* text = stringValue()) return *text;
  return std::to_string(*numberValue());
}

nlohmann::json ID::toJSON() const {
  if (const auto* text = stringValue()) return *text;
  return *numberValue();
}

ID ID::fromJSON(const nlohmann::json& json) {
  if (json.is_string()) return json.get<std::string>();
  if (json.is_number_integer()) {
    if (json.is_number_unsigned() &&
        json.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
      throw DecodingError::dataCorrupted("ID must be string or number");
    }
    return json.get<std::int64_t>();
  }
  if (json.is_null()) return std::string();
  throw DecodingError::dataCorrupted("ID must be string or number");
}

std::optional<ID> ID::ofMessage(const nlohmann::json& message) {
  if (!message.is_object()) return std::nullopt;
  auto id = message.find("id");
  if (id == message.end()) return std::nullopt;
  if (id->is_string()) return id->get<std::string>();
  if (id->is_number_unsigned() && id->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
    return std::nullopt;
  if (id->is_number_integer()) return id->get<std::int64_t>();
  return std::nullopt;
}

}  // namespace mcp
