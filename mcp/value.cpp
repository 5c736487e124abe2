#include "mcp/value.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "base/percent_encoding.h"
#include "mcp/decoding_error.h"
#include "mcp/detail/base64.h"
#include "mcp/detail/overloaded.h"

namespace mcp {
namespace {

using detail::Overloaded;

std::string doubleText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  std::array<char, 64> buffer{};
  auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  std::string text(buffer.data(), end);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

bool isTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$&^_.+-").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!isTokenChar(c)) return false;
  }
  return true;
}

bool isMediaType(std::string_view text) {
  const auto slash = text.find('/');
  return slash != std::string_view::npos && isToken(text.substr(0, slash)) &&
         isToken(text.substr(slash + 1));
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// `value` as an int64 when it is whole and inside [-2^63, 2^63).
std::optional<std::int64_t> exactInteger(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!std::isfinite(value) || std::trunc(value) != value) return std::nullopt;
  if (value < -kLimit || value >= kLimit) return std::nullopt;
  return static_cast<std::int64_t>(value);
}

// "data:", the MIME type or "text/plain", ";base64,", Base64.
std::string dataURL(const Value::Data& data) {
  return "data:" + data.mimeType.value_or("text/plain") + ";base64," +
         detail::base64Encode(data.bytes);
}

// The MIME type and bytes of a whole-string data URL, or nothing when `text` is not
// one or its payload does not decode.
std::optional<Value::Data> parseDataURL(std::string_view text) {
  if (!startsWith(text, "data:")) return std::nullopt;
  text.remove_prefix(5);
  const auto comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view header = text.substr(0, comma);
  const std::string_view payload = text.substr(comma + 1);

  // header: [type/subtype][;charset=token][;base64]
  std::string_view mediaType = header.substr(0, header.find(';'));
  header.remove_prefix(mediaType.size());
  if (!mediaType.empty() && !isMediaType(mediaType)) return std::nullopt;
  std::optional<std::string_view> charset;
  if (startsWith(header, ";charset=")) {
    header.remove_prefix(9);
    charset = header.substr(0, header.find(';'));
    header.remove_prefix(charset->size());
    if (!isToken(*charset)) return std::nullopt;
  }
  const bool base64 = header == ";base64";
  if (!base64 && !header.empty()) return std::nullopt;

  std::string mimeType = mediaType.empty() ? "text/plain" : std::string(mediaType);
  if (charset && startsWith(mimeType, "text/")) {
    mimeType += ";charset=";
    mimeType += *charset;
  }
  std::optional<std::string> bytes =
      base64 ? detail::base64Decode(payload) : melodock::percentDecoded(payload);
  if (!bytes) return std::nullopt;
  return Value::Data{std::move(mimeType), std::move(*bytes)};
}

}  // namespace

std::optional<bool> Value::boolValue() const {
  if (const bool* value = std::get_if<bool>(&storage_)) return *value;
  return std::nullopt;
}

std::optional<std::int64_t> Value::intValue() const {
  if (const std::int64_t* value = std::get_if<std::int64_t>(&storage_)) return *value;
  return std::nullopt;
}

std::optional<double> Value::doubleValue() const {
  if (const double* value = std::get_if<double>(&storage_)) return *value;
  return std::nullopt;
}

const Value* Value::find(std::string_view key) const {
  const Object* object = objectValue();
  if (!object) return nullptr;
  auto found = object->find(key);
  return found == object->end() ? nullptr : &found->second;
}

std::string Value::description() const {
  return std::visit(Overloaded{
                        [](std::monostate) { return std::string(); },
                        [](bool value) { return std::string(value ? "true" : "false"); },
                        [](std::int64_t value) { return std::to_string(value); },
                        [](double value) { return doubleText(value); },
                        [](const std::string& value) { return value; },
                        [](const Data& value) { return dataURL(value); },
                        [](const Array& value) {
                          std::string text = "[";
                          for (std::size_t i = 0; i < value.size(); ++i) {
                            if (i > 0) text += ", ";
                            text += value[i].description();
                          }
                          return text + "]";
                        },
                        [](const Object& value) {
                          if (value.empty()) return std::string("[:]");
                          std::string text = "[";
                          for (const auto& [key, member] : value) {
                            if (text.size() > 1) text += ", ";
                            text += key + ": " + member.description();
                          }
                          return text + "]";
                        },
                    },
                    storage_);
}

nlohmann::json Value::toJSON() const {
  return std::visit(Overloaded{
                        [](std::monostate) { return nlohmann::json(nullptr); },
                        [](const Data& value) { return nlohmann::json(dataURL(value)); },
                        [](const Array& value) {
                          nlohmann::json array = nlohmann::json::array();
                          for (const Value& element : value) array.push_back(element.toJSON());
                          return array;
                        },
                        [](const Object& value) {
                          nlohmann::json object = nlohmann::json::object();
                          for (const auto& [key, member] : value) object[key] = member.toJSON();
                          return object;
                        },
                        [](const auto& value) { return nlohmann::json(value); },
                    },
                    storage_);
}

