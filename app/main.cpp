// The entry: bridge mode with "--stdio", else the app. Main builds every long-lived
// object of the app and passes it in.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

#include "app/front_end.h"
#include "app/launch_mode.h"
#include "app/melodock_app.h"
#include "app/quit_signals.h"
#include "bridge/stdio_bridge.h"
#include "platform/app_activation.h"
#include "platform/app_instance_lock.h"
#include "platform/app_settings.h"
#include "platform/clock.h"
#include "platform/dbus_connection.h"
#include "platform/desktop_notifications.h"
#include "platform/executable_path.h"
#include "platform/keep_awake.h"
#include "platform/live_settings.h"
#include "platform/music/playback/mpris_player.h"
#include "platform/music/web_api/web_api_http_transport.h"
#include "platform/network_path_monitor.h"
#include "platform/settings_store.h"
#include "ui/client_setup.h"
#include "ui/panel_feed.h"
#include "ui/product.h"
#include "ui/qt/desktop.h"
#include "ui/support_mail.h"
#include "ui/update_check.h"

namespace {

// Completion for work spawned on the pool: a failure is told on stderr, not lost.
auto reportFailure(const char* what) {
  return [what](const std::exception_ptr& error) {
    if (!error) return;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "Melodock could not %s: %s\n", what, failure.what());
    }
  };
}

}  // namespace

