#include "mcp/detail/json_text.h"

namespace mcp::detail {

std::optional<nlohmann::json> parseJSON(std::string_view text) {
  bool tooDeep = false;
  // The callback's depth is the number of open containers around the event, so a
  // container starting at depth kMaxJSONDepth is the first one past the bound.
  auto limitDepth = [&tooDeep](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
    if ((event == nlohmann::json::parse_event_t::object_start ||
         event == nlohmann::json::parse_event_t::array_start) &&
        depth >= kMaxJSONDepth) {
      tooDeep = true;
    }
    return !tooDeep;
  };
  nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(), limitDepth, false);
  if (tooDeep || parsed.is_discarded()) return std::nullopt;
  return parsed;
}

std::string encodeJSON(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

}  // namespace mcp::detail
