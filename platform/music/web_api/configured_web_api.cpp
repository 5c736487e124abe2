#include "platform/music/web_api/configured_web_api.h"

#include <string_view>

namespace melodock {
namespace {

// The base followed by a slash, compared in place: GCC 12 takes the concatenated
// temporary inside the coroutine frame for an overflow.
bool isUnder(std::string_view url, std::string_view base) {
  return url.size() > base.size() && url.starts_with(base) && url[base.size()] == '/';
}

}  // namespace

ConfiguredWebAPI::ConfiguredWebAPI(Settings& settings, InProcessWebAPI& inProcess,
                                   WebAPIHTTPTransport& http)
    : settings_(settings), inProcess_(inProcess), http_(http) {}

std::string ConfiguredWebAPI::baseURL() const {
  std::string base = settings_.get(setting::kWebAPIBaseURL);
  while (base.ends_with('/')) base.pop_back();
  return base.empty() ? inProcess_.baseURL() : base;
}

asio::awaitable<WebAPIResponse> ConfiguredWebAPI::send(WebAPIRequest request) {
  if (isUnder(request.url, inProcess_.baseURL())) {
    co_return co_await inProcess_.send(std::move(request));
  }
  const std::string developer = settings_.get(setting::kWebAPIDeveloperToken);
  const std::string user = settings_.get(setting::kWebAPIUserToken);
  if (!developer.empty()) request.headers.emplace_back("Authorization", "Bearer " + developer);
  if (!user.empty()) request.headers.emplace_back("Music-User-Token", user);
  co_return co_await http_.send(std::move(request));
}

}  // namespace melodock
