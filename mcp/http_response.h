// The HTTP answer produced by the transport and the endpoint: a closed set of cases,
// each knowing its status code, headers and body.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "mcp/http_request.h"
#include "mcp/mcp_error.h"

namespace mcp {

class HTTPResponse {
 public:
  struct Accepted {
    HTTPHeaders headers;
  };
  struct Ok {
    HTTPHeaders headers;
  };
  struct Data {
    std::string bytes;
    HTTPHeaders headers;
    int statusCode = 200;  // the modern era answers some JSON-RPC errors with a 4xx
  };
  // A body produced chunk by chunk; `next` yields nothing at the end. Not written by
  // servers that answer with one Content-Length body.
  struct Stream {
    std::function<std::optional<std::string>()> next;
    HTTPHeaders headers;
  };
  struct Error {
    int statusCode;
    MCPError error;
    std::optional<std::string> sessionID;
    HTTPHeaders extraHeaders;
  };

  using Case = std::variant<Accepted, Ok, Data, Stream, Error>;

  // Any case converts to a response. Only the cases do, so this never stands in for the
  // copy or move constructor.
  template <typename C>
  // NOLINTNEXTLINE(bugprone-forwarding-reference-overload)
  requires std::is_constructible_v<Case, C&&> HTTPResponse(C&& c)
      : case_(std::forward<C>(c)) {}  // NOLINT(google-explicit-constructor)

  static HTTPResponse accepted(HTTPHeaders headers = {}) { return Accepted{std::move(headers)}; }
  static HTTPResponse ok(HTTPHeaders headers = {}) { return Ok{std::move(headers)}; }
  static HTTPResponse data(std::string bytes, HTTPHeaders headers = {}, int statusCode = 200) {
    return Data{std::move(bytes), std::move(headers), statusCode};
  }
  static HTTPResponse error(int statusCode, MCPError error,
                            std::optional<std::string> sessionID = std::nullopt,
                            HTTPHeaders extraHeaders = {}) {
    return Error{statusCode, std::move(error), std::move(sessionID), std::move(extraHeaders)};
  }

  [[nodiscard]] const Case& value() const { return case_; }
  [[nodiscard]] int statusCode() const;
  [[nodiscard]] HTTPHeaders headers() const;
  // The headers a case carries as they are sent, without a copy; nullptr for `error`,
  // whose headers are computed by headers().
  [[nodiscard]] const HTTPHeaders* storedHeaders() const;
  // The body bytes: the payload of `data`, the JSON-RPC error object of `error`
  // (invalid UTF-8 in its texts replaced), nothing for the other cases.
  [[nodiscard]] std::optional<std::string> bodyData() const;
  // The payload of `data` without a copy; nullptr for the other cases.
  [[nodiscard]] const std::string* storedBody() const;

 private:
  Case case_;
};

}  // namespace mcp
