// The music web API as the music service reaches it: one request at a time, by method,
// full URL, headers and an optional body, answered with a status and the body bytes.
// Two transports stand behind it: the user's library served in process, and HTTP to a
// configured account. Both take URLs made by webAPIURL from their baseURL().
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <asio/awaitable.hpp>

namespace melodock {

struct WebAPIRequest {
  std::string method{};  // "GET", "POST", "PUT" or "DELETE"
  std::string url{};     // the client's base URL followed by a path and query
  std::vector<std::pair<std::string, std::string>> headers{};
  std::optional<std::string> body{};
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};
  // A longer body ends the request with a WebAPIError; 0: no limit.
  std::size_t bodyLimit = 0;
  // Redirects to https:// are followed (a few at most); one to another scheme is an
  // error. Otherwise a redirect is the answer.
  bool followRedirects = false;

  bool operator==(const WebAPIRequest&) const = default;
};

struct WebAPIResponse {
  int status = 0;
  std::string body{};

  bool operator==(const WebAPIResponse&) const = default;
};

// The request never got an answer: no connection, a time-out, a URL the transport
// refuses. The text says which, for the agent.
class WebAPIError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class WebAPIClient {
 public:
  WebAPIClient() = default;
  WebAPIClient(const WebAPIClient&) = delete;
  WebAPIClient& operator=(const WebAPIClient&) = delete;
  virtual ~WebAPIClient() = default;

  // The origin that request URLs begin with, without a trailing "/".
  [[nodiscard]] virtual std::string baseURL() const = 0;
  // Sends `request` and completes with the answer, whatever its status, on the caller's
  // executor; throws WebAPIError when there is no answer. Never blocks the caller's
  // thread.
  virtual asio::awaitable<WebAPIResponse> send(WebAPIRequest request) = 0;
};

}  // namespace melodock
