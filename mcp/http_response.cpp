#include "mcp/http_response.h"

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/detail/overloaded.h"

namespace mcp {
int HTTPResponse::statusCode() const {
  return std::visit(detail::Overloaded{[](const Accepted&) { return 202; },
                                       [](const Error& e) { return e.statusCode; },
                                       [](const Data& d) { return d.statusCode; },
                                       [](const auto&) { return 200; }},
                    case_);
}

const HTTPHeaders* HTTPResponse::storedHeaders() const {
  return std::visit(
      [](const auto& c) -> const HTTPHeaders* {
        if constexpr (requires { c.headers; }) {
          return &c.headers;
        } else {
          return nullptr;
        }
      },
      case_);
}

HTTPHeaders HTTPResponse::headers() const {
  if (const HTTPHeaders* stored = storedHeaders()) return *stored;
  const auto& e = std::get<Error>(case_);
  HTTPHeaders headers{{"Content-Type", "application/json"}};
  if (e.sessionID) headers["MCP-Session-Id"] = *e.sessionID;
  for (const auto& [name, value] : e.extraHeaders) {
    const std::string& replaced = name;  // clang 14 cannot capture a binding
    std::erase_if(headers,
                  [&](const auto& entry) { return equalsIgnoringCase(entry.first, replaced); });
    headers[name] = value;
  }
  return headers;
}

const std::string* HTTPResponse::storedBody() const {
  const auto* data = std::get_if<Data>(&case_);
  return data ? &data->bytes : nullptr;
}

std::optional<std::string> HTTPResponse::bodyData() const {
  if (const std::string* bytes = storedBody()) return *bytes;
  const auto* error = std::get_if<Error>(&case_);
  if (!error) return std::nullopt;
  // An HTTP-level refusal carries only the code and the message, never `data`.
  const nlohmann::json body = {
      {"jsonrpc", "2.0"},
      {"error", {{"code", error->error.code()}, {"message", error->error.errorDescription()}}},
      {"id", nullptr}};
  return detail::encodeJSON(body);
}

}  // namespace mcp
