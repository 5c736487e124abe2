// The dynamic JSON value of tool arguments, tool results and schemas: a closed set of
// cases (null, bool, 64-bit integer, double, text, data bytes, array, object) with
// accessors that yield nothing when the case differs.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace mcp {

class Value {
 public:
  // Bytes with their MIME type; written as a data URL.
  struct Data {
    std::optional<std::string> mimeType;
    std::string bytes;
    bool operator==(const Data&) const = default;
  };
  using Array = std::vector<Value>;
  using Object = std::map<std::string, Value, std::less<>>;
  using Storage =
      std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Array, Object>;

  // Parameters that may be left out default to null.
  static constexpr bool kNotRequired = true;

  Value() = default;
  Value(std::nullptr_t) {}                // NOLINT(google-explicit-constructor)
  Value(bool value) : storage_(value) {}  // NOLINT(google-explicit-constructor)
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) Value(T value)
      : storage_(fromInteger(value)) {}                     // NOLINT(google-explicit-constructor)
  Value(double value) : storage_(value) {}                  // NOLINT(google-explicit-constructor)
  Value(const char* text) : storage_(std::string(text)) {}  // NOLINT(google-explicit-constructor)
  Value(std::string text) : storage_(std::move(text)) {}    // NOLINT(google-explicit-constructor)
  Value(std::string_view text)                              // NOLINT(google-explicit-constructor)
      : storage_(std::string(text)) {}
  Value(Data data) : storage_(std::move(data)) {}        // NOLINT(google-explicit-constructor)
  Value(Array array) : storage_(std::move(array)) {}     // NOLINT(google-explicit-constructor)
  Value(Object object) : storage_(std::move(object)) {}  // NOLINT(google-explicit-constructor)

  // Literal forms: Value::array({1, "two"}), Value::object({{"type", "object"}}).
  static Value array(std::initializer_list<Value> elements) { return Array(elements); }
  static Value object(std::initializer_list<std::pair<const std::string, Value>> members) {
    return Object(members);
  }
  static Value data(std::string bytes, std::optional<std::string> mimeType = std::nullopt) {
    return Data{std::move(mimeType), std::move(bytes)};
  }

  [[nodiscard]] bool isNull() const { return std::holds_alternative<std::monostate>(storage_); }
  [[nodiscard]] std::optional<bool> boolValue() const;
  // No conversion between the two numeric cases.
  [[nodiscard]] std::optional<std::int64_t> intValue() const;
  [[nodiscard]] std::optional<double> doubleValue() const;
  // Pointers into this value, null when the case differs; valid while it is unchanged.
  [[nodiscard]] const std::string* stringValue() const {
    return std::get_if<std::string>(&storage_);
  }
  [[nodiscard]] const Data* dataValue() const { return std::get_if<Data>(&storage_); }
  [[nodiscard]] const Array* arrayValue() const { return std::get_if<Array>(&storage_); }
  [[nodiscard]] const Object* objectValue() const { return std::get_if<Object>(&storage_); }
  // The member `key` of an object, null for a missing key or a value of another case.
  [[nodiscard]] const Value* find(std::string_view key) const;

  [[nodiscard]] const Storage& storage() const { return storage_; }

  // Text form: "" for null, "true"/"false", decimal numbers, the text itself, the data
  // URL, and "[a, b]" / "[key: value]" ("[:]" when empty) for arrays and objects.
  [[nodiscard]] std::string description() const;

  // The JSON form; `data` becomes its data URL string.
  [[nodiscard]] nlohmann::json toJSON() const;
  // Reads any JSON document. A whole number that fits 64 bits becomes `int`, other
  // numbers `double` (so an unsigned integer above INT64_MAX becomes an approximate
  // double); a string that is a decodable data URL becomes `data`.
  static Value fromJSON(const nlohmann::json& json);

  bool operator==(const Value&) const = default;

 private:
  template <std::integral T>
  static Storage fromInteger(T value) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
      if (value > static_cast<T>(INT64_MAX)) return static_cast<double>(value);
    }
    return static_cast<std::int64_t>(value);
  }

  Storage storage_;
};

// Conversions to plain types. With `strict` only the matching case converts. Lenient
// forms: to bool also 0/1, 0.0/1.0 and the texts "true", "yes", "y", "on", "1" and
// "false", "no", "off", "0"; to int a whole double in range or a text that is a whole
// decimal integer; to double an int or a text that is a finite decimal number; to text
// the description of a bool, int or double.
[[nodiscard]] std::optional<bool> toBool(const Value& value, bool strict);
[[nodiscard]] std::optional<std::int64_t> toInt(const Value& value, bool strict);
[[nodiscard]] std::optional<double> toDouble(const Value& value, bool strict);
[[nodiscard]] std::optional<std::string> toText(const Value& value, bool strict);

}  // namespace mcp

template <>
struct std::hash<mcp::Value> {
  std::size_t operator()(const mcp::Value& value) const noexcept;
};
