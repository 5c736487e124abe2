#include "app/melodock_app.h"

#include "platform/executable_path.h"

namespace melodock {
namespace {

constexpr double kUpdateInterval = 86400;  // seconds

}  // namespace

MelodockApp::MelodockApp(Executor& executor, const MainActor& main, Settings& settings,
                         HostStatus& status, Clock& clock, FrontEnd& frontEnd, Launch launch,
                         MCPHost::Options hostOptions)
    : main_(main),
      settings_(settings),
      appSettings_(settings),
      launch_(std::move(launch)),
      authorization_(settings, frontEnd),
      prompt_(
          main, frontEnd, [&status] { return status.lastClient(); }, clock),
      library_(Library::defaultFile(), [&clock] { return clock.wallNow(); }),
      catalog_(builtInCatalogFile(runningExecutable().value_or(installedExecutable()))),
      libraryWebAPI_(library_, catalog_),
      webAPI_(settings, libraryWebAPI_, webAPITransport_),
      output_(clock, main.strand()),
      player_(output_, clock,
              {.canPlayCatalog = [this] { return music_.canPlayCatalog(); }, .songStarted = {}}),
      music_({.main = main,
              .player = player_,
              .settings = settings,
              .prompt = prompt_,
              .webAPI = webAPI_,
              .network = network_,
              .clock = clock,
              .lookup = {},
              .keepAwake = launch_.keepAwake}),
      tools_(main, music_),
      endpoint_(main, status, settings, tools_),
      host_(
          executor, main, status,
          [this] {
            return HostSettings{appSettings_.port(), appSettings_.storedPort(),
                                appSettings_.token()};
          },
          [this](mcp::HTTPRequest request, std::string token) {
            return endpoint_.handle(std::move(request), std::move(token));
          },
          hostOptions) {}

asio::awaitable<void> MelodockApp::start() {
  auto launchChecks = [this] {
    if (!settings_.boolean("hasSeenWelcome").value_or(false) && launch_.showWelcome) {
      launch_.showWelcome();
    }
    const double last = settings_.number("lastUpdateCheck").value_or(0);
    const double now = std::chrono::duration<double>(launch_.now().time_since_epoch()).count();
    if (now - last > kUpdateInterval && launch_.checkForUpdates) launch_.checkForUpdates();
  };
  co_await main_.run(std::move(launchChecks));
  co_await main_.run([this] { return music_.refreshSubscription(); });
  co_await host_.start();
}

asio::awaitable<void> MelodockApp::setUpAppleMusic() {
  auto setUp = [this]() -> asio::awaitable<void> {
    music_.setAuthorization(co_await authorization_.request());
    co_await music_.refreshSubscription();
  };
  co_await main_.run(std::move(setUp));
}

asio::awaitable<void> MelodockApp::resetToken() {
  appSettings_.storeNewToken();
  co_await host_.start();
}

}  // namespace melodock
