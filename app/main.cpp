#include <csignal>
#include <cstdio>
#include <future>

#include "app/launch_mode.h"
#include "app/melodock_app.h"
#include "bridge/stdio_bridge.h"
#include "platform/app_instance_lock.h"

int main(int argc, char** argv) {
  using namespace melodock;
  if (launchMode({argv, static_cast<std::size_t>(argc)}) == LaunchMode::bridge) {
    return StdioBridge::run();
  }
  // One app per user: a second one started by hand leaves the running one alone.
  const auto instance = AppInstanceLock::acquire();
  if (!instance) {
    std::puts("Melodock is already running.");
    return 0;
  }

  Executor& executor = Executor::shared();
  std::promise<void> quit;
  asio::signal_set signals(executor.context(), SIGINT, SIGTERM);
  signals.async_wait([&](const std::error_code&, int) { quit.set_value(); });

  MelodockApp app(executor, SettingsStore::shared(), HostStatus::shared(), {});
  app.waitUntilStarted();

  // Until the panel exists, the terminal is where the user learns what happened.
  HostStatus& status = HostStatus::shared();
  if (status.running()) {
    std::printf("Melodock is listening on %s\n", app.settings().endpoint().c_str());
  } else {
    std::printf("Melodock cannot listen: %s\n",
                status.problem().value_or("unknown problem").c_str());
  }
  std::fflush(stdout);

  quit.get_future().wait();
  return 0;
}
