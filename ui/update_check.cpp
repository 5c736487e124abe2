#include "ui/update_check.h"

#include <curl/curl.h>

#include <utility>

#include <nlohmann/json.hpp>

#include "platform/app_settings.h"
#include "platform/music/web_api/web_api_http_transport.h"
#include "ui/product.h"

namespace melodock {

struct UpdateCheck::Core {
  const MainActor& main;
  Settings& settings;
  Clock& clock;
  WebAPIHTTPTransport& http;
  Options options;
  UpdateState state;
  std::vector<Observer> observers;
  bool ended = false;  // the check is gone: a fetch still under way publishes nothing

  void publish(UpdateState next) {
    state = std::move(next);
    for (const Observer& observer : observers) observer(state);
  }
};

namespace {

UpdateState stateOf(UpdateState::Kind kind) {
  UpdateState state;
  state.kind = kind;
  return state;
}

bool isWebURL(const std::string& text) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
  const std::string_view name(scheme);
  const bool web = name == "https" || name == "http";
  curl_free(scheme);
  return web;
}

// One fetch, from start to the published outcome; holds the core so that it outlives
// the check if it must.
asio::awaitable<void> fetch(std::shared_ptr<UpdateCheck::Core> core) {
  WebAPIRequest request{.method = "GET",
                        .url = core->options.feedURL,
                        .headers = {{"Cache-Control", "no-cache"}, {"Accept", "application/json"}},
                        .timeout = core->options.timeout,
                        .bodyLimit = UpdateCheck::kBodyLimit,
                        .followRedirects = true};
  std::optional<UpdateCheck::Latest> latest;
  try {
    // The status is not looked at: whatever body arrives is decoded.
    const WebAPIResponse response = co_await core->http.send(std::move(request));
    latest = UpdateCheck::decode(response.body);
  } catch (const WebAPIError&) {
  }
  if (core->ended) co_return;
  if (!latest) {
    core->publish(stateOf(UpdateState::Kind::failed));
    co_return;
  }
  const auto now = std::chrono::duration<double>(core->clock.wallNow().time_since_epoch());
  AppSettings(core->settings).set(setting::kLastUpdateCheck, now.count());
  if (buildNumber(core->options.build) >= latest->build) {
    core->publish(stateOf(UpdateState::Kind::current));
  } else {
    core->publish({.kind = UpdateState::Kind::available,
                   .version = std::move(latest->version),
                   .page = std::move(latest->page)});
  }
}

}  // namespace

UpdateCheck::UpdateCheck(const MainActor& main, Settings& settings, Clock& clock,
                         WebAPIHTTPTransport& http, Options options)
    : core_(std::make_shared<Core>(
          Core{main, settings, clock, http, std::move(options), {}, {}, false})) {}

UpdateCheck::~UpdateCheck() { core_->ended = true; }

void UpdateCheck::check() {
  if (core_->state.kind == UpdateState::Kind::checking) return;
  if (core_->options.feedURL.empty()) {
    core_->publish(stateOf(UpdateState::Kind::failed));
    return;
  }
  core_->publish(stateOf(UpdateState::Kind::checking));
  asio::co_spawn(core_->main.strand(), fetch(core_), asio::detached);
}

void UpdateCheck::checkAtLaunch() {
  if (!core_->options.feedURL.empty()) check();
}

const UpdateState& UpdateCheck::state() const { return core_->state; }

void UpdateCheck::observe(Observer observer) { core_->observers.push_back(std::move(observer)); }

std::optional<UpdateCheck::Latest> UpdateCheck::decode(std::string_view body) {
  const nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
  if (!document.is_object()) return std::nullopt;
  const auto version = document.find("version");
  const auto build = document.find("build");
  const auto page = document.find("page");
  if (version == document.end() || !version->is_string() || build == document.end() ||
      page == document.end() || !page->is_string()) {
    return std::nullopt;
  }
  Latest latest{.version = version->get<std::string>(), .page = page->get<std::string>()};
  if (build->is_number_integer()) {
    if (build->is_number_unsigned() && build->get<std::uint64_t>() > INT64_MAX) return std::nullopt;
    latest.build = build->get<std::int64_t>();
  } else {
    return std::nullopt;
  }
  if (!isWebURL(latest.page)) return std::nullopt;
  return latest;
}

}  // namespace melodock
