// The application in app mode: its construction is the launch sequence (start the
// host, then the first-run welcome and the daily update check), and it owns the
// actions that reach across parts, such as the token reset.
#pragma once

#include <chrono>
#include <functional>
#include <future>

#include "host/host_status.h"
#include "host/mcp_host.h"
#include "platform/app_settings.h"
#include "platform/executor.h"
#include "platform/settings_store.h"

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
  };

  // Starts the host on the main actor without waiting for it. Every collaborator must
  // outlive the app.
  MelodockApp(Executor& executor, SettingsStore& store, HostStatus& status, Launch launch);

  [[nodiscard]] MCPHost& host() { return host_; }
  [[nodiscard]] AppSettings& settings() { return settings_; }

  // Blocks until the launch's host start has run and its status updates are in. Not
  // for pool threads.
  void waitUntilStarted();

  // Stores a new token and restarts the host with it; clients holding the old token
  // are refused from then on.
  asio::awaitable<void> resetToken();

 private:
  asio::awaitable<void> startHost();
  // On the main actor, each time a client names itself.
  void noteClientConnected();

  Executor& executor_;
  SettingsStore& store_;
  AppSettings settings_;
  MCPHost host_;
  Launch launch_;
  std::future<void> started_;
  bool connectionStored_ = false;  // main actor only; spares a settings write per request
};

}  // namespace melodock
