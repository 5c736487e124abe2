#include "mcp/http_response.h"

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"

namespace mcp {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

int HTTPResponse::statusCode() const {
  return std::visit(
      Overloaded{[](const Accepted&) { return 202; }, [](const Error& e) { return e.statusCode; },
                 [](const auto&) { return 200; }},
      case_);
}

HTTPHeaders HTTPResponse::headers() const {
  return std::visit(Overloaded{[](const Error& e) {
                                 HTTPHeaders headers{{"Content-Type", "application/json"}};
                                 if (e.sessionID) headers["MCP-Session-Id"] = *e.sessionID;
                                 for (const auto& [name, value] : e.extraHeaders) {
                                   std::erase_if(headers, [&](const auto& entry) {
                                     return equalsIgnoringCase(entry.first, name);
                                   });
                                   headers[name] = value;
                                 }
                                 return headers;
                               },
                               [](const auto& c) { return c.headers; }},
                    case_);
}

std::optional<std::string> HTTPResponse::bodyData() const {
  if (const auto* data = std::get_if<Data>(&case_)) return data->bytes;
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
