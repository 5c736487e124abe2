#include "app/melodock_app.h"

#include <cstdio>

#include "platform/music/scan/music_folders.h"

namespace melodock {
namespace {

constexpr double kUpdateInterval = 86400;  // seconds

// A file that is not a database or is damaged; other failures (a full disk) are the
// requests' to report.
bool unreadable(const DatabaseError& error) {
  const int primary = error.code() & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

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
      catalog_(launch_.catalogFile),
      library_(launch_.libraryFile, [&clock] { return clock.wallNow(); }),
      libraryWebAPI_(library_, catalog_),
      webAPI_(settings, libraryWebAPI_, webAPITransport_),
      virtualOutput_(clock, main.strand()),
      fileOutput_(main.strand(), launch_.audio),
      output_(fileOutput_, virtualOutput_),
      player_(output_, clock,
              {.canPlayCatalog = [this] { return music_.canPlayCatalog(); },
               .songStarted =
                   [this](const Song& song, const std::optional<PlayContext>& context,
                          std::chrono::system_clock::time_point /*now*/) {
                     recordPlay(song, context);
                   }}),
      music_({.main = main,
              .player = player_,
              .settings = settings,
              .prompt = prompt_,
              .webAPI = webAPI_,
              .network = network_,
              .clock = clock,
              .catalog = catalog_,
              .library = library_,
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
    if (!appSettings_.get(setting::kHasSeenWelcome) && launch_.showWelcome) {
      launch_.showWelcome();
    }
    const double last = appSettings_.get(setting::kLastUpdateCheck);
    const double now = std::chrono::duration<double>(launch_.now().time_since_epoch()).count();
    if (now - last > kUpdateInterval && launch_.checkForUpdates) launch_.checkForUpdates();
  };
  co_await main_.run(std::move(launchChecks));
  co_await main_.run([this] { return music_.refreshSubscription(); });
  co_await openMusicFiles();
  co_await host_.start();
  // GStreamer starts in the background now, so that the first song from a file an
  // agent asks for does not wait for it.
  co_await main_.run([this] { fileOutput_.warmUp(); });
  if (launch_.followMusicFolders) followMusicFolders();
}

void MelodockApp::followMusicFolders() {
  if (musicFolders_) return;
  // The scan runs on the monitor's own thread; the settings are read there too.
  musicFolders_.emplace(
      library_, [this] { return musicFolders(appSettings_); },
      MusicFolderMonitor::Options{.problem = [](const std::string& problem) {
        std::fprintf(stderr, "Melodock: %s\n", problem.c_str());
      }});
  // A change of "musicFolders" is followed at once, not at the next periodic scan.
  musicFoldersChanged_ = settings_.observe([this] { musicFolders_->foldersMayHaveChanged(); });
}

asio::awaitable<void> MelodockApp::setUpAppleMusic() {
  auto setUp = [this]() -> asio::awaitable<void> {
    music_.setAuthorization(co_await authorization_.request());
    co_await music_.refreshSubscription();
  };
  co_await main_.run(std::move(setUp));
}

// The catalog and the library open on threads of their own. Both are open before the
// first request can arrive, so a burst of connections at start-up cannot take the
// descriptors they need. One that cannot open is reported here, and fails each request
// that needs it with the same sentence; the host serves the rest.
asio::awaitable<void> MelodockApp::openMusicFiles() {
  try {
    std::vector<std::string> none;
    co_await catalog_.stations(std::move(none));
  } catch (const DatabaseError& error) {
    if (unreadable(error)) musicFileProblems_.emplace_back(error.what());
  } catch (const std::exception&) {
  }
  try {
    std::string favourites = Library::kFavouriteSongsID;
    co_await library_.playlist(std::move(favourites));
  } catch (const DatabaseError& error) {
    if (unreadable(error)) musicFileProblems_.emplace_back(error.what());
  } catch (const std::exception&) {
  }
}

// The play history: the library reads the same wall clock when the row is written.
void MelodockApp::recordPlay(const Song& song, const std::optional<PlayContext>& context) {
  asio::co_spawn(main_.strand(), library_.recordPlay(song, context), [](const std::exception_ptr&) {
    // A history row that cannot be written is not the listener's problem.
  });
}

asio::awaitable<void> MelodockApp::resetToken() {
  appSettings_.storeNewToken();
  co_await host_.start();
}

}  // namespace melodock
