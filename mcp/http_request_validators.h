// The standard request checks of the Streamable HTTP transport. Each refusal is an
// error response carrying invalid request with a fixed detail and the context's
// session id.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mcp/http_request_validator.h"

namespace mcp {

// "Host" (421) and then "Origin" (403), when present, must match an allowed pattern:
// either the identical text, or for a pattern ending ":*" its text before the "*"
// followed by one or more digits.
class OriginValidator : public HTTPRequestValidator {
 public:
  OriginValidator(std::vector<std::string> allowedHosts, std::vector<std::string> allowedOrigins)
      : allowedHosts(std::move(allowedHosts)), allowedOrigins(std::move(allowedOrigins)) {}

  // Passes everything.
  static OriginValidator disabled();
  // The loopback names 127.0.0.1, localhost and [::1] with `port`, or any port when
  // none is given.
  static OriginValidator localhost(std::optional<std::uint16_t> port = std::nullopt);

  [[nodiscard]] std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const override;

  std::vector<std::string> allowedHosts;
  std::vector<std::string> allowedOrigins;
  bool enabled = true;
};

// "Accept" must name application/json for a POST (and text/event-stream too in
// `sseRequired` mode), and text/event-stream for a GET.
class AcceptHeaderValidator : public HTTPRequestValidator {
 public:
  enum class Mode { sseRequired, jsonOnly };

  explicit AcceptHeaderValidator(Mode mode) : mode(mode) {}

  [[nodiscard]] std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const override;

  Mode mode;
};

// A POST's "Content-Type" media type must be exactly application/json (415).
class ContentTypeValidator : public HTTPRequestValidator {
 public:
  [[nodiscard]] std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const override;
};

// An earlier-era request other than `initialize` that carries "MCP-Protocol-Version"
// must name a supported version (400).
class ProtocolVersionValidator : public HTTPRequestValidator {
 public:
  [[nodiscard]] std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const override;
};

// A modern-era request must carry its required `_meta` fields (invalid params), and
// "MCP-Protocol-Version", "Mcp-Method" and, for `tools/call`, "Mcp-Name" equal to its
// body's (header mismatch; "Mcp-Name" may come in the "=?base64?...?=" form), and
// must name a version this library speaks (unsupported protocol version). Each
// refusal is a 400 carrying the JSON-RPC error under the request's id.
class ModernRequestValidator : public HTTPRequestValidator {
 public:
  [[nodiscard]] std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const override;
};

// The standard checks that follow a host's own: OriginValidator::localhost(),
// AcceptHeaderValidator in jsonOnly mode, ContentTypeValidator,
// ProtocolVersionValidator and ModernRequestValidator, in that order. They hold no state, so every
// caller shares the same ones.
[[nodiscard]] const std::vector<std::shared_ptr<HTTPRequestValidator>>& standardValidators();

}  // namespace mcp
