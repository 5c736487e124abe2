// Desktop notifications through the session bus's org.freedesktop.Notifications: one
// shown with its action buttons, the action the user picks told back, and the
// notification taken away again. Does nothing, silently, where no session bus or no
// notification service answers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dbus_connection.h"

namespace melodock {

class DesktopNotifications {
 public:
  struct Action {
    std::string key;    // what ActionInvoked reports; "default" is a click on the body
    std::string label;  // the button's text
  };

  struct Notification {
    std::string summary;
    std::string body;  // plain text: markup characters are escaped before sending
    std::vector<Action> actions;
    // Kept on screen until answered or taken away, where the desktop allows it.
    bool waitsForAnswer = false;
  };

  struct Handlers {
    // The user picked the action with this key.
    std::function<void(const std::string& key)> onAction;
    // The service took the notification away (dismissed, expired, or after an action).
    std::function<void()> onClosed;
  };

  // A notification on screen; destroying it or close() takes it away. Its handlers may
  // still run while the close travels to the bus's strand, never after.
  class Shown {
   public:
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;
    ~Shown() { close(); }
    void close();

    struct Entry;
    explicit Shown(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}

   private:
    std::shared_ptr<Entry> entry_;
  };

  // `sessionBus` may be null: then show() shows nothing. Subscribes to the service's
  // signals through `sessionBus->setUp()`, so build it before the bus is started.
  // `appName` and `desktopEntry` tell the desktop whose notifications they are.
  DesktopNotifications(std::shared_ptr<DBusConnection> sessionBus, std::string appName,
                       std::string desktopEntry);
  ~DesktopNotifications();
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  // Shows `notification`; safe from any thread, nothing waits for the service. Handlers
  // run on the bus's strand, each action at most once per invocation the service
  // reports, and `onClosed` at most once. A service that is missing or fails calls no
  // handler.
  [[nodiscard]] std::unique_ptr<Shown> show(Notification notification, Handlers handlers);

  struct State;

 private:
  std::shared_ptr<DBusConnection> bus_;
  std::shared_ptr<State> state_;  // touched on the bus's strand only
};

}  // namespace melodock
