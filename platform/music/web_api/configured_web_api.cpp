#include "platform/music/web_api/configured_web_api.h"

namespace melodock {

ConfiguredWebAPI::ConfiguredWebAPI(Settings& settings, InProcessWebAPI& inProcess,
                                   WebAPIHTTPTransport& http)
    : settings_(settings), inProcess_(inProcess), http_(http) {}

std::string ConfiguredWebAPI::baseURL() const {
  std::string base = settings_.string(kBaseURLKey).value_or("");
  while (base.ends_with('/')) base.pop_back();
  return base.empty() ? inProcess_.baseURL() : base;
}

asio::awaitable<WebAPIResponse> ConfiguredWebAPI::send(WebAPIRequest request) {
  if (request.url.starts_with(inProcess_.baseURL() + "/")) {
    co_return co_await inProcess_.send(std::move(request));
  }
  const std::string developer = settings_.string(kDeveloperTokenKey).value_or("");
  const std::string user = settings_.string(kUserTokenKey).value_or("");
  if (!developer.empty()) request.headers.emplace_back("Authorization", "Bearer " + developer);
  if (!user.empty()) request.headers.emplace_back("Music-User-Token", user);
  co_return co_await http_.send(std::move(request));
}

}  // namespace melodock
