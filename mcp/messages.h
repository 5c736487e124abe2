// The JSON-RPC 2.0 envelopes over typed methods and notifications, and the
// type-erased forms the server core receives every message as.
//
// A method is a caseless type with `static constexpr std::string_view name` and the
// records `Parameters` and `Result`; a notification has `name` and `Parameters`. A
// record writes itself with `toJSON()` and reads itself with a static `fromJSON()`
// that throws DecodingError.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"
#include "mcp/detail/coding.h"
#include "mcp/id.h"
#include "mcp/mcp_error.h"
#include "mcp/value.h"

namespace mcp {

template <class T>
concept Codable = requires(const T& value, const nlohmann::json& json) {
  { value.toJSON() } -> std::same_as<nlohmann::json>;
  { T::fromJSON(json) } -> std::same_as<T>;
};

// Parameter types that have a default and may be left out on the wire.
template <class T>
concept NotRequired = std::default_initializable<T> && requires {
  requires T::kNotRequired;
};

template <class M>
concept Method = requires {
  { M::name } -> std::convertible_to<std::string_view>;
}
&&Codable<typename M::Parameters>&& Codable<typename M::Result>;

template <class N>
concept Notification = requires {
  { N::name } -> std::convertible_to<std::string_view>;
}
&&Codable<typename N::Parameters>;

// A record without fields: written `{}`, read from any JSON object.
struct Empty {
  static constexpr bool kNotRequired = true;
  [[nodiscard]] nlohmann::json toJSON() const { return nlohmann::json::object(); }
  static Empty fromJSON(const nlohmann::json& json) {
    detail::requireObject(json, "an empty record");
    return {};
  }
  bool operator==(const Empty&) const = default;
};

// The method and notification whose name comes from the message and whose
// parameters and result are untyped values.
struct AnyMethod {
  using Parameters = Value;
  using Result = Value;
};
struct AnyNotification {
  using Parameters = Value;
};

namespace detail {

inline void requireVersion(const nlohmann::json& message) {
  const nlohmann::json* version = member(message, "jsonrpc");
  if (!version || !version->is_string() || version->get_ref<const std::string&>() != "2.0") {
    throw DecodingError::dataCorrupted("Invalid JSON-RPC version");
  }
}

// `params` is the member's value, or null when the key is absent.
template <class P>
P decodeParamsMember(const nlohmann::json* params) {
  const bool given = params && !params->is_null();
  if constexpr (NotRequired<P>) {
    if (!given) return P{};
  }
  if (!given) throw DecodingError::dataCorrupted("Missing required params field");
  try {
    return P::fromJSON(*params);
  } catch (const DecodingError&) {
    throw DecodingError::dataCorrupted("Invalid params field");
  }
}

template <class P>
P decodeParams(const nlohmann::json& message) {
  return decodeParamsMember<P>(member(message, "params"));
}

inline std::string decodeMethod(const nlohmann::json& message) {
  return requiredString(message, "method");
}

inline ID decodeID(const nlohmann::json& message) {
  const nlohmann::json* id = member(message, "id");
  if (!id) throw DecodingError::keyNotFound("id");
  return ID::fromJSON(*id);
}

}  // namespace detail

// A request: `params` is always written.
template <class M>
struct Request {
  using Parameters = typename M::Parameters;

  ID id;
  std::string method;
  Parameters params;

  Request(ID id, Parameters params) requires requires {
    M::name;
  } : id(std::move(id)), method(M::name), params(std::move(params)) {
  }
  Request(ID id, std::string method, Parameters params)
      : id(std::move(id)), method(std::move(method)), params(std::move(params)) {}

  [[nodiscard]] nlohmann::json toJSON() const {
    return {
        {"jsonrpc", "2.0"}, {"id", id.toJSON()}, {"method", method}, {"params", params.toJSON()}};
  }
  static Request fromJSON(const nlohmann::json& json) {
    detail::requireVersion(json);
    ID id = detail::decodeID(json);
    std::string method = detail::decodeMethod(json);
    return Request(std::move(id), std::move(method), detail::decodeParams<Parameters>(json));
  }
};

// A notification: `params` is left out when the parameters are Empty.
template <class N>
struct Message {
  using Parameters = typename N::Parameters;

  std::string method;
  Parameters params;

  explicit Message(Parameters params = {}) requires requires {
    N::name;
  } : method(N::name), params(std::move(params)) {
  }
  Message(std::string method, Parameters params)
      : method(std::move(method)), params(std::move(params)) {}

  [[nodiscard]] nlohmann::json toJSON() const {
    nlohmann::json json = {{"jsonrpc", "2.0"}, {"method", method}};
    if constexpr (!std::is_same_v<Parameters, Empty>) json["params"] = params.toJSON();
    return json;
  }
  static Message fromJSON(const nlohmann::json& json) {
    detail::requireVersion(json);
    std::string method = detail::decodeMethod(json);
    return Message(std::move(method), detail::decodeParams<Parameters>(json));
  }
};

// A response: exactly one of `result` and `error`.
template <class M>
struct Response {
  using Result = typename M::Result;

  ID id;
  std::variant<Result, MCPError> outcome;

  static Response success(ID id, Result result) { return {std::move(id), std::move(result)}; }
  static Response failure(ID id, MCPError error) { return {std::move(id), std::move(error)}; }

  [[nodiscard]] const Result* result() const { return std::get_if<Result>(&outcome); }
  [[nodiscard]] const MCPError* error() const { return std::get_if<MCPError>(&outcome); }

  [[nodiscard]] nlohmann::json toJSON() const {
    nlohmann::json json = {{"jsonrpc", "2.0"}, {"id", id.toJSON()}};
    if (const Result* value = result()) {
      json["result"] = value->toJSON();
    } else {
      json["error"] = error()->toJSON();
    }
    return json;
  }
  static Response fromJSON(const nlohmann::json& json) {
    detail::requireVersion(json);
    ID id = detail::decodeID(json);
    if (const nlohmann::json* result = detail::member(json, "result")) {
      try {
        return success(std::move(id), Result::fromJSON(*result));
      } catch (const DecodingError&) {
        // falls through to `error`, as a response with an unreadable result may still carry one
      }
    }
    if (const nlohmann::json* error = detail::member(json, "error")) {
      try {
        return failure(std::move(id), MCPError::fromJSON(*error));
      } catch (const DecodingError&) {
        // reported below
      }
    }
    throw DecodingError::dataCorrupted("Invalid response");
  }
};

// The untyped request read as a request over `M`, so `params` passes the rules for
// `M::Parameters`.
template <class M>
Request<M> typedRequest(const Request<AnyMethod>& request) {
  // The same as writing the whole request and reading it back over `M`: the version, id
  // and method come back unchanged, so only `params` is written and read.
  const nlohmann::json params = request.params.toJSON();
  return Request<M>(request.id, request.method,
                    detail::decodeParamsMember<typename M::Parameters>(&params));
}

}  // namespace mcp
