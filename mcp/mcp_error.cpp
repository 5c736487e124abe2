#include "mcp/mcp_error.h"

#include <utility>

namespace mcp {
namespace {

std::string withDetail(std::string text, const std::optional<std::string>& detail) {
  if (detail) {
    text += ": ";
    text += *detail;
  }
  return text;
}

}  // namespace

MCPError::MCPError(Kind kind, std::int64_t code, std::optional<std::string> detail,
                   std::vector<URLElicitation> elicitations)
    : kind_(kind), code_(code), detail_(std::move(detail)), elicitations_(std::move(elicitations)) {
  what_ = errorDescription();
}

MCPError MCPError::parseError(std::optional<std::string> detail) {
  return {Kind::parseError, -32700, std::move(detail)};
}
MCPError MCPError::invalidRequest(std::optional<std::string> detail) {
  return {Kind::invalidRequest, -32600, std::move(detail)};
}
MCPError MCPError::methodNotFound(std::optional<std::string> detail) {
  return {Kind::methodNotFound, -32601, std::move(detail)};
}
MCPError MCPError::invalidParams(std::optional<std::string> detail) {
  return {Kind::invalidParams, -32602, std::move(detail)};
}
MCPError MCPError::internalError(std::optional<std::string> detail) {
  return {Kind::internalError, -32603, std::move(detail)};
}
MCPError MCPError::serverError(std::int64_t code, std::string message) {
  return {Kind::serverError, code, std::move(message)};
}
MCPError MCPError::urlElicitationRequired(std::string message,
                                          std::vector<URLElicitation> elicitations) {
  return {Kind::urlElicitationRequired, -32042, std::move(message), std::move(elicitations)};
}
MCPError MCPError::transportError(std::string underlying) {
  return {Kind::transportError, -32001, std::move(underlying)};
}
MCPError MCPError::connectionClosed() { return {Kind::connectionClosed, -32000, std::nullopt}; }

std::int64_t MCPError::code() const { return code_; }

std::string MCPError::errorDescription() const {
  switch (kind_) {
    case Kind::parseError:
      return withDetail("Parse error: Invalid JSON", detail_);
    case Kind::invalidRequest:
      return withDetail("Invalid Request", detail_);
    case Kind::methodNotFound:
      return withDetail("Method not found", detail_);
    case Kind::invalidParams:
      return withDetail("Invalid params", detail_);
    case Kind::internalError:
      return withDetail("Internal error", detail_);
    case Kind::serverError:
      return "Server error: " + detail_.value_or("");
    case Kind::urlElicitationRequired:
      return "URL elicitation required: " + detail_.value_or("");
    case Kind::transportError:
      return "Transport error: " + detail_.value_or("");
    case Kind::connectionClosed:
      return "Connection closed";
  }
  return "Unknown error";
}

std::optional<std::string> MCPError::failureReason() const {
  switch (kind_) {
    case Kind::parseError:
      return "The server received invalid JSON that could not be parsed";
    case Kind::invalidRequest:
      return "The JSON sent is not a valid Request object";
    case Kind::methodNotFound:
      return "The method does not exist or is not available";
    case Kind::invalidParams:
      return "Invalid method parameter(s)";
    case Kind::internalError:
      return "Internal JSON-RPC error";
    case Kind::serverError:
      return "Server-defined error occurred";
    case Kind::urlElicitationRequired:
      return "The server requires user authentication or input via external URL";
    case Kind::transportError:
      return std::nullopt;
    case Kind::connectionClosed:
      return "The connection to the server was closed";
  }
  return std::nullopt;
}

std::optional<std::string> MCPError::recoverySuggestion() const {
  switch (kind_) {
    case Kind::parseError:
      return "Verify that the JSON being sent is valid and well-formed";
    case Kind::invalidRequest:
      return "Ensure the request follows the JSON-RPC 2.0 specification format";
    case Kind::methodNotFound:
      return "Check the method name and ensure it is supported by the server";
    case Kind::invalidParams:
      return "Verify the parameters match the method's expected parameters";
    case Kind::urlElicitationRequired:
      if (elicitations_.empty()) return "Complete the required URL-based elicitation";
      return "Visit " + elicitations_.front().url + " to complete the required authentication or input";
    case Kind::connectionClosed:
      return "Try reconnecting to the server";
    case Kind::internalError:
    case Kind::serverError:
    case Kind::transportError:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace mcp
