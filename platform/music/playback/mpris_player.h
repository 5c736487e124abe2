// The player as the desktop's media controls see it: org.mpris.MediaPlayer2.melodock on
// the session bus (MPRIS 2.2), so panel widgets, media keys and playerctl show and steer
// what agents play. Does nothing, silently, where no session bus answers.
#pragma once

#include <functional>
#include <memory>

#include <asio.hpp>

#include "platform/clock.h"
#include "platform/dbus_connection.h"
#include "platform/music/playback/music_player.h"

namespace melodock {

class MprisPlayer {
 public:
  static constexpr const char* kBusName = "org.mpris.MediaPlayer2.melodock";
  static constexpr const char* kIdentity = "Melodock";
  // How often, while playing, the position is compared with where it should be, to tell
  // a seek made elsewhere (a tool) with the Seeked signal.
  static constexpr std::chrono::seconds kPositionCheck{1};

  // `sessionBus` may be null: then nothing is published. Call while composing, before
  // the bus starts (the name is requested with a round trip). `player` lives on `main`
  // (its actor) and must outlive this object; so must `clock`. `raise`, when given, is
  // what Raise does (CanRaise is true then); it runs on the bus's strand and must only
  // hand the work on.
  MprisPlayer(std::shared_ptr<DBusConnection> sessionBus, MusicPlayer& player,
              asio::any_io_executor main, Clock& clock, std::function<void()> raise = {});
  // Leaves the bus (on its strand, shortly after). Call on the player's actor.
  ~MprisPlayer();
  MprisPlayer(const MprisPlayer&) = delete;
  MprisPlayer& operator=(const MprisPlayer&) = delete;

  struct Shared;
  struct Published;

 private:
  std::shared_ptr<DBusConnection> bus_;
  std::shared_ptr<Shared> shared_;  // on the player's actor
};

}  // namespace melodock
