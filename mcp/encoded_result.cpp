#include "mcp/encoded_result.h"

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
  static const auto empty = std::make_shared<const std::string>("{}");
  text_ = empty;
}

EncodedResult::EncodedResult(const nlohmann::json& result) {
  text_ = std::make_shared<const std::string>(detail::encodeJSON(Value::fromJSON(result).toJSON()));
}

EncodedResult EncodedResult::ofEncoded(std::string text) {
  EncodedResult result;
  result.text_ = std::make_shared<const std::string>(std::move(text));
  return result;
}

}  // namespace mcp
