#include "app/melodock_app.h"

namespace melodock {
namespace {

constexpr double kUpdateInterval = 86400;  // seconds

}  // namespace

MelodockApp::MelodockApp(Executor& executor, SettingsStore& store, HostStatus& status,
                         Launch launch)
    : executor_(executor),
      store_(store),
      settings_(store),
      host_(
          executor, status,
          [this] {
            return HostSettings{settings_.port(), settings_.token()};
          },
          [this] {
            MCPHost::Options options;
            options.clientConnected = [this] { noteClientConnected(); };
            return options;
          }()),
      launch_(std::move(launch)) {
  started_ = asio::co_spawn(executor_.mainActor(), startHost(), asio::use_future);

  // After construction, on the main actor: the welcome window on first launch, and an
  // update check when the last one is more than a day old.
  asio::post(executor_.mainActor(), [this] {
    if (!store_.boolean("hasSeenWelcome").value_or(false) && launch_.showWelcome) {
      launch_.showWelcome();
    }
    const double last = store_.number("lastUpdateCheck").value_or(0);
    const double now = std::chrono::duration<double>(launch_.now().time_since_epoch()).count();
    if (now - last > kUpdateInterval && launch_.checkForUpdates) launch_.checkForUpdates();
  });
}

asio::awaitable<void> MelodockApp::startHost() {
  co_await host_.start();
  // The listener's status updates were queued on the main actor during the start.
  co_await asio::post(executor_.mainActor(), asio::use_awaitable);
}

void MelodockApp::noteClientConnected() {
  if (connectionStored_) return;
  if (!store_.boolean("hasConnectedClient").value_or(false)) store_.set("hasConnectedClient", true);
  connectionStored_ = true;
}

void MelodockApp::waitUntilStarted() {
  if (started_.valid()) started_.get();
}

asio::awaitable<void> MelodockApp::resetToken() {
  settings_.storeNewToken();
  co_await onActor(executor_.mainActor(), [this] { return startHost(); });
}

}  // namespace melodock
