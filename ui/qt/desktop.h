// The app's desktop face: Qt's application on the process's main thread, the panel and,
// where the desktop has one, the tray. This header holds no Qt, so the app that drives
// it stays free of the toolkit.
#pragma once

#include <functional>
#include <memory>

#include "music/permission_prompt.h"
#include "ui/panel_feed.h"
#include "ui/qt/panel_actions.h"

namespace melodock {

class DesktopNotifications;

class Desktop {
 public:
  // True when DISPLAY or WAYLAND_DISPLAY names a display.
  [[nodiscard]] static bool displayNamed();

  // Creates the toolkit's application; on the process's main thread, once. `argc` and
  // `argv` must outlive the desktop.
  Desktop(int& argc, char** argv);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // Builds the panel and the tray. Without a tray the panel opens now, as an ordinary
  // window; closing it leaves the app running.
  void start(PanelActions actions);

  // The consent questions as the permission window beside a desktop notification.
  // `notifications` may be null (the window alone) and must outlive every presentation;
  // the presenter lives as long as the desktop. Call once, on this thread.
  [[nodiscard]] PermissionPrompt::Presenter& consent(DesktopNotifications* notifications);

  struct WelcomeActions {
    std::function<void()> setUpAppleMusic;
    std::function<void()> openAccess;
  };
  // Builds the welcome window over `feed`, which must outlive the desktop. On this
  // thread, before `feed` is shared with other threads; once.
  void welcome(PanelFeed& feed, WelcomeActions actions);
  // Opens the welcome window (one for the process). Any thread, once welcome() has run.
  void showWelcome();

  // A question on screen; destroying it takes it away unanswered.
  class Question {
   public:
    Question() = default;
    Question(const Question&) = delete;
    Question& operator=(const Question&) = delete;
    virtual ~Question() = default;
  };
  // The app's own "Apple Music Access" dialog: the set-up question with "Continue" and
  // "Not Now". `answer` is called at most once, on this thread: true for "Continue",
  // false for "Not Now", Escape or a close. Any thread.
  [[nodiscard]] std::unique_ptr<Question> askToSetUp(std::function<void(bool)> answer);
  // Runs the toolkit's loop on this thread until quit(); returns its exit code.
  // When the display goes away (the X server or the compositor ends) the toolkit would
  // end the process: `displayLost` is called instead, on this thread, and must not
  // return; it ends the process itself once it is done.
  int run(std::function<void()> displayLost);
  // Ends run(). Any thread.
  void quit();
  // Something the panel shows may have changed. Any thread, once start() has run.
  void changed();
  // Opens the panel and brings it to the front. Any thread, once start() has run.
  void showPanel();
  [[nodiscard]] bool hasTray() const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace melodock
