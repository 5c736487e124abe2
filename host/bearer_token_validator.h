// The first check on every request: the access token from the settings, sent as
// "Authorization: Bearer <token>".
#pragma once

#include <optional>
#include <string>

#include "mcp/http_request_validator.h"

namespace melodock {

class BearerTokenValidator : public mcp::HTTPRequestValidator {
 public:
  explicit BearerTokenValidator(std::string token) : token(std::move(token)) {}

  // Passes only the exact value "Bearer " + token: the scheme's case and the single
  // space matter, nothing is trimmed. Anything else is a 401.
  [[nodiscard]] std::optional<mcp::HTTPResponse> validate(
      const mcp::HTTPRequest& request, const mcp::HTTPValidationContext& context) const override;

  std::string token;
};

}  // namespace melodock
