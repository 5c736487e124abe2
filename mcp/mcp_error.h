// The protocol library's error: one closed set of cases, each with its JSON-RPC code
// and fixed texts. Thrown by handlers and validators, turned into a JSON-RPC error
// object exactly once, where a response is built.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace mcp {

// One URL elicitation a server may ask the client to complete.
struct URLElicitation {
  std::string mode;
  std::string elicitationId;
  std::string url;
  std::string message;
  bool operator==(const URLElicitation&) const = default;
};

class MCPError : public std::exception {
 public:
  enum class Kind {
    parseError,
    invalidRequest,
    methodNotFound,
    invalidParams,
    internalError,
    serverError,
    urlElicitationRequired,
    transportError,
    connectionClosed,
    headerMismatch,
    unsupportedProtocolVersion,
  };

  static MCPError parseError(std::optional<std::string> detail = std::nullopt);
  static MCPError invalidRequest(std::optional<std::string> detail = std::nullopt);
  static MCPError methodNotFound(std::optional<std::string> detail = std::nullopt);
  static MCPError invalidParams(std::optional<std::string> detail = std::nullopt);
  static MCPError internalError(std::optional<std::string> detail = std::nullopt);
  static MCPError serverError(std::int64_t code, std::string message);
  static MCPError urlElicitationRequired(std::string message,
                                         std::vector<URLElicitation> elicitations);
  // `underlying` is the localized description of the error that caused it.
  static MCPError transportError(std::string underlying);
  static MCPError connectionClosed();
  // The modern era's refusal of a request whose HTTP headers disagree with its body;
  // `message` is the whole wire text.
  static MCPError headerMismatch(std::string message);
  // The modern era's refusal of a protocol version: `data` names the `supported`
  // versions and the `requested` one.
  static MCPError unsupportedProtocolVersion(std::string requested,
                                             std::vector<std::string> supported);

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] std::int64_t code() const;
  // The text put on the wire as the JSON-RPC `message`.
  [[nodiscard]] std::string errorDescription() const;
  // The detail of the five detail-carrying cases, the message of serverError and
  // urlElicitationRequired, the underlying description of transportError.
  [[nodiscard]] const std::optional<std::string>& detail() const { return detail_; }
  [[nodiscard]] const std::vector<URLElicitation>& elicitations() const { return elicitations_; }
  // The versions an unsupportedProtocolVersion names; its detail() is the requested one.
  [[nodiscard]] const std::vector<std::string>& supportedVersions() const { return supported_; }

  // The JSON-RPC `error` object: `code`, `message` and, for the cases that carry one,
  // `data` (`{"detail": ...}` for the five detail cases when a detail is present).
  [[nodiscard]] nlohmann::json toJSON() const;
  // Reads a peer's error object; codes outside the table become serverError. Throws
  // DecodingError when `code` is not an integer or `message` not a string.
  static MCPError fromJSON(const nlohmann::json& json);

  const char* what() const noexcept override { return what_.c_str(); }

  bool operator==(const MCPError& other) const {
    return kind_ == other.kind_ && code_ == other.code_ && detail_ == other.detail_ &&
           elicitations_ == other.elicitations_ && supported_ == other.supported_;
  }

 private:
  MCPError(Kind kind, std::int64_t code, std::optional<std::string> detail,
           std::vector<URLElicitation> elicitations = {});

  Kind kind_;
  std::int64_t code_;
  std::optional<std::string> detail_;
  std::vector<URLElicitation> elicitations_;
  std::vector<std::string> supported_;
  std::string what_;
};

}  // namespace mcp
