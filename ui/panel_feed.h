// The seam between the main actor and the desktop's views: takes snapshots of what the
// panel and the welcome window read (on the main actor, where those objects live) and
// carries the views' actions back there. Any thread may call it; nothing here waits.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "music/music_service.h"
#include "music/network_status.h"
#include "platform/actor.h"
#include "platform/app_settings.h"
#include "platform/music/playback/music_player.h"
#include "platform/settings.h"
#include "ui/panel_model.h"

namespace melodock {

class PanelFeed {
 public:
  // The host's part of a snapshot, read on the main actor.
  struct Host {
    bool running = false;
    std::optional<std::string> problem;
    std::optional<std::string> lastClient;
  };

  struct Sources {
    const MainActor& main;
    MusicService& music;
    MusicPlayer& player;
    NetworkStatus& network;
    Settings& settings;
    std::function<Host()> host;
    // The update check's state; empty while there is no check: idle.
    std::function<UpdateState()> update;
    // The executable the command-style snippets launch.
    std::string command;
  };

  // Every source must outlive the feed, and the feed the pool's threads.
  explicit PanelFeed(Sources sources);
  PanelFeed(const PanelFeed&) = delete;
  PanelFeed& operator=(const PanelFeed&) = delete;
  ~PanelFeed();

  // Takes a snapshot on the main actor and hands it to `deliver` there.
  void request(std::function<void(PanelSnapshot)> deliver);
  // The snapshot itself; main actor only.
  [[nodiscard]] PanelSnapshot take();

  // Told, on any thread, that something a view shows may have changed. Register before
  // the feed is shared with other threads.
  void onChange(std::function<void()> listener);
  // Tells the listeners; the app calls it for sources the feed cannot observe itself
  // (the host's status, the update check).
  void changed();

  // The views' actions, carried out on the main actor; a failing player operation
  // changes nothing.
  void playPause();
  void next();
  void previous();
  void seek(double seconds);
  // Makes the entry current and, when the player is not playing, starts it.
  void jump(std::string entryID);
  void set(SettingChange change);

 private:
  void onMain(std::function<void()> work);

  Sources sources_;
  AppSettings appSettings_;
  std::mutex mutex_;
  std::vector<std::function<void()>> listeners_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  Settings::Subscription settingsChanged_;
};

}  // namespace melodock