int main(int argc, char** argv) {
  using namespace melodock;
  if (launchMode({argv, static_cast<std::size_t>(argc)}) == LaunchMode::bridge) {
    return StdioBridge::run();
  }
  // One app per user: a second one started by hand leaves the running one alone.
  const auto instance = AppInstanceLock::acquire();
  if (!instance) {
    // A running app with a desktop raises its panel; a headless one says so here.
    if (AppActivation::activateRunning()) return 0;
    std::puts("Melodock is already running.");
    return 0;
  }

  // The signals that end the app: blocked before any other thread exists, so every
  // thread inherits the mask.
  QuitSignals quitSignals;
  // With a display the toolkit owns this thread and the main actor stays on the pool;
  // without one the app is headless and the terminal is its front end.
  std::unique_ptr<Desktop> desktop;
  SystemFacts system;
  if (Desktop::displayNamed()) {
    system = SystemFacts::read();  // reads the environment: before the toolkit's threads
    desktop = std::make_unique<Desktop>(argc, argv);
  }

  Executor executor;
  MainActor mainActor(executor);
  LiveSettings settings(SettingsStore::defaultFile());
  HostStatus status;
  SystemClock clock;
  WebAPIHTTPTransport http;
  // Ends on the main actor, before http, settings and clock.
  std::optional<UpdateCheck> updates(std::in_place, mainActor, settings, clock, http,
                                     UpdateCheck::Options{.feedURL = Product::built().updateFeedURL,
                                                          .build = Product::built().build});
  // The desktop's media controls and notifications; without a session bus, none.
  const std::shared_ptr<DBusConnection> sessionBus =
      DBusConnection::open(DBusConnection::Bus::kSession, executor.pool());
  // Subscribes during the bus's set-up, so before it starts; outlives the app's prompts.
  DesktopNotifications notifications(sessionBus, "Melodock", "org.melodock.Melodock");
  // With a display the user is asked in the desktop's windows, else on the terminal.
  const std::unique_ptr<FrontEnd> frontEnd =
      desktop
          ? makeDesktopFrontEnd(
                {.consent = desktop->consent(&notifications),
                 .setUp = [&desktop](std::function<void(bool)> answer) -> std::shared_ptr<void> {
                   return desktop->askToSetUp(std::move(answer));
                 }})
          : makeFrontEnd(STDIN_FILENO, STDOUT_FILENO);
  // Connecting waits for the bus's handshake, so it happens here, before any request.
  // Without a system bus, keep-awake and Low Data Mode do nothing.
  const std::shared_ptr<DBusConnection> systemBus =
      DBusConnection::open(DBusConnection::Bus::kSystem, executor.pool());
  KeepAwake keepAwake(systemBus);
  // Songs with an audio file sound here; their failures go to the log (stderr). A
  // stored "audioSink" (a GStreamer sink such as "fakesink sync=true") replaces the
  // desktop's sound device: tests play silently with it.
  GStreamerOutput::Options audio{
      .sink = AppSettings(settings).get(setting::kAudioSink),
      .prepare = {},
      .log = [](const std::string& line) { std::fprintf(stderr, "Melodock: %s\n", line.c_str()); }};
  MelodockApp app(
      executor, mainActor, settings, status, clock, *frontEnd,
      {.showWelcome =
           [&desktop] {
             if (desktop) desktop->showWelcome();
           },
       .checkForUpdates = [&updates] { updates->checkAtLaunch(); },
       .keepAwake =
           [&keepAwake](bool playing) { playing ? keepAwake.acquire() : keepAwake.release(); },
       .catalogFile = builtInCatalogFile(runningExecutable().value_or(installedExecutable())),
       .libraryFile = Library::defaultFile(),
       .audio = std::move(audio),
       .followMusicFolders = true});
  // With a desktop, a second launch and the media controls' Raise open the panel.
  std::function<void()> raise;
  if (desktop) raise = [&desktop] { desktop->showPanel(); };
  const MprisPlayer mpris(sessionBus, app.player(), mainActor.strand(), clock, raise);
  std::optional<AppActivation> activation;
  if (desktop) activation.emplace(sessionBus, raise);
  const NetworkPathMonitor network(systemBus, mainActor.strand(), [&app](bool lowDataMode) {
    app.networkStatus().setLowDataMode(lowDataMode);
  });
  // The panel's view of the main actor, and the panel and tray over it.
  std::optional<PanelFeed> feed;
  if (desktop) {
    feed.emplace(PanelFeed::Sources{
        .main = mainActor,
        .music = app.music(),
        .player = app.player(),
        .network = app.networkStatus(),
        .settings = settings,
        .host =
            [&status] {
              return PanelFeed::Host{status.running(), status.problem(), status.lastClient()};
            },
        .update = [&updates] { return updates->state(); },
        .command = ClientSetup::commandPath()});
    auto setUpAppleMusic = [&] {
      asio::co_spawn(mainActor.strand(), app.setUpAppleMusic(),
                     reportFailure("set up Apple Music"));
    };
    // The access question is asked again from the denied state; it is the only place to
    // change the answer.
    desktop->welcome(*feed, {.setUpAppleMusic = setUpAppleMusic, .openAccess = setUpAppleMusic});
    desktop->start({.request =
                        [&feed](std::function<void(PanelSnapshot)> deliver) {
                          feed->request(std::move(deliver));
                        },
                    .playPause = [&feed] { feed->playPause(); },
                    .next = [&feed] { feed->next(); },
                    .previous = [&feed] { feed->previous(); },
                    .seek = [&feed](double seconds) { feed->seek(seconds); },
                    .jump = [&feed](std::string entryID) { feed->jump(std::move(entryID)); },
                    .set = [&feed](SettingChange change) { feed->set(std::move(change)); },
                    .setUpAppleMusic = setUpAppleMusic,
                    .resetToken =
                        [&] {
                          asio::co_spawn(mainActor.strand(), app.resetToken(),
                                         reportFailure("reset the token"));
                        },
                    .checkForUpdates =
                        [&] { asio::post(mainActor.strand(), [&updates] { updates->check(); }); },
                    .showWelcome = [&desktop] { desktop->showWelcome(); },
                    .openNetworkSettings = {},
                    .openURL = {},
                    .quit = {},
                    .system = system});
    feed->onChange([&desktop] { desktop->changed(); });
    status.observe([&feed] { feed->changed(); });
    updates->observe([&feed](const UpdateState& /*state*/) { feed->changed(); });
  }
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
  for (const std::string& problem : app.musicFileProblems()) std::printf("%s\n", problem.c_str());
  std::fflush(stdout);
  settings.onProblem([](const std::string& problem) {
    std::printf("%s\n", problem.c_str());
    std::fflush(stdout);
  });
  frontEnd->start();
  asio::co_spawn(mainActor.strand(), app.setUpAppleMusic(), reportFailure("set up Apple Music"));

  // What every way of quitting ends with: the update check goes on the main actor, the
  // settings reach their file, and the pool stops before anything it uses goes.
  auto finish = [&] {
    std::promise<void> ended;
    asio::post(mainActor.strand(), [&updates, &ended] {
      updates.reset();
      ended.set_value();
    });
    ended.get_future().wait();
    settings.waitUntilWritten();
    executor.stop();
  };
  if (desktop) {
    quitSignals.watch([&desktop] { desktop->quit(); });
    desktop->run([&] {
      // The host keeps serving the agents until the app is told to quit.
      std::fprintf(stderr, "Melodock: the display went away; still serving until told to quit\n");
      quitSignals.waitForWatch();
      finish();
      std::_Exit(0);
    });
  } else {
    quitSignals.wait();
  }
  finish();
  return 0;
}
