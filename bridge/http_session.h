// The bridge's HTTP client: one libcurl handle reused for every request, so each
// exchange costs a connection and nothing else.
#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace melodock {

// A request that got no HTTP answer. `what()` is the description a client is shown.
class TransportError : public std::runtime_error {
 public:
  enum class Kind { cannotConnect, timedOut, other };
  TransportError(Kind kind, const std::string& description)
      : std::runtime_error(description), kind_(kind) {}
  [[nodiscard]] Kind kind() const { return kind_; }

  // No connection could be made: nothing listens where the request went.
  [[nodiscard]] static TransportError cannotConnect();

 private:
  Kind kind_;
};

struct HttpAnswer {
  long status = 0;  // 0 when the answer was not HTTP
  std::string body;
};

class HttpSession {
 public:
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // POSTs `body` to `url` with `headers` ("Name: value" lines) and waits for the whole
  // answer, at most `timeout`. Throws TransportError when no answer came.
  HttpAnswer post(const std::string& url, std::string_view body,
                  const std::vector<std::string>& headers, std::chrono::milliseconds timeout);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace melodock
