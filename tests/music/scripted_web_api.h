// A web API whose answers the test writes: every request is kept, and `answer` (which
// may throw WebAPIError, as a transport does) answers it. Main actor only.
#pragma once

#include <functional>
#include <vector>

#include "platform/music/web_api/web_api_client.h"

namespace melodock::testing {

class ScriptedWebAPI final : public WebAPIClient {
 public:
  [[nodiscard]] std::string baseURL() const override { return "https://api.test"; }
  asio::awaitable<WebAPIResponse> send(WebAPIRequest request) override {
    requests.push_back(std::move(request));
    if (!answer) co_return WebAPIResponse{404, ""};
    co_return answer(requests.back());
  }

  std::function<WebAPIResponse(const WebAPIRequest&)> answer;
  std::vector<WebAPIRequest> requests;
};

}  // namespace melodock::testing
