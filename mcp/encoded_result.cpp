#include "mcp/encoded_result.h"

#include <iterator>

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/value.h"

namespace mcp {
namespace detail {

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
  static const auto empty = std::make_shared<const Text>(Text{"{}"});
  text_ = empty;
}

EncodedResult::EncodedResult(const nlohmann::json& result) {
  const nlohmann::json canonical = Value::fromJSON(result).toJSON();
  Text text{detail::encodeJSON(canonical)};
  // The encoder writes an object's members in its map's order, so these are the keys
  // the text starts and ends with.
  if (canonical.is_object() && !canonical.empty()) {
    text.outerKeys.emplace(canonical.begin().key(), std::prev(canonical.end()).key());
  }
  text_ = std::make_shared<const Text>(std::move(text));
}

EncodedResult EncodedResult::ofEncoded(std::string text) {
  EncodedResult result;
  result.text_ = std::make_shared<const Text>(Text{std::move(text)});
  return result;
}

std::optional<std::pair<std::string_view, std::string_view>> EncodedResult::outerKeys() const {
  if (!text_->outerKeys) return std::nullopt;
  return std::pair<std::string_view, std::string_view>(text_->outerKeys->first,
                                                       text_->outerKeys->second);
}

}  // namespace mcp
