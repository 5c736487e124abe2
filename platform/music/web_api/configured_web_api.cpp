#include "platform/music/web_api/configured_web_api.h"

namespace melodock {

ConfiguredWebAPI::ConfiguredWebAPI(Settings& settings, InProcessWebAPI& inProcess,
                                   WebAPIHTTPTransport& http)
    : settings_(settings), inProcess_(inProcess), http_(http) {}

std::string ConfiguredWebAPI::baseURL() const {
  std::string base = settings_.get(setting::kWebAPIBaseURL);
  while (base.ends_with('/')) base.pop_back();
  return base.empty() ? inProcess_.baseURL() : base;
}

asio::awaitable<WebAPIResponse> ConfiguredWebAPI::send(WebAPIRequest request) {
  if (request.url.starts_with(inProcess_.baseURL() + "/")) {
    co_return co_await inProcess_.send(std::move(request));
  }
  const std::string developer = settings_.get(setting::kWebAPIDeveloperToken);
  const std::string user = settings_.get(setting::kWebAPIUserToken);
  if (!developer.empty()) request.headers.emplace_back("Authorization", "Bearer " + developer);
  if (!user.empty()) request.headers.emplace_back("Music-User-Token", user);
  co_return co_await http_.send(std::move(request));
}

}  // namespace melodock
