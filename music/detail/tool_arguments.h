// Reading a tool call's arguments: each reader says what a value of the wrong JSON case
// counts as, so the dispatcher states per argument only which reader it uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mcp/value.h"

namespace melodock::detail {

class ToolArguments {
 public:
  // `arguments` must outlive this reader.
  explicit ToolArguments(const mcp::Value::Object& arguments) : arguments_(arguments) {}

  // A non-empty string; anything else throws ToolError "Missing <key>".
  [[nodiscard]] std::string string(std::string_view key) const;
  // The string elements of an array, in order, others skipped; empty when not an array.
  [[nodiscard]] std::vector<std::string> stringArray(std::string_view key) const;
  // An integer as is, a floating-point number truncated toward zero; anything else, and
  // a number that is not finite or lies outside 64 bits, gives `fallback`.
  [[nodiscard]] std::int64_t integer(std::string_view key, std::int64_t fallback) const;
  // A floating-point number as is, an integer converted; anything else gives 0.
  [[nodiscard]] double number(std::string_view key) const;
  // Present only for a value of exactly that JSON case.
  [[nodiscard]] std::optional<std::string> optionalString(std::string_view key) const;
  [[nodiscard]] std::optional<bool> optionalBool(std::string_view key) const;

 private:
  [[nodiscard]] const mcp::Value* find(std::string_view key) const;

  const mcp::Value::Object& arguments_;
};

}  // namespace melodock::detail
