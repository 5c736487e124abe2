// The application in app mode. Over the collaborators main passes in, it builds the
// long-lived objects of the app (the catalog, the library, the player, the music service, the
// permission prompt, the tool dispatcher, the MCP endpoint and the host); its start is the launch
// sequence (start the host, then the first-run welcome and the daily update check), and it owns the
// actions that reach across parts, such as the token reset.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include <asio.hpp>

#include "app/front_end.h"
#include "host/host_status.h"
#include "host/mcp_endpoint.h"
#include "host/mcp_host.h"
#include "music/music_service.h"
#include "music/network_status.h"
#include "music/permission_prompt.h"
#include "music/tools.h"
#include "platform/actor.h"
#include "platform/app_settings.h"
#include "platform/clock.h"
#include "platform/executor.h"
#include "platform/music/authorization.h"
#include "platform/music/catalog/local_catalog.h"
#include "platform/music/library/library.h"
#include "platform/music/playback/gstreamer_output.h"
#include "platform/music/playback/music_player.h"
#include "platform/music/playback/routing_output.h"
#include "platform/music/playback/virtual_output.h"
#include "platform/music/scan/music_folder_monitor.h"
#include "platform/music/web_api/configured_web_api.h"
#include "platform/music/web_api/in_process_web_api.h"
#include "platform/music/web_api/web_api_http_transport.h"
#include "platform/settings.h"

namespace melodock {

class MelodockApp {
 public:
  // The windows and checks the launch may open; each is optional until it exists.
  struct Launch {
    std::function<void()> showWelcome;
    std::function<void()> checkForUpdates;
    std::function<std::chrono::system_clock::time_point()> now = [] {
      return std::chrono::system_clock::now();
    };
    // Told true while music plays and false when it stops; may be empty.
    std::function<void(bool)> keepAwake;
    // The built-in catalog's database and the user's library file.
    std::filesystem::path catalogFile;
    std::filesystem::path libraryFile;
    // Where songs with an audio file sound, and where their failures are told.
    GStreamerOutput::Options audio{};
    // Whether the start scans the user's music folders into the library and follows
    // them while the app runs.
    bool followMusicFolders = false;
  };

  // Every collaborator must outlive the app, and the app must outlive the pool's
  // threads.
  MelodockApp(Executor& executor, const MainActor& main, Settings& settings, HostStatus& status,
              Clock& clock, FrontEnd& frontEnd, Launch launch, MCPHost::Options hostOptions = {});

  // The launch sequence, on the main actor: the welcome window on first launch, an
  // update check when the last one is more than a day old, and the host's start.
  // Resumes once the host's status is in.
  asio::awaitable<void> start();

  // Why the catalog or the library could not be opened at start, a sentence each for
  // the user; empty when both opened. Read after start() has resumed.
  [[nodiscard]] const std::vector<std::string>& musicFileProblems() const {
    return musicFileProblems_;
  }

  // Stores a new token and restarts the host with it; clients holding the old token
  // are refused from then on.
  asio::awaitable<void> resetToken();

  // On the main actor: asks the user to set up Apple Music unless access is granted
  // already, and stores the answer.
  asio::awaitable<void> setUpAppleMusic();

  [[nodiscard]] MCPHost& host() { return host_; }
  [[nodiscard]] MusicService& music() { return music_; }
  // Lives on the main actor.
  [[nodiscard]] MusicPlayer& player() { return player_; }
  // Written by the platform's network monitor, on the main actor.
  [[nodiscard]] NetworkStatus& networkStatus() { return network_; }
  [[nodiscard]] MusicAuthorization& authorization() { return authorization_; }
  [[nodiscard]] AppSettings& settings() { return appSettings_; }

 private:
  asio::awaitable<void> openMusicFiles();
  void recordPlay(const Song& song, const std::optional<PlayContext>& context);
  void followMusicFolders();

  const MainActor& main_;
  Settings& settings_;
  std::vector<std::string> musicFileProblems_;
  AppSettings appSettings_;
  Launch launch_;
  MusicAuthorization authorization_;
  PermissionPrompt prompt_;
  NetworkStatus network_;
  // The built-in catalog and the user's library ($XDG_DATA_HOME), and the web API over
  // them or over the account configured in the settings.
  LocalCatalog catalog_;
  Library library_;  // before the player, which records each song it starts
  InProcessWebAPI libraryWebAPI_;
  WebAPIHTTPTransport webAPITransport_;
  ConfiguredWebAPI webAPI_;
  VirtualOutput virtualOutput_;  // catalog songs and stations
  GStreamerOutput fileOutput_;   // songs with an audio file
  RoutingOutput output_;
  MusicPlayer player_;
  MusicService music_;
  Tools tools_;
  MCPEndpoint endpoint_;
  MCPHost host_;
  // Scans the user's music folders into the library from the start on; it goes before
  // the library.
  std::optional<MusicFolderMonitor> musicFolders_;
  Settings::Subscription musicFoldersChanged_;  // ends before the monitor goes
};

}  // namespace melodock
