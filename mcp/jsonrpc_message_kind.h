// The HTTP transport's classification of one message, without the decoding of the
// envelopes: enough to know whether to wait for an answer and under which id.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace mcp {

struct JSONRPCMessageKind {
  enum class Type { request, notification, response };

  Type type;
  std::string id;      // the id's text form; requests and responses
  std::string method;  // requests and notifications

  // Nothing for bytes that are not a JSON object (a batch array included) or nest
  // too deep, and for an object with neither a string `method` nor `result`/`error`
  // with an id. The id counts when it is a string or an integer within 64 signed bits,
  // the same ids the server reads.
  static std::optional<JSONRPCMessageKind> classify(std::string_view bytes);
  // The same for a message already parsed.
  static std::optional<JSONRPCMessageKind> classify(const nlohmann::json& message);
};

}  // namespace mcp
