// Keeps the computer from idling into sleep while music plays: holds a systemd-logind
// "idle:sleep" inhibitor, which lasts exactly as long as its file descriptor is open.
// Does nothing, silently, where no system bus or no logind answers.
#pragma once

#include <atomic>
#include <memory>

#include "platform/dbus_connection.h"

namespace melodock {

class KeepAwake {
 public:
  // What logind is told, as `systemd-inhibit --list` shows it.
  static constexpr const char* kWhat = "idle:sleep";
  static constexpr const char* kWho = "Melodock";
  static constexpr const char* kWhy = "Playing music";
  static constexpr const char* kMode = "block";

  // `systemBus` may be null: then acquire() and release() do nothing.
  explicit KeepAwake(std::shared_ptr<DBusConnection> systemBus);
  // Releases a held inhibitor (on the bus's strand, shortly after).
  ~KeepAwake();
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

  // Asks for the inhibitor and keeps it until release(). Cheap and idempotent: the
  // request travels on the bus's strand and nothing waits for logind's answer. Call
  // acquire() and release() from one actor (the main actor), so they stay in order.
  void acquire();
  // Lets go of the inhibitor, also one whose request is still unanswered: its
  // descriptor is closed when the answer comes.
  void release();

  struct State;

 private:
  void want(bool held);

  std::shared_ptr<DBusConnection> bus_;
  std::shared_ptr<State> state_;  // touched on the bus's strand only
  std::atomic<bool> wanted_ = false;
};

}  // namespace melodock
