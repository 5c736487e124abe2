#include "mcp/http_request_validators.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/encoded_result.h"
#include "mcp/http_header_name.h"
#include "mcp/modern_request.h"

namespace mcp {
namespace {

HTTPResponse refuse(int status, std::string text, const HTTPValidationContext& context) {
  return HTTPResponse::error(status, MCPError::invalidRequest(std::move(text)), context.sessionID);
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Either the identical text, or for a pattern ending ":*" its text before the "*"
// followed by one or more digits.
bool matchesHeaderPattern(std::string_view pattern, std::string_view value) {
  if (pattern.ends_with(":*")) {
    const std::string_view prefix = pattern.substr(0, pattern.size() - 1);
    if (!value.starts_with(prefix) || value.size() == prefix.size()) return false;
    const std::string_view port = value.substr(prefix.size());
    return std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  }
  return pattern == value;
}

bool allowed(const std::vector<std::string>& patterns, std::string_view value) {
  return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
    return matchesHeaderPattern(pattern, value);
  });
}

bool isMethod(const HTTPValidationContext& context, std::string_view method) {
  return equalsIgnoringCase(context.httpMethod, method);
}

// Whether the comma-separated "Accept" value names `type` in one of its pieces.
bool accepts(std::string_view accept, std::string_view type) {
  while (!accept.empty()) {
    const auto comma = accept.find(',');
    const std::string_view piece = trim(accept.substr(0, comma));
    if (!piece.empty() && piece.starts_with(type)) return true;
    if (comma == std::string_view::npos) break;
    accept.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

OriginValidator OriginValidator::disabled() {
  OriginValidator validator({}, {});
  validator.enabled = false;
  return validator;
}

OriginValidator OriginValidator::localhost(std::optional<std::uint16_t> port) {
  const std::string text = port ? std::to_string(*port) : "*";
  return OriginValidator(
      {"127.0.0.1:" + text, "localhost:" + text, "[::1]:" + text},
      {"http://127.0.0.1:" + text, "http://localhost:" + text, "http://[::1]:" + text});
}

std::optional<HTTPResponse> OriginValidator::validate(const HTTPRequest& request,
                                                      const HTTPValidationContext& context) const {
  if (!enabled) return std::nullopt;
  if (auto host = request.header(HTTPHeaderName::host); host && !allowed(allowedHosts, *host)) {
    return refuse(421, "Misdirected Request: Host header not allowed", context);
  }
  if (auto origin = request.header(HTTPHeaderName::origin);
      origin && !allowed(allowedOrigins, *origin)) {
    return refuse(403, "Forbidden: Origin not allowed", context);
  }
  return std::nullopt;
}

std::optional<HTTPResponse> AcceptHeaderValidator::validate(
    const HTTPRequest& request, const HTTPValidationContext& context) const {
  const std::string_view accept = request.header(HTTPHeaderName::accept).value_or("");
  const bool json = accepts(accept, "application/json");
  const bool sse = accepts(accept, "text/event-stream");
  if (isMethod(context, "POST")) {
    if (mode == Mode::sseRequired && !(json && sse)) {
      return refuse(
          406, "Not Acceptable: Client must accept both application/json and text/event-stream",
          context);
    }
    if (mode == Mode::jsonOnly && !json) {
      return refuse(406, "Not Acceptable: Client must accept application/json", context);
    }
  } else if (isMethod(context, "GET") && !sse) {
    return refuse(406, "Not Acceptable: Client must accept text/event-stream", context);
  }
  return std::nullopt;
}

std::optional<HTTPResponse> ContentTypeValidator::validate(
    const HTTPRequest& request, const HTTPValidationContext& context) const {
  if (!isMethod(context, "POST")) return std::nullopt;
  const std::string_view value = request.header(HTTPHeaderName::contentType).value_or("");
  if (trim(value.substr(0, value.find(';'))) != "application/json") {
    return refuse(415, "Unsupported Media Type: Content-Type must be application/json", context);
  }
  return std::nullopt;
}

std::optional<HTTPResponse> ProtocolVersionValidator::validate(
    const HTTPRequest& request, const HTTPValidationContext& context) const {
  if (context.isInitializationRequest || context.modernMessage) return std::nullopt;
  const auto version = request.header(HTTPHeaderName::protocolVersion);
  if (!version || context.supportedProtocolVersions.contains(*version)) return std::nullopt;
  std::string supported;
  for (const std::string& each : context.supportedProtocolVersions) {  // a sorted set
    if (!supported.empty()) supported += ", ";
    supported += each;
  }
  return refuse(400,
                "Bad Request: Unsupported protocol version: " + std::string(*version) +
                    ". Supported: " + supported,
                context);
}

namespace {

std::string_view stringAt(const nlohmann::json& object, std::string_view key) {
  const nlohmann::json* found = detail::member(object, key);
  return found && found->is_string() ? std::string_view(found->get_ref<const std::string&>())
                                     : std::string_view();
}

// The refusal of one header, or nothing when it carries `expected`.
std::optional<MCPError> headerRefusal(const HTTPRequest& request, std::string_view name,
                                      std::string_view expected, bool encodable) {
  const auto value = request.header(name);
  if (!value) {
    return MCPError::headerMismatch("Header mismatch: Missing required " + std::string(name) +
                                    " header");
  }
  // The usual case, told without decoding: the plain value itself.
  if (*value == expected && !(encodable && value->starts_with("=?base64?"))) return std::nullopt;
  const std::optional<std::string> decoded =
      encodable ? ModernRequest::decodedHeaderValue(*value) : std::optional<std::string>(*value);
  if (!decoded) {
    return MCPError::headerMismatch("Header mismatch: " + std::string(name) +
                                    " header value is not valid Base64");
  }
  if (*decoded == expected) return std::nullopt;
  return MCPError::headerMismatch("Header mismatch: " + std::string(name) + " header value '" +
                                  std::string(*value) + "' does not match body value '" +
                                  std::string(expected) + "'");
}

std::optional<MCPError> modernRefusal(const HTTPRequest& request, const nlohmann::json& message) {
  try {
    ModernRequest::check(message);
  } catch (const MCPError& error) {
    if (error.kind() == MCPError::Kind::invalidParams) return error;
    // An unsupported version is told only once the headers agree with the body.
    const nlohmann::json& meta = message.at("params").at("_meta");
    if (auto refusal = headerRefusal(request, HTTPHeaderName::protocolVersion,
                                     stringAt(meta, ModernRequest::kProtocolVersionKey), false)) {
      return refusal;
    }
    return error;
  }
  if (auto refusal =
          headerRefusal(request, HTTPHeaderName::protocolVersion, ModernRequest::kVersion, false)) {
    return refusal;
  }
  const std::string_view method = stringAt(message, "method");
  if (auto refusal = headerRefusal(request, HTTPHeaderName::method, method, false)) return refusal;
  if (method == "tools/call") {
    return headerRefusal(request, HTTPHeaderName::name, stringAt(message.at("params"), "name"),
                         true);
  }
  return std::nullopt;
}

}  // namespace

std::optional<HTTPResponse> ModernRequestValidator::validate(
    const HTTPRequest& request, const HTTPValidationContext& context) const {
  if (!context.modernMessage) return std::nullopt;
  std::optional<MCPError> refusal = modernRefusal(request, *context.modernMessage);
  if (!refusal) return std::nullopt;
  const ID id = ID::ofMessage(*context.modernMessage).value_or(ID::random());
  return HTTPResponse::data(detail::encodeFailure(id, *refusal),
                            {{"Content-Type", "application/json"}}, 400);
}

const std::vector<std::shared_ptr<HTTPRequestValidator>>& standardValidators() {
  static const std::vector<std::shared_ptr<HTTPRequestValidator>> validators{
      std::make_shared<OriginValidator>(OriginValidator::localhost()),
      std::make_shared<AcceptHeaderValidator>(AcceptHeaderValidator::Mode::jsonOnly),
      std::make_shared<ContentTypeValidator>(),
      std::make_shared<ProtocolVersionValidator>(),
      std::make_shared<ModernRequestValidator>(),
  };
  return validators;
}

}  // namespace mcp
