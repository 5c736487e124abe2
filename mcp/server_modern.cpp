// The server's answers to modern-era requests.
#include <nlohmann/json.hpp>

#include "mcp/detail/server_impl.h"
#include "mcp/modern_request.h"

namespace mcp {

bool detail::mayBeModern(const Request<AnyMethod>& request) {
  if (request.method == ModernRequest::kDiscover) return true;
  const Value* meta = request.params.find("_meta");
  return meta && meta->objectValue();
}

asio::awaitable<EncodedResult> Server::Impl::answerModern(Request<AnyMethod> request,
                                                          const nlohmann::json& message) {
  const ModernRequest meta = ModernRequest::read(message);
  if (modernClientHook && meta.clientInfo) co_await modernClientHook(*meta.clientInfo);
  const std::string method = request.method;
  if (method == ModernRequest::kDiscover) co_return discoverResult();
  // The handshake and its liveness check belong to the earlier era only.
  auto found = methodHandlers.find(method);
  if (method == "initialize" || method == "ping" || found == methodHandlers.end()) {
    throw MCPError::methodNotFound("Unknown method: " + method);
  }
  RequestHandler handler = found->second;
  HandlerContext context{request.id, nullptr};
  if (connection) context.httpContext = co_await connection->httpRequestContext(request.id);
  const EncodedResult result = co_await handler(std::move(request), std::move(context));
  co_return modernResult(result, method);
}

void Server::Impl::putCacheHints(nlohmann::json& result) const {
  result["ttlMs"] = configuration.cacheTTLMilliseconds;
  result["cacheScope"] = configuration.cachePublic ? "public" : "private";
}

EncodedResult Server::Impl::discoverResult() const {
  nlohmann::json result = {
      {"resultType", "complete"},
      {"supportedVersions", ModernRequest::supportedVersions()},
      {"capabilities", capabilities.toJSON()},
      {"_meta", {{ModernRequest::kServerInfoKey, serverInfo.toJSON()}}},
  };
  if (instructions) result["instructions"] = *instructions;
  putCacheHints(result);
  return EncodedResult(result);
}

EncodedResult Server::Impl::modernResult(const EncodedResult& result,
                                         std::string_view method) const {
  // The library's own encoding: always one JSON object.
  nlohmann::json json = nlohmann::json::parse(result.text());
  json["resultType"] = "complete";
  nlohmann::json& meta = json["_meta"];
  if (!meta.is_object()) meta = nlohmann::json::object();
  meta[ModernRequest::kServerInfoKey] = serverInfo.toJSON();
  if (method == "tools/list") putCacheHints(json);
  return EncodedResult(json);
}

}  // namespace mcp
