// The entry: bridge mode with "--stdio", else the app. Main builds every long-lived
// object of the app and passes it in.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <string>

#include <unistd.h>

#include "app/front_end.h"
#include "app/launch_mode.h"
#include "app/melodock_app.h"
#include "bridge/stdio_bridge.h"
#include "platform/app_instance_lock.h"
#include "platform/clock.h"
#include "platform/dbus_connection.h"
#include "platform/executable_path.h"
#include "platform/keep_awake.h"
#include "platform/live_settings.h"
#include "platform/music/mpris_player.h"
#include "platform/network_path_monitor.h"
#include "platform/settings_store.h"

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

  // The signals that end the app are taken by this thread alone: blocked before any
  // other thread exists, so every thread inherits the mask.
  sigset_t quitSignals;
  sigemptyset(&quitSignals);
  sigaddset(&quitSignals, SIGINT);
  sigaddset(&quitSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);

  Executor executor;
  MainActor mainActor(executor);
  LiveSettings settings(SettingsStore::defaultFile());
  HostStatus status;
  SystemClock clock;
  const std::unique_ptr<FrontEnd> frontEnd = makeFrontEnd(STDIN_FILENO, STDOUT_FILENO);
  // Connecting waits for the bus's handshake, so it happens here, before any request.
  // Without a system bus, keep-awake and Low Data Mode do nothing.
  const std::shared_ptr<DBusConnection> systemBus =
      DBusConnection::open(DBusConnection::Bus::kSystem, executor.pool());
  KeepAwake keepAwake(systemBus);
  // Songs with an audio file sound here; their failures go to the log (stderr). A
  // stored "audioSink" (a GStreamer sink such as "fakesink sync=true") replaces the
  // desktop's sound device: tests play silently with it.
  GStreamerOutput::Options audio{
      .sink = settings.string("audioSink").value_or(""),
      .prepare = {},
      .log = [](const std::string& line) { std::fprintf(stderr, "Melodock: %s\n", line.c_str()); }};
  MelodockApp app(
      executor, mainActor, settings, status, clock, *frontEnd,
      {.showWelcome = {},
       .checkForUpdates = {},
       .keepAwake =
           [&keepAwake](bool playing) { playing ? keepAwake.acquire() : keepAwake.release(); },
       .catalogFile = builtInCatalogFile(runningExecutable().value_or(installedExecutable())),
       .libraryFile = Library::defaultFile(),
       .audio = std::move(audio),
       .followMusicFolders = true});
  // The desktop's media controls; without a session bus, none.
  const std::shared_ptr<DBusConnection> sessionBus =
      DBusConnection::open(DBusConnection::Bus::kSession, executor.pool());
  const MprisPlayer mpris(sessionBus, app.player(), mainActor.strand(), clock);
  const NetworkPathMonitor network(systemBus, mainActor.strand(), [&app](bool lowDataMode) {
    app.networkStatus().setLowDataMode(lowDataMode);
  });
  if (systemBus) systemBus->start();
  if (sessionBus) sessionBus->start();
  asio::co_spawn(mainActor.strand(), app.start(), asio::use_future).get();
  settings.waitUntilWritten();

  // Until the panel exists, the terminal is where the user learns what happened.
  if (status.running()) {
    std::printf("Melodock is listening on %s\n", app.settings().endpoint().c_str());
  } else {
    std::printf("Melodock cannot listen: %s\n",
                status.problem().value_or("unknown problem").c_str());
  }
  std::fflush(stdout);
  settings.onProblem([](const std::string& problem) {
    std::printf("%s\n", problem.c_str());
    std::fflush(stdout);
  });
  frontEnd->start();
  asio::co_spawn(mainActor.strand(), app.setUpAppleMusic(), [](const std::exception_ptr& error) {
    if (!error) return;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "Melodock could not set up Apple Music: %s\n", failure.what());
    }
  });

  int signal = 0;
  while (sigwait(&quitSignals, &signal) != 0) {
  }
  executor.stop();
  return 0;
}
