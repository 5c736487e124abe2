#include "mcp/jsonrpc_message_kind.h"

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"

namespace mcp {

std::optional<JSONRPCMessageKind> JSONRPCMessageKind::classify(std::string_view bytes) {
  const std::optional<nlohmann::json> json = detail::parseJSON(bytes);
  if (!json || !json->is_object()) return std::nullopt;
  std::optional<std::string> id;
  if (const nlohmann::json* value = detail::member(*json, "id")) {
    if (value->is_string()) {
      id = value->get<std::string>();
    } else if (value->is_number_unsigned()) {
      if (value->get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX)) {
        id = std::to_string(value->get<std::uint64_t>());
      }
    } else if (value->is_number_integer()) {
      id = std::to_string(value->get<std::int64_t>());
    }
  }
  if (const nlohmann::json* method = detail::member(*json, "method");
      method && method->is_string()) {
    if (id) return JSONRPCMessageKind{Type::request, *id, method->get<std::string>()};
    return JSONRPCMessageKind{Type::notification, {}, method->get<std::string>()};
  }
  if ((detail::member(*json, "result") || detail::member(*json, "error")) && id) {
    return JSONRPCMessageKind{Type::response, *id, {}};
  }
  return std::nullopt;
}

}  // namespace mcp
