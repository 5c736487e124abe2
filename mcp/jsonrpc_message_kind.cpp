#include "mcp/jsonrpc_message_kind.h"

#include "mcp/detail/json_text.h"
#include "mcp/id.h"

namespace mcp {

std::optional<JSONRPCMessageKind> JSONRPCMessageKind::classify(std::string_view bytes) {
  const std::optional<nlohmann::json> json = detail::parseJSON(bytes);
  if (!json) return std::nullopt;
  return classify(*json);
}

std::optional<JSONRPCMessageKind> JSONRPCMessageKind::classify(const nlohmann::json& message) {
  if (!message.is_object()) return std::nullopt;
  const std::optional<ID> id = ID::ofMessage(message);
  const nlohmann::json* method = detail::member(message, "method");
  if (method && method->is_string()) {
    if (id) return JSONRPCMessageKind{Type::request, id->description(), method->get<std::string>()};
    return JSONRPCMessageKind{Type::notification, {}, method->get<std::string>()};
  }
  if (id && (detail::member(message, "result") || detail::member(message, "error")))
    return JSONRPCMessageKind{Type::response, id->description(), {}};
  return std::nullopt;
}

}  // namespace mcp
