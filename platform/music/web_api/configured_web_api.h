// The web API the app uses: the user's remote account when a base URL is stored in the
// settings ("webAPIBaseURL"), reached over HTTP with the stored developer and user
// tokens; otherwise the library served in process. Read at each request, so a change
// of the settings applies to the next one.
#pragma once

#include "platform/app_settings.h"
#include "platform/music/web_api/in_process_web_api.h"
#include "platform/music/web_api/web_api_client.h"
#include "platform/music/web_api/web_api_http_transport.h"

namespace melodock {

class ConfiguredWebAPI final : public WebAPIClient {
 public:
  // Every part must outlive this object.
  ConfiguredWebAPI(Settings& settings, InProcessWebAPI& inProcess, WebAPIHTTPTransport& http);

  // The stored base URL without a trailing "/", or the in-process one when none is.
  [[nodiscard]] std::string baseURL() const override;
  // A URL on the in-process base goes there; any other goes over HTTP with
  // "Authorization: Bearer <developer token>" and "Music-User-Token: <user token>",
  // each sent when its token is stored.
  asio::awaitable<WebAPIResponse> send(WebAPIRequest request) override;

 private:
  AppSettings settings_;
  InProcessWebAPI& inProcess_;
  WebAPIHTTPTransport& http_;
};

}  // namespace melodock