Value Value::fromJSON(const nlohmann::json& json) {
  using Type = nlohmann::json::value_t;
  switch (json.type()) {
    case Type::null:
      return nullptr;
    case Type::boolean:
      return json.get<bool>();
    case Type::number_integer:
      return json.get<std::int64_t>();
    case Type::number_unsigned: {
      const auto value = json.get<std::uint64_t>();
      if (value <= static_cast<std::uint64_t>(INT64_MAX)) return static_cast<std::int64_t>(value);
      return static_cast<double>(value);
    }
    case Type::number_float: {
      const auto value = json.get<double>();
      if (auto whole = exactInteger(value)) return *whole;
      return value;
    }
    case Type::string: {
      const auto& text = json.get_ref<const std::string&>();
      if (auto data = parseDataURL(text)) return std::move(*data);
      return text;
    }
    case Type::array: {
      Array array;
      array.reserve(json.size());
      for (const auto& element : json) array.push_back(fromJSON(element));
      return array;
    }
    case Type::object: {
      Object object;
      // The map itself: items() wraps every member in a proxy on the way.
      for (const auto& [key, member] : json.get_ref<const nlohmann::json::object_t&>()) {
        object.emplace(key, fromJSON(member));
      }
      return object;
    }
    case Type::binary:
    case Type::discarded:
      break;
  }
  throw DecodingError::dataCorrupted("Value type not found");
}

std::optional<bool> toBool(const Value& value, bool strict) {
  if (auto flag = value.boolValue()) return flag;
  if (strict) return std::nullopt;
  if (auto number = value.intValue()) {
    if (*number == 0 || *number == 1) return *number == 1;
    return std::nullopt;
  }
  if (auto number = value.doubleValue()) {
    if (*number == 0.0 || *number == 1.0) return *number == 1.0;
    return std::nullopt;
  }
  if (const std::string* text = value.stringValue()) {
    for (std::string_view yes : {"true", "yes", "y", "on", "1"}) {
      if (*text == yes) return true;
    }
    for (std::string_view no : {"false", "no", "off", "0"}) {
      if (*text == no) return false;
    }
  }
  return std::nullopt;
}

std::optional<std::int64_t> toInt(const Value& value, bool strict) {
  if (auto number = value.intValue()) return number;
  if (strict) return std::nullopt;
  if (auto number = value.doubleValue()) return exactInteger(*number);
  if (const std::string* text = value.stringValue()) {
    std::int64_t number = 0;
    const char* end = text->data() + text->size();
    auto [stop, error] = std::from_chars(text->data(), end, number);
    if (error == std::errc() && stop == end && !text->empty()) return number;
  }
  return std::nullopt;
}

std::optional<double> toDouble(const Value& value, bool strict) {
  if (auto number = value.doubleValue()) return number;
  if (strict) return std::nullopt;
  if (auto number = value.intValue()) return static_cast<double>(*number);
  if (const std::string* text = value.stringValue()) {
    double number = 0;
    const char* end = text->data() + text->size();
    auto [stop, error] = std::from_chars(text->data(), end, number);
    if (error == std::errc() && stop == end && !text->empty() && std::isfinite(number)) {
      return number;
    }
  }
  return std::nullopt;
}

std::optional<std::string> toText(const Value& value, bool strict) {
  if (const std::string* text = value.stringValue()) return *text;
  if (strict) return std::nullopt;
  if (value.boolValue() || value.intValue() || value.doubleValue()) return value.description();
  return std::nullopt;
}

}  // namespace mcp

std::size_t std::hash<mcp::Value>::operator()(const mcp::Value& value) const noexcept {
  auto combine = [](std::size_t seed, std::size_t next) -> std::size_t {
    return seed ^ (next + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
  };
  const std::size_t index = value.storage().index();
  return std::visit(
      mcp::detail::Overloaded{
          [&](std::monostate) { return index; },
          [&](const mcp::Value::Data& data) {
            return combine(combine(index, std::hash<std::string>()(data.bytes)),
                           std::hash<std::string>()(data.mimeType.value_or("")));
          },
          [&](const mcp::Value::Array& array) {
            std::size_t seed = index;
            for (const auto& element : array) seed = combine(seed, (*this)(element));
            return seed;
          },
          [&](const mcp::Value::Object& object) {
            std::size_t seed = index;
            for (const auto& [key, member] : object) {
              seed = combine(combine(seed, std::hash<std::string>()(key)), (*this)(member));
            }
            return seed;
          },
          [&](const auto& scalar) {
            return combine(index, std::hash<std::decay_t<decltype(scalar)>>()(scalar));
          },
      },
      value.storage());
}
