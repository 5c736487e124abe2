// What the panel asks of the rest of the app: a snapshot of what it shows, and the
// actions its controls start. No Qt here: the app fills it in.
#pragma once

#include <functional>
#include <string>

#include "platform/app_settings.h"
#include "ui/panel_model.h"
#include "ui/support_mail.h"

namespace melodock {

struct PanelActions {
  // Takes a fresh snapshot and hands it to `deliver`, on any thread.
  std::function<void(std::function<void(PanelSnapshot)> deliver)> request;
  // The player.
  std::function<void()> playPause;
  std::function<void()> next;
  std::function<void()> previous;
  std::function<void(double seconds)> seek;
  std::function<void(std::string entryID)> jump;
  // Stores a setting: the Connect section, the client chosen, the privacy switches.
  std::function<void(SettingChange change)> set;
  // The set-up row and the denied row's button: the Apple Music access request.
  std::function<void()> setUpAppleMusic;
  // Stores a new token and starts the host again with it.
  std::function<void()> resetToken;
  std::function<void()> checkForUpdates;
  std::function<void()> showWelcome;
  // Empty: the desktop's own network settings, when one is installed.
  std::function<void()> openNetworkSettings;
  // Empty: the desktop's URL handler.
  std::function<void(const std::string& url)> openURL;
  // Empty: the application quits.
  std::function<void()> quit;
  // What the support mail tells about this machine.
  SystemFacts system;
};

}  // namespace melodock
