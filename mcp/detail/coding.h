// Helpers for reading and writing the library's records as JSON objects. Readers
// treat a JSON null like a missing key, as optional fields decode; they throw
// DecodingError.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"
#include "mcp/detail/json_text.h"
#include "mcp/value.h"

namespace mcp::detail {

inline const nlohmann::json& requireObject(const nlohmann::json& json, std::string_view what) {
  if (!json.is_object())
    throw DecodingError::dataCorrupted("Expected an object for " + std::string(what));
  return json;
}

inline const nlohmann::json* present(const nlohmann::json& object, std::string_view key) {
  const nlohmann::json* found = member(object, key);
  return found && !found->is_null() ? found : nullptr;
}

inline std::optional<std::string> optionalString(const nlohmann::json& object,
                                                 std::string_view key) {
  const nlohmann::json* found = present(object, key);
  if (!found) return std::nullopt;
  if (!found->is_string()) {
    throw DecodingError::dataCorrupted("Expected a string for \"" + std::string(key) + "\"");
  }
  return found->get<std::string>();
}

inline std::string requiredString(const nlohmann::json& object, std::string_view key) {
  if (!present(object, key)) throw DecodingError::keyNotFound(std::string(key));
  return *optionalString(object, key);
}

inline std::optional<bool> optionalBool(const nlohmann::json& object, std::string_view key) {
  const nlohmann::json* found = present(object, key);
  if (!found) return std::nullopt;
  if (!found->is_boolean()) {
    throw DecodingError::dataCorrupted("Expected a Boolean for \"" + std::string(key) + "\"");
  }
  return found->get<bool>();
}

inline std::optional<Value> optionalValue(const nlohmann::json& object, std::string_view key) {
  const nlohmann::json* found = present(object, key);
  if (!found) return std::nullopt;
  return Value::fromJSON(*found);
}

template <class T>
std::optional<std::vector<T>> optionalArray(const nlohmann::json& object, std::string_view key) {
  const nlohmann::json* found = present(object, key);
  if (!found) return std::nullopt;
  if (!found->is_array()) {
    throw DecodingError::dataCorrupted("Expected an array for \"" + std::string(key) + "\"");
  }
  std::vector<T> elements;
  elements.reserve(found->size());
  for (const auto& element : *found) {
    if constexpr (std::is_same_v<T, std::string>) {
      if (!element.is_string()) {
        throw DecodingError::dataCorrupted("Expected strings in \"" + std::string(key) + "\"");
      }
      elements.push_back(element.get<std::string>());
    } else {
      elements.push_back(T::fromJSON(element));
    }
  }
  return elements;
}

template <class T>
nlohmann::json encode(const T& value) {
  if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, bool>) {
    return value;
  } else if constexpr (requires { value.begin(); }) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& element : value) array.push_back(encode(element));
    return array;
  } else {
    return value.toJSON();
  }
}

// Writes `key` only when `value` is present.
template <class T>
void putOptional(nlohmann::json& object, const char* key, const std::optional<T>& value) {
  if (value) object[key] = encode(*value);
}

}  // namespace mcp::detail
