// One check of an incoming HTTP request before the MCP logic sees it, and the
// ordered pipeline of such checks. The first refusal decides the HTTP answer.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mcp/http_request.h"
#include "mcp/http_response.h"

namespace mcp {

// What a validator is told besides the request.
struct HTTPValidationContext {
  std::string httpMethod{};
  std::optional<std::string> sessionID{};  // always absent in stateless mode
  bool isInitializationRequest = false;
  std::set<std::string, std::less<>> supportedProtocolVersions{};
  // The parsed message when it is a request of the modern era (ModernRequest), whose
  // headers follow that era's rules; nullptr otherwise.
  const nlohmann::json* modernMessage = nullptr;
};

class HTTPRequestValidator {
 public:
  virtual ~HTTPRequestValidator() = default;
  // Nothing when `request` passes; otherwise the response to send instead.
  [[nodiscard]] virtual std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const = 0;
};

class HTTPRequestValidationPipeline {
 public:
  virtual ~HTTPRequestValidationPipeline() = default;
  [[nodiscard]] virtual std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const = 0;
};

// Runs `validators` in order and returns the first refusal; an empty list passes all.
class StandardValidationPipeline : public HTTPRequestValidationPipeline {
 public:
  explicit StandardValidationPipeline(std::vector<std::shared_ptr<HTTPRequestValidator>> validators)
      : validators(std::move(validators)) {}

  [[nodiscard]] std::optional<HTTPResponse> validate(
      const HTTPRequest& request, const HTTPValidationContext& context) const override {
    for (const auto& validator : validators) {
      if (auto refusal = validator->validate(request, context)) return refusal;
    }
    return std::nullopt;
  }

  std::vector<std::shared_ptr<HTTPRequestValidator>> validators;
};

}  // namespace mcp
