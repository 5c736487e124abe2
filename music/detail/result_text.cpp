#include "music/detail/result_text.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace melodock::detail {
namespace {

constexpr const char* kUnwritable = "{}";

// nlohmann writes NaN and infinities as null, which would silently change the value.
bool numbersAreFinite(const mcp::Value& value) {
  if (auto number = value.doubleValue()) return std::isfinite(*number);
  if (const auto* array = value.arrayValue()) {
    for (const mcp::Value& element : *array) {
      if (!numbersAreFinite(element)) return false;
    }
  }
  if (const auto* object = value.objectValue()) {
    for (const auto& [key, member] : *object) {
      if (!numbersAreFinite(member)) return false;
    }
  }
  return true;
}

}  // namespace

std::string resultText(const mcp::Value& value) {
  if (!numbersAreFinite(value)) return kUnwritable;
  try {
    return value.toJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::type_error&) {
    return kUnwritable;  // a string or key that is not UTF-8
  }
}

}  // namespace melodock::detail
