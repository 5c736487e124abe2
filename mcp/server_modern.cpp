// The server's answers to modern-era requests.
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

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

// The members of the compact JSON object `text`, in order, when it is one with keys
// ascending and no more than `members` can hold; nothing otherwise.
template <std::size_t N>
std::optional<std::size_t> sortedMembersOf(std::string_view text,
                                           std::array<MemberView, N>& members) {
  if (text.size() < 2 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::size_t count = 0;
  std::size_t i = 1;
  while (i < text.size() - 1) {
    if (text[i] != '"' || count == N) return std::nullopt;
    const std::size_t keyEnd = pastString(text, i);
    if (keyEnd == std::string_view::npos || keyEnd >= text.size() || text[keyEnd] != ':') {
      return std::nullopt;
    }
    const std::size_t valueEnd = pastValue(text, keyEnd + 1);
    if (valueEnd == std::string_view::npos) return std::nullopt;
    members[count] = {text.substr(i + 1, keyEnd - i - 2), text.substr(i, valueEnd - i)};
    if (count > 0 && !(members[count - 1].first < members[count].first)) return std::nullopt;
    ++count;
    i = valueEnd;
    if (i < text.size() - 1) {
      if (text[i] != ',') return std::nullopt;
      ++i;
    }
  }
  return count;
}

// `object` with `added` (keys ascending) merged in, keys kept ascending as the library
// writes them; nothing when `object` is not such an object or already holds one of the
// keys. Splicing spares a tool result a parse and a second encoding on every call.
std::optional<std::string> withMembers(std::string_view object, std::span<const MemberView> added) {
  std::array<MemberView, 16> members;
  const std::optional<std::size_t> count = sortedMembersOf(object, members);
  if (!count) return std::nullopt;
  std::size_t size = object.size();
  for (const MemberView& member : added) size += member.second.size() + 1;
  std::string text;
  text.reserve(size);
  text += '{';
  const auto put = [&text](const MemberView& member) {
    if (text.size() > 1) text += ',';
    text += member.second;
  };
  std::size_t a = 0;
  std::size_t b = 0;
  while (a < *count || b < added.size()) {
    if (a < *count && b < added.size() && members[a].first == added[b].first) return std::nullopt;
    if (b == added.size() || (a < *count && members[a].first < added[b].first)) {
      put(members[a++]);
    } else {
      put(added[b++]);
    }
  }
  text += '}';
  return text;
}

// The same for a result whose outer keys are known, when each added key sorts before
// the first or after the last: the members go at the ends, and the text is not read.
std::optional<std::string> withMembersAtEnds(const EncodedResult& result,
                                             std::span<const MemberView> added) {
  const auto keys = result.outerKeys();
  if (!keys) return std::nullopt;
  std::size_t front = 0;
  while (front < added.size() && added[front].first < keys->first) ++front;
  for (std::size_t i = front; i < added.size(); ++i) {
    if (!(keys->second < added[i].first)) return std::nullopt;
  }
  const std::string& object = result.text();
  std::size_t size = object.size();
  for (const MemberView& member : added) size += member.second.size() + 1;
  std::string text;
  text.reserve(size);
  text += '{';
  for (std::size_t i = 0; i < front; ++i) {
    text += added[i].second;
    text += ',';
  }
  text.append(object, 1, object.size() - 2);
  for (std::size_t i = front; i < added.size(); ++i) {
    text += ',';
    text += added[i].second;
  }
  text += '}';
  return text;
}

// `result` with `added` merged in: at its ends when they allow it, else by reading it.
std::optional<std::string> spliced(const EncodedResult& result, std::span<const MemberView> added) {
  if (auto text = withMembersAtEnds(result, added)) return text;
  return withMembers(result.text(), added);
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

std::optional<nlohmann::json> detail::takeEraMeta(nlohmann::json& message) {
  const nlohmann::json* method = detail::member(message, "method");
  if (!method || !method->is_string() || !ID::ofMessage(message) ||
      !ModernRequest::announcedBy(message)) {
    return std::nullopt;
  }
  return splitEraMeta(message);
}

nlohmann::json detail::splitEraMeta(nlohmann::json& message) {
  auto params = message.find("params");
  if (params == message.end() || !params->is_object()) return nlohmann::json();
  auto meta = params->find("_meta");
  if (meta == params->end() || !meta->is_object()) return nlohmann::json();
  const auto isEraKey = [](std::string_view key) {
    return key == ModernRequest::kProtocolVersionKey || key == ModernRequest::kClientInfoKey ||
           key == ModernRequest::kClientCapabilitiesKey;
  };
  // Usually the whole `_meta` is the era's, and moves out at once. Its map is walked
  // directly: the library's iterators were nearly half of the split's cost.
  nlohmann::json era = std::move(*meta);
  auto& members = era.get_ref<nlohmann::json::object_t&>();
  nlohmann::json rest;
  for (auto member = members.begin(); member != members.end();) {
    if (isEraKey(member->first)) {
      ++member;
    } else {
      rest[member->first] = std::move(member->second);
      member = members.erase(member);
    }
  }
  if (rest.is_null()) {
    params->erase(meta);
  } else {
    *meta = std::move(rest);
  }
  return era;
}

asio::awaitable<EncodedResult> Server::Impl::answerModern(Request<AnyMethod> request,
                                                          const nlohmann::json& meta) {
  const ModernRequest modern = ModernRequest::fromMeta(meta.is_object() ? &meta : nullptr);
  if (modernClientHook && modern.clientInfo) co_await modernClientHook(*modern.clientInfo);
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
  std::optional<std::string> text;
  if (method == "tools/list") {
    const std::string ttl = R"("ttlMs":)" + std::to_string(configuration.cacheTTLMilliseconds);
    const std::array<MemberView, 4> added{{
        {"_meta", *infoMember},
        {"cacheScope",
         configuration.cachePublic ? R"("cacheScope":"public")" : R"("cacheScope":"private")"},
        {"resultType", R"("resultType":"complete")"},
        {"ttlMs", ttl},
    }};
    text = spliced(result, added);
  } else {
    const std::array<MemberView, 2> added{{
        {"_meta", *infoMember},
        {"resultType", R"("resultType":"complete")"},
    }};
    text = spliced(result, added);
  }
  if (text) return EncodedResult::ofEncoded(std::move(*text));
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
