// The server's answers to modern-era requests.
#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"

#include "mcp/detail/server_impl.h"
#include "mcp/id.h"
#include "mcp/modern_request.h"

namespace mcp {
namespace {

using MemberView = std::pair<std::string_view, std::string_view>;  // the key, the whole member

// The offset just past the JSON string starting at `at` (its opening quote). A quote
// ends it unless an odd run of backslashes precedes it; memchr finds each quote.
std::size_t pastString(std::string_view text, std::size_t at) {
  for (std::size_t i = text.find('"', at + 1); i != std::string_view::npos;
       i = text.find('"', i + 1)) {
    std::size_t backslashes = 0;
    while (text[i - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return i + 1;
  }
  return std::string_view::npos;
}

// The offset just past the JSON value starting at `at`.
std::size_t pastValue(std::string_view text, std::size_t at) {
  int depth = 0;
  std::size_t i = at;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {
      i = pastString(text, i);
      if (i == std::string_view::npos) return i;
      if (depth == 0) return i;
      continue;
    }
    if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (depth == 0) return i;  // the end of the enclosing object
      if (--depth == 0) return i + 1;
    } else if (c == ',' && depth == 0) {
      return i;
    }
    ++i;
  }
  return std::string_view::npos;
}

// The members of the compact JSON object `text`, in order; nothing when it is not one.
std::optional<std::vector<MemberView>> membersOf(std::string_view text) {
  if (text.size() < 2 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::vector<MemberView> members;
  std::size_t i = 1;
  while (i < text.size() - 1) {
    if (text[i] != '"') return std::nullopt;
    const std::size_t keyEnd = pastString(text, i);
    if (keyEnd == std::string_view::npos || keyEnd >= text.size() || text[keyEnd] != ':') {
      return std::nullopt;
    }
    const std::size_t valueEnd = pastValue(text, keyEnd + 1);
    if (valueEnd == std::string_view::npos) return std::nullopt;
    members.emplace_back(text.substr(i + 1, keyEnd - i - 2), text.substr(i, valueEnd - i));
    i = valueEnd;
    if (i < text.size() - 1) {
      if (text[i] != ',') return std::nullopt;
      ++i;
    }
  }
  return members;
}

// `object` with `added` (keys ascending) merged in, keys kept ascending as the library
// writes them; nothing when `object` cannot be read or already holds one of the keys.
// Splicing spares a tool result a parse and a second encoding on every call.
std::optional<std::string> withMembers(std::string_view object,
                                       const std::vector<MemberView>& added) {
  std::optional<std::vector<MemberView>> members = membersOf(object);
  if (!members) return std::nullopt;
  std::size_t size = object.size();
  for (const MemberView& member : added) {
    for (const MemberView& existing : *members) {
      if (existing.first == member.first) return std::nullopt;
    }
    size += member.second.size() + 1;
  }
  const auto byKey = [](const MemberView& a, const MemberView& b) { return a.first < b.first; };
  std::vector<MemberView> merged;
  merged.reserve(members->size() + added.size());
  if (std::is_sorted(members->begin(), members->end(), byKey)) {
    std::merge(members->begin(), members->end(), added.begin(), added.end(),
               std::back_inserter(merged), byKey);
  } else {
    merged = std::move(*members);
    merged.insert(merged.end(), added.begin(), added.end());
    std::stable_sort(merged.begin(), merged.end(), byKey);
  }
  std::string text;
  text.reserve(size);
  text += '{';
  for (const MemberView& member : merged) {
    if (text.size() > 1) text += ',';
    text += member.second;
  }
  text += '}';
  return text;
}

// The `_meta` member naming the server, written once for each identity rather than
// for every result: a server is made per request, always with the same identity.
std::shared_ptr<const std::string> serverInfoMember(const Implementation& info) {
  static std::mutex mutex;
  static std::optional<Implementation> written;
  static std::shared_ptr<const std::string> member;
  std::lock_guard lock(mutex);
  if (!written || *written != info) {
    member = std::make_shared<const std::string>(R"("_meta":{")" +
                                                 std::string(ModernRequest::kServerInfoKey) +
                                                 R"(":)" + detail::encodeJSON(info.toJSON()) + "}");
    written = info;
  }
  return member;
}

}  // namespace

bool detail::mayBeModern(const Request<AnyMethod>& request) {
  if (request.method == ModernRequest::kDiscover) return true;
  const Value* meta = request.params.find("_meta");
  return meta && meta->objectValue();
}

nlohmann::json detail::eraEnvelope(const Request<AnyMethod>& request) {
  nlohmann::json envelope = {{"method", request.method}};
  if (const Value* meta = request.params.find("_meta")) {
    envelope["params"] = {{"_meta", meta->toJSON()}};
  }
  return envelope;
}

std::optional<nlohmann::json> detail::takeEraEnvelope(nlohmann::json& message) {
  const nlohmann::json* method = detail::member(message, "method");
  if (!method || !method->is_string() || !ID::ofMessage(message) ||
      !ModernRequest::announcedBy(message)) {
    return std::nullopt;
  }
  nlohmann::json envelope(nlohmann::json::value_t::object);
  envelope["method"] = *method;
  auto params = message.find("params");
  if (params == message.end() || !params->is_object()) return envelope;
  auto meta = params->find("_meta");
  if (meta == params->end() || !meta->is_object()) return envelope;
  // The whole `_meta` moves, and what is not the era's own goes back to the request.
  nlohmann::json era = std::move(*meta);
  params->erase(meta);
  nlohmann::json rest;
  for (auto member = era.begin(); member != era.end();) {
    const std::string& key = member.key();
    if (key == ModernRequest::kProtocolVersionKey || key == ModernRequest::kClientInfoKey ||
        key == ModernRequest::kClientCapabilitiesKey) {
      ++member;
    } else {
      rest[key] = std::move(*member);
      member = era.erase(member);
    }
  }
  if (!rest.is_null()) (*params)["_meta"] = std::move(rest);
  nlohmann::json eraParams(nlohmann::json::value_t::object);
  eraParams["_meta"] = std::move(era);
  envelope["params"] = std::move(eraParams);
  return envelope;
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
  // Written by hand: the keys are plain ASCII and the values the library's own encoding.
  const std::shared_ptr<const std::string> infoMember = serverInfoMember(serverInfo);
  std::vector<MemberView> added{{"_meta", *infoMember}};
  std::string ttl;
  if (method == "tools/list") {
    ttl = R"("ttlMs":)" + std::to_string(configuration.cacheTTLMilliseconds);
    added.emplace_back("cacheScope", configuration.cachePublic ? R"("cacheScope":"public")"
                                                               : R"("cacheScope":"private")");
    added.emplace_back("resultType", R"("resultType":"complete")");
    added.emplace_back("ttlMs", ttl);
  } else {
    added.emplace_back("resultType", R"("resultType":"complete")");
  }
  if (std::optional<std::string> spliced = withMembers(result.text(), added)) {
    return EncodedResult::ofEncoded(std::move(*spliced));
  }
  // A result with a `_meta` of its own: merged the slow way.
  nlohmann::json json = nlohmann::json::parse(result.text());
  json["resultType"] = "complete";
  nlohmann::json& meta = json["_meta"];
  if (!meta.is_object()) meta = nlohmann::json::object();
  meta[ModernRequest::kServerInfoKey] = serverInfo.toJSON();
  if (method == "tools/list") putCacheHints(json);
  return EncodedResult(json);
}

}  // namespace mcp
