// The tray icon ("MenuBarIcon") with its menu: Open Melodock, Play/Pause, Next and Quit
// Melodock. A click on the icon opens or closes the panel beside it.
#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>

namespace melodock::qt {

class PanelWindow;

class Tray {
 public:
  struct Actions {
    std::function<void()> playPause;
    std::function<void()> next;
    std::function<void()> quit;
  };

  // Whether the desktop shows tray icons at all.
  [[nodiscard]] static bool available();

  // `panel` must outlive the tray.
  Tray(PanelWindow& panel, Actions actions);

  // Opens the panel (beside the icon where the toolkit knows where that is) and brings
  // it to the front.
  void openPanel();
  void togglePanel();
  [[nodiscard]] QMenu& menu() { return menu_; }
  [[nodiscard]] QSystemTrayIcon& icon() { return icon_; }

 private:
  PanelWindow& panel_;
  Actions actions_;
  QMenu menu_;
  QSystemTrayIcon icon_;
};

}  // namespace melodock::qt
