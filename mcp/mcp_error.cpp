#include "mcp/mcp_error.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"

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
MCPError MCPError::headerMismatch(std::string message) {
  return {Kind::headerMismatch, -32020, std::move(message)};
}
MCPError MCPError::unsupportedProtocolVersion(std::string requested,
                                              std::vector<std::string> supported) {
  MCPError error{Kind::unsupportedProtocolVersion, -32022, std::move(requested)};
  error.supported_ = std::move(supported);
  return error;
}

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
    case Kind::headerMismatch:
      return detail_.value_or("Header mismatch");
    case Kind::unsupportedProtocolVersion:
      return "Unsupported protocol version";
  }
  return "Unknown error";
}

nlohmann::json MCPError::toJSON() const {
  nlohmann::json json = {{"code", code_}, {"message", errorDescription()}};
  switch (kind_) {
    case Kind::parseError:
    case Kind::invalidRequest:
    case Kind::methodNotFound:
    case Kind::invalidParams:
    case Kind::internalError:
      if (detail_) json["data"] = {{"detail", *detail_}};
      break;
    case Kind::transportError:
      json["data"] = {{"error", detail_.value_or("")}};
      break;
    case Kind::urlElicitationRequired: {
      json["message"] = detail_.value_or("");
      nlohmann::json list = nlohmann::json::array();
      for (const URLElicitation& elicitation : elicitations_) {
        list.push_back({{"mode", elicitation.mode},
                        {"elicitationId", elicitation.elicitationId},
                        {"url", elicitation.url},
                        {"message", elicitation.message}});
      }
      json["data"] = {{"elicitations", std::move(list)}};
      break;
    }
    case Kind::unsupportedProtocolVersion:
      json["data"] = {{"supported", supported_}, {"requested", detail_.value_or("")}};
      break;
    case Kind::serverError:
    case Kind::connectionClosed:
    case Kind::headerMismatch:
      break;
  }
  return json;
}

namespace {

std::string stringMember(const nlohmann::json& object, const char* key) {
  auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

// The detail a peer sent under data.detail, if any.
std::optional<std::string> peerDetail(const nlohmann::json& json) {
  auto data = json.find("data");
  if (data == json.end() || !data->is_object()) return std::nullopt;
  auto detail = data->find("detail");
  if (detail == data->end() || !detail->is_string()) return std::nullopt;
  return detail->get<std::string>();
}

// The text after "<prefix>: " in `message`, or the whole message without that prefix.
std::string afterPrefix(const std::string& message, std::string_view prefix) {
  if (message.starts_with(prefix) && message.substr(prefix.size(), 2) == ": ") {
    return message.substr(prefix.size() + 2);
  }
  return message;
}

}  // namespace

MCPError MCPError::fromJSON(const nlohmann::json& json) {
  if (!json.is_object()) throw DecodingError::dataCorrupted("Expected an object for an error");
  auto code = json.find("code");
  if (code == json.end() || !code->is_number_integer()) throw DecodingError::keyNotFound("code");
  auto message = json.find("message");
  if (message == json.end() || !message->is_string()) throw DecodingError::keyNotFound("message");
  const std::string text = message->get<std::string>();
  if (code->is_number_unsigned() &&
      code->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
    return serverError(INT64_MAX, text);
  }
  switch (code->get<std::int64_t>()) {
    case -32700:
      return parseError(peerDetail(json));
    case -32600:
      return invalidRequest(peerDetail(json));
    case -32601:
      return methodNotFound(peerDetail(json));
    case -32602:
      return invalidParams(peerDetail(json));
    case -32603:
      return internalError(peerDetail(json));
    case -32042: {
      std::vector<URLElicitation> elicitations;
      auto data = json.find("data");
      if (data != json.end() && data->is_object()) {
        auto list = data->find("elicitations");
        if (list != data->end() && list->is_array()) {
          for (const auto& entry : *list) {
            if (!entry.is_object()) continue;
            elicitations.push_back({stringMember(entry, "mode"),
                                    stringMember(entry, "elicitationId"),
                                    stringMember(entry, "url"), stringMember(entry, "message")});
          }
        }
      }
      return urlElicitationRequired(afterPrefix(text, "URL elicitation required"),
                                    std::move(elicitations));
    }
    case -32001: {
      // A peer's transport error keeps its underlying text, from data.error when given.
      auto data = json.find("data");
      if (data != json.end() && data->is_object()) {
        auto error = data->find("error");
        if (error != data->end() && error->is_string())
          return transportError(error->get<std::string>());
      }
      return transportError(afterPrefix(text, "Transport error"));
    }
    case -32000:
      return connectionClosed();
    case -32020:
      return headerMismatch(text);
    case -32022: {
      std::vector<std::string> supported;
      std::string requested;
      auto data = json.find("data");
      if (data != json.end() && data->is_object()) {
        requested = stringMember(*data, "requested");
        auto list = data->find("supported");
        if (list != data->end() && list->is_array()) {
          for (const auto& entry : *list) {
            if (entry.is_string()) supported.push_back(entry.get<std::string>());
          }
        }
      }
      return unsupportedProtocolVersion(std::move(requested), std::move(supported));
    }
    default:
      return serverError(code->get<std::int64_t>(), afterPrefix(text, "Server error"));
  }
}

}  // namespace mcp
