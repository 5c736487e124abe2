// The media controls as the desktop sees them: the player published over MPRIS on a
// private session bus, read and driven by playerctl.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/music/playback/mpris_player.h"
#include "tests/platform/music/player_fixture.h"
#include "tests/platform/private_bus.h"

namespace melodock {
namespace {

using testing::eventually;
using testing::Pool;
using testing::PrivateBus;

// Whether `shown` is `expected`; a position (a number) may be off by playerctl's own
// reckoning of the time since it last asked, a few microseconds.
bool shows(const std::string& shown, const std::string& expected) {
  if (expected.empty() || std::isalpha(static_cast<unsigned char>(expected[0])) != 0) {
    return shown == expected;
  }
  try {
    return std::abs(std::stod(shown) - std::stod(expected)) < 0.05;
  } catch (const std::exception&) {
    return false;
  }
}

// What `playerctl --player=melodock <arguments>` prints (without `ours`, playerctl
// <arguments>), without the last line feed.
std::string playerctl(const std::string& arguments, bool ours = true) {
  const std::string command =
      std::string("playerctl ") + (ours ? "--player=melodock " : "") + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "cannot run playerctl";
  std::string output;
  char buffer[512];
  while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) {
    output.append(buffer, read);
  }
  ::pclose(pipe);
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

Song tagged(const std::string& id, const std::string& title, const std::string& artist,
            const std::string& album, int seconds) {
  Song song = testing::song(id, seconds);
  song.title = title;
  song.artistName = artist;
  song.albumTitle = album;
  song.artwork = Artwork{.urlTemplate = "file:///music/covers/" + id + ".jpg",
                         .width = 600,
                         .height = 600,
                         .backgroundColor = {}};
  return song;
}

TEST(MprisPlayer, ShowsAndSteersThePlayerThroughPlayerctl) {
  PrivateBus bus;
  Pool pool;
  testing::PlayerFixture fixture;
  auto connection = DBusConnection::open(DBusConnection::Bus::kSession, pool.executor());
  ASSERT_NE(connection, nullptr);
  auto mpris = std::make_unique<MprisPlayer>(connection, fixture.player, fixture.main.strand(),
                                             fixture.clock);
  connection->start();
  fixture.on([&] {
    fixture.player.setQueue(
        {tagged("i.1", "Alpha", "Ann", "First", 200), tagged("i.2", "Beta", "Bob", "Second", 100)});
  });

  const std::string metadata =
      "metadata --format "
      "'{{mpris:trackid}}|{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{mpris:length}}|{{"
      "mpris:artUrl}}'";
  EXPECT_TRUE(eventually([] { return playerctl("status") == "Stopped"; })) << playerctl("status");
  // The private bus is both the session and the system bus: playerctl lists it on each.
  EXPECT_EQ(playerctl("--list-all", false), "melodock\nmelodock");
  EXPECT_TRUE(eventually([&] {
    // playerctl prints an object path quoted.
    return playerctl(metadata) ==
           "'/org/melodock/track/1'|Alpha|Ann|First|200000000|file:///music/covers/i.1.jpg";
  })) << playerctl(metadata);

  struct Step {
    const char* command;
    std::string query;
    std::string shows;
    std::function<bool()> player;  // what the player itself says afterwards
  };
  const std::vector<Step> steps = {
      {"play", "status", "Playing",
       [&] { return fixture.status() == MusicPlayer::Status::playing; }},
      {"pause", "status", "Paused",
       [&] { return fixture.status() == MusicPlayer::Status::paused; }},
      {"play-pause", "status", "Playing",
       [&] { return fixture.status() == MusicPlayer::Status::playing; }},
      {"position 30", "position", "30.000000", [&] { return fixture.time() == 30.0; }},
      {"position 10+", "position", "40.000000", [&] { return fixture.time() == 40.0; }},
      {"position 5-", "position", "35.000000", [&] { return fixture.time() == 35.0; }},
      {"loop Track", "loop", "Track",
       [&] {
         return fixture.on([&] { return fixture.player.repeatMode(); }) ==
                MusicPlayer::RepeatMode::one;
       }},
      {"loop None", "loop", "None", [] { return true; }},
      {"shuffle On", "shuffle", "On",
       [&] {
         return fixture.on([&] { return fixture.player.shuffleMode(); }) ==
                MusicPlayer::ShuffleMode::songs;
       }},
      {"shuffle Off", "shuffle", "Off", [] { return true; }},
      {"next", "metadata xesam:title", "Beta", [&] { return fixture.queue() == "i.1 [i.2]"; }},
      {"previous", "metadata xesam:title", "Alpha", [&] { return fixture.queue() == "[i.1] i.2"; }},
      {"stop", "status", "Stopped",
       [&] { return fixture.status() == MusicPlayer::Status::stopped; }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.command);
    playerctl(step.command);
    EXPECT_TRUE(eventually([&] { return shows(playerctl(step.query), step.shows); }))
        << playerctl(step.query);
    EXPECT_TRUE(eventually(step.player));
  }

  // The position moves with the player's clock while playing.
  playerctl("play");
  ASSERT_TRUE(eventually([] { return playerctl("status") == "Playing"; }));
  fixture.advance(std::chrono::seconds(7));
  EXPECT_TRUE(shows(playerctl("position"), "7.000000")) << playerctl("position");
  fixture.on([&] { mpris.reset(); });
}

TEST(MprisPlayer, RaisesTheAppOnlyWhenItCan) {
  for (const bool canRaise : {false, true}) {
    SCOPED_TRACE(canRaise ? "with a desktop" : "headless");
    PrivateBus bus;
    Pool pool;
    testing::PlayerFixture fixture;
    auto connection = DBusConnection::open(DBusConnection::Bus::kSession, pool.executor());
    ASSERT_NE(connection, nullptr);
    std::atomic<int> raised{0};
    std::function<void()> raise;
    if (canRaise) raise = [&raised] { ++raised; };
    auto mpris = std::make_unique<MprisPlayer>(connection, fixture.player, fixture.main.strand(),
                                               fixture.clock, raise);
    connection->start();
    auto caller = bus.connect();
    auto proxy = sdbus::createProxy(*caller, MprisPlayer::kBusName, "/org/mpris/MediaPlayer2");
    sdbus::Variant value;
    proxy->callMethod("Get")
        .onInterface("org.freedesktop.DBus.Properties")
        .withArguments(std::string("org.mpris.MediaPlayer2"), std::string("CanRaise"))
        .storeResultsTo(value);
    EXPECT_EQ(value.get<bool>(), canRaise);
    proxy->callMethod("Raise").onInterface("org.mpris.MediaPlayer2");
    EXPECT_EQ(raised, canRaise ? 1 : 0);
    fixture.on([&] { mpris.reset(); });
  }
}

TEST(MprisPlayer, PublishesNothingWithoutASessionBus) {
  testing::PlayerFixture fixture;
  const MprisPlayer mpris(nullptr, fixture.player, fixture.main.strand(), fixture.clock);
  fixture.on([&] { fixture.player.setQueue({testing::song("1", 10)}); });
  EXPECT_EQ(fixture.status(), MusicPlayer::Status::stopped);
}

}  // namespace
}  // namespace melodock
