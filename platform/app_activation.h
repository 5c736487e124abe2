// The running app on the session bus: it owns org.melodock.Melodock and answers
// org.freedesktop.Application, so launching Melodock again (from the app launcher or
// by hand) raises the running app's panel instead of starting a second app. Does
// nothing, silently, where no session bus answers.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/dbus_connection.h"

namespace melodock {

class AppActivation {
 public:
  static constexpr const char* kBusName = "org.melodock.Melodock";
  static constexpr const char* kPath = "/org/melodock/Melodock";
  static constexpr const char* kInterface = "org.freedesktop.Application";
  static constexpr std::chrono::milliseconds kAskTimeout{3000};

  // `sessionBus` may be null: then nobody can activate the app. Call while composing,
  // before the bus starts (the name is requested with a round trip). `activate` runs on
  // the bus's strand for each Activate, Open or ActivateAction; it must only hand the
  // work on (post it) and must outlive this object.
  AppActivation(std::shared_ptr<DBusConnection> sessionBus, std::function<void()> activate);
  // Leaves the bus (on its strand, shortly after).
  ~AppActivation();
  AppActivation(const AppActivation&) = delete;
  AppActivation& operator=(const AppActivation&) = delete;

  // From a second launch: asks the app that owns the name to activate. True when it
  // answered; false without a session bus, without an owner or without an answer
  // within `timeout`. Waits for the answer: for main, before anything else runs.
  [[nodiscard]] static bool activateRunning(std::chrono::milliseconds timeout = kAskTimeout);

  struct Published;

 private:
  std::shared_ptr<DBusConnection> bus_;
  std::shared_ptr<Published> published_;
};

}  // namespace melodock
