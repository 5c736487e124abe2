#include "music/detail/tool_arguments.h"

#include <cmath>

#include "music/tool_error.h"

namespace melodock::detail {
namespace {

constexpr std::string_view kMissing = "Missing ";

// 2^63, exactly representable: doubles in [-2^63, 2^63) convert to int64 without overflow.
constexpr double kInt64Bound = 9223372036854775808.0;

}  // namespace

const mcp::Value* ToolArguments::find(std::string_view key) const {
  auto found = arguments_.find(key);
  return found == arguments_.end() ? nullptr : &found->second;
}

std::string ToolArguments::string(std::string_view key) const {
  const mcp::Value* value = find(key);
  const std::string* text = value ? value->stringValue() : nullptr;
  if (!text || text->empty()) throw ToolError(std::string(kMissing) + std::string(key));
  return *text;
}

std::vector<std::string> ToolArguments::stringArray(std::string_view key) const {
  std::vector<std::string> strings;
  const mcp::Value* value = find(key);
  const mcp::Value::Array* array = value ? value->arrayValue() : nullptr;
  if (!array) return strings;
  for (const mcp::Value& element : *array) {
    if (const std::string* text = element.stringValue()) strings.push_back(*text);
  }
  return strings;
}

std::int64_t ToolArguments::integer(std::string_view key, std::int64_t fallback) const {
  const mcp::Value* value = find(key);
  if (!value) return fallback;
  if (auto whole = value->intValue()) return *whole;
  if (auto number = value->doubleValue()) {
    const double truncated = std::trunc(*number);
    // NaN fails both comparisons.
    if (truncated >= -kInt64Bound && truncated < kInt64Bound) {
      return static_cast<std::int64_t>(truncated);
    }
  }
  return fallback;
}

double ToolArguments::number(std::string_view key) const {
  const mcp::Value* value = find(key);
  if (!value) return 0;
  if (auto number = value->doubleValue()) return *number;
  if (auto whole = value->intValue()) return static_cast<double>(*whole);
  return 0;
}

std::optional<std::string> ToolArguments::optionalString(std::string_view key) const {
  const mcp::Value* value = find(key);
  const std::string* text = value ? value->stringValue() : nullptr;
  if (!text) return std::nullopt;
  return *text;
}

std::optional<bool> ToolArguments::optionalBool(std::string_view key) const {
  const mcp::Value* value = find(key);
  return value ? value->boolValue() : std::nullopt;
}

}  // namespace melodock::detail
