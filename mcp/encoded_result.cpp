#include "mcp/encoded_result.h"

#include <cstdint>

#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"
#include "mcp/detail/json_text.h"
#include "mcp/value.h"

namespace mcp {
namespace detail {

void normalizeAsValue(nlohmann::json& json) {
  using Type = nlohmann::json::value_t;
  switch (json.type()) {
    case Type::null:
    case Type::boolean:
    case Type::number_integer:
      return;
    case Type::number_unsigned: {
      const auto value = json.get<std::uint64_t>();
      if (value <= static_cast<std::uint64_t>(INT64_MAX)) {
        json = static_cast<std::int64_t>(value);
      } else {
        json = static_cast<double>(value);
      }
      return;
    }
    case Type::number_float: {
      if (auto whole = exactInteger(json.get<double>())) json = *whole;
      return;
    }
    case Type::string: {
      auto& text = json.get_ref<std::string&>();
      // Cheap test first: almost no string is a data URL.
      if (text.starts_with("data:")) {
        if (auto data = parseDataURL(text)) text = dataURL(*data);
      }
      return;
    }
    case Type::array:
    case Type::object:
      for (auto& element : json) normalizeAsValue(element);
      return;
    case Type::binary:
    case Type::discarded:
      break;
  }
  throw DecodingError::dataCorrupted("Value type not found");
}

std::string encodeSuccess(const ID& id, const EncodedResult& result) {
  std::string text = R"({"id":)";
  text += encodeJSON(id.toJSON());
  text += R"(,"jsonrpc":"2.0","result":)";
  text += result.text();
  text += '}';
  return text;
}

std::string encodeFailure(const ID& id, const MCPError& error) {
  const nlohmann::json message = {
      {"jsonrpc", "2.0"}, {"id", id.toJSON()}, {"error", error.toJSON()}};
  return encodeJSON(message);
}

}  // namespace detail

EncodedResult::EncodedResult() {
  static const auto empty = std::make_shared<const std::string>("{}");
  text_ = empty;
}

EncodedResult::EncodedResult(nlohmann::json result) {
  detail::normalizeAsValue(result);
  text_ = std::make_shared<const std::string>(detail::encodeJSON(result));
}

}  // namespace mcp
