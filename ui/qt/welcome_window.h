// The welcome window: the three steps that make Melodock useful (Apple Music access,
// connecting an AI, asking for music), rendered from the panel feed's snapshots. One
// window for the process, made on the first show() and only hidden when closed; every
// way of closing it stores "hasSeenWelcome".
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include "ui/panel_feed.h"

class QObject;
class QWidget;

namespace melodock::qt {

class WelcomeWindow {
 public:
  struct Art {
    QIcon appIcon;
    QIcon trayIcon;  // the "MenuBarIcon" beside where the app lives
    // A symbol by its SF Symbol name, tinted; empty or a null pixmap draws a dot of
    // `color` in its place.
    std::function<QPixmap(std::string_view symbol, int size, const QColor& color)> symbol;
  };

  struct Actions {
    // Step 1's "Continue": the same set-up as the panel's row.
    std::function<void()> setUpAppleMusic;
    // "Open Apple Music Access", shown once access was denied.
    std::function<void()> openAccess;
  };

  // Built on the GUI thread, before `feed` is shared with other threads (it registers
  // for the feed's changes). `feed` must outlive the window; `hasTray` decides where
  // the window says the app lives.
  WelcomeWindow(PanelFeed& feed, Art art, Actions actions, bool hasTray);
  ~WelcomeWindow();
  WelcomeWindow(const WelcomeWindow&) = delete;
  WelcomeWindow& operator=(const WelcomeWindow&) = delete;

  // GUI thread: makes the window if there is none, then brings it to the front with
  // the latest snapshot.
  void show();

  // The window once made, else null; for the app's tests and screenshots.
  [[nodiscard]] QWidget* widget() const;

  class View;
  struct Link;

 private:
  PanelFeed& feed_;
  Art art_;
  Actions actions_;
  bool hasTray_;
  std::shared_ptr<Link> link_;
  std::unique_ptr<QObject> gui_;  // where snapshots reach the GUI thread
  std::unique_ptr<View> view_;    // made on the first show()
};

}  // namespace melodock::qt
