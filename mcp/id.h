// A JSON-RPC request identifier: text or a 64-bit integer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include <nlohmann/json_fwd.hpp>

namespace mcp {

class ID {
 public:
  ID(std::string text) : value_(std::move(text)) {}    // NOLINT(google-explicit-constructor)
  ID(const char* text) : value_(std::string(text)) {}  // NOLINT(google-explicit-constructor)
  ID(std::int64_t number) : value_(number) {}          // NOLINT(google-explicit-constructor)
  ID(int number) : value_(std::int64_t{number}) {}     // NOLINT(google-explicit-constructor)

  // A string ID holding a new random UUID in upper-case canonical form.
  static ID random();

  [[nodiscard]] const std::string* stringValue() const { return std::get_if<std::string>(&value_); }
  [[nodiscard]] const std::int64_t* numberValue() const {
    return std::get_if<std::int64_t>(&value_);
  }
  // The text itself or the decimal number; "1" and 1 share this form.
  [[nodiscard]] std::string description() const;

  [[nodiscard]] nlohmann::json toJSON() const;
  // A string, an integer within int64, or null (read as the empty string); anything
  // else throws DecodingError "ID must be string or number".
  static ID fromJSON(const nlohmann::json& json);
  // The `id` member of a message when it is a string or an integer within int64.
  static std::optional<ID> ofMessage(const nlohmann::json& message);

  bool operator==(const ID&) const = default;
  // The defaulted comparison is compared with a literal 0 inside, which clang-tidy
  // mistakes for a null pointer.
  auto operator<=>(const ID&) const = default;  // NOLINT(modernize-use-nullptr)

 private:
  std::variant<std::string, std::int64_t> value_;
};

}  // namespace mcp

template <>
struct std::hash<mcp::ID> {
  std::size_t operator()(const mcp::ID& id) const noexcept {
    if (const auto* text = id.stringValue()) return std::hash<std::string>()(*text);
    return std::hash<std::int64_t>()(*id.numberValue()) ^ 0x5bd1e995U;
  }
};
