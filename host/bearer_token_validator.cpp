#include "host/bearer_token_validator.h"

#include <cstddef>
#include <string_view>

namespace melodock {
namespace {

// Compares without an early exit, so the time taken does not tell how much of a
// guessed token was right. Only the length (not secret: always 48) leaks.
bool constantTimeEquals(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) return false;
  unsigned char difference = 0;
  for (std::size_t index = 0; index < left.size(); ++index) {
    difference |= static_cast<unsigned char>(left[index] ^ right[index]);
  }
  return difference == 0;
}

}  // namespace

std::optional<mcp::HTTPResponse> BearerTokenValidator::validate(
    const mcp::HTTPRequest& request, const mcp::HTTPValidationContext& /*context*/) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (auto header = request.header("Authorization");
      header && header->starts_with(kScheme) &&
      constantTimeEquals(header->substr(kScheme.size()), token)) {
    return std::nullopt;
  }
  return mcp::HTTPResponse::error(
      401, mcp::MCPError::invalidRequest("Missing or wrong access token. Copy the connection "
                                         "settings from the Melodock panel."));
}

}  // namespace melodock
