// Web API requests over HTTP(S), through libcurl on a thread of its own: any number of
// requests in flight at once, none of them blocking the caller's thread. Only https://
// URLs are sent, and http:// ones to a loopback address (127.0.0.0/8, ::1).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <asio.hpp>

#include "platform/music/web_api/web_api_client.h"

namespace melodock {

class WebAPIHTTPTransport {
 public:
  WebAPIHTTPTransport();
  // Ends the requests still in flight with a WebAPIError, on their callers' executors.
  ~WebAPIHTTPTransport();
  WebAPIHTTPTransport(const WebAPIHTTPTransport&) = delete;
  WebAPIHTTPTransport& operator=(const WebAPIHTTPTransport&) = delete;

  // Sends `request` and completes with the status and body on the caller's executor,
  // which must outlive the request. Throws WebAPIError when the URL is refused, the
  // connection fails or the request's time-out passes. Redirects are not followed.
  asio::awaitable<WebAPIResponse> send(WebAPIRequest request);

  // Nothing when `url` may be sent; otherwise why not.
  [[nodiscard]] static std::optional<std::string> refusal(const std::string& url);

 private:
  struct Transfer;
  class Worker;

  std::unique_ptr<Worker> worker_;
};

}  // namespace melodock
