// The player's clock, queue and modes, on a virtual output and a manual clock.
#include <gtest/gtest.h>

#include "tests/platform/music/player_fixture.h"

namespace melodock {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::PlayerFixture;
using testing::song;
using Status = MusicPlayer::Status;
using Repeat = MusicPlayer::RepeatMode;
using Shuffle = MusicPlayer::ShuffleMode;

TEST(MusicPlayer, KeepsTimeOnlyWhilePlayingAndEndsSongsWhenTheyAreDue) {
  PlayerFixture f;
  f.on([&] {
    f.player.setQueue({song("a", 10), song("b", 20)});
    f.player.play();
  });
  f.advance(seconds(4));
  EXPECT_DOUBLE_EQ(f.time(), 4);
  f.on([&] { f.player.pause(); });
  f.advance(seconds(100));
  EXPECT_DOUBLE_EQ(f.time(), 4);
  EXPECT_EQ(f.status(), Status::paused);
  f.on([&] { f.player.play(); });  // a resume is not a new play
  f.advance(seconds(6));           // a ends on its own, b follows
  EXPECT_EQ(f.queue(), "a [b]");
  EXPECT_DOUBLE_EQ(f.time(), 0);
  f.advance(milliseconds(19'500));
  EXPECT_DOUBLE_EQ(f.time(), 19.5);
  f.advance(seconds(1));  // the end of the queue stops at the start of its last entry
  EXPECT_EQ(f.status(), Status::stopped);
  EXPECT_EQ(f.queue(), "a [b]");
  EXPECT_DOUBLE_EQ(f.time(), 0);
  EXPECT_EQ(f.played, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.clock.pending(), 0u);  // nothing left scheduled
}

TEST(MusicPlayer, FollowsTheRepeatModeWhenASongEnds) {
  struct Row {
    Repeat repeat;
    std::string queueAfter;
    Status status;
    std::vector<std::string> played;
  };
  const std::vector<Row> rows = {
      {Repeat::none, "a [b]", Status::stopped, {"a", "b"}},
      {Repeat::one, "[a] b", Status::playing, {"a", "a", "a", "a"}},
      {Repeat::all, "a [b]", Status::playing, {"a", "b", "a", "b"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.repeat));
    PlayerFixture f;
    f.on([&] {
      f.player.setQueue({song("a", 10), song("b", 10)});
      f.player.setRepeatMode(row.repeat);
      f.player.play();
    });
    for (int i = 0; i < 3; ++i) f.advance(seconds(10));
    f.advance(milliseconds(500));
    EXPECT_EQ(f.queue(), row.queueAfter);
    EXPECT_EQ(f.status(), row.status);
    EXPECT_EQ(f.played, row.played);
  }
}

// The texts of a play on an empty queue, a skip past the end and a catalog song without a
// subscription are the tools' tests' (MusicService, PlayCollection, and end to end).
TEST(MusicPlayer, SkipsAroundTheQueueAndFailsPastItsEndsWithoutRepeat) {
  PlayerFixture f;
  f.on([&] { f.player.setQueue({song("a", 60), song("b", 60), song("c", 60)}); });
  EXPECT_EQ(f.attempt([&] { f.player.skipToPreviousEntry(); }),
            "There is no previous entry in the queue.");
  EXPECT_EQ(f.attempt([&] { f.player.skipToNextEntry(); }), "ok");
  EXPECT_EQ(f.attempt([&] { f.player.skipToNextEntry(); }), "ok");
  EXPECT_EQ(f.queue(), "a b [c]");
  f.on([&] { f.player.setRepeatMode(Repeat::all); });
  EXPECT_EQ(f.attempt([&] { f.player.skipToNextEntry(); }), "ok");
  EXPECT_EQ(f.queue(), "[a] b c");
  EXPECT_EQ(f.attempt([&] { f.player.skipToPreviousEntry(); }), "ok");
  EXPECT_EQ(f.queue(), "a b [c]");
  EXPECT_TRUE(f.played.empty());  // nothing played while stopped

  // While playing, a skip plays the new entry from its start.
  f.on([&] { f.player.play(); });
  f.advance(seconds(30));
  EXPECT_EQ(f.attempt([&] { f.player.skipToPreviousEntry(); }), "ok");
  EXPECT_EQ(f.queue(), "a [b] c");
  EXPECT_DOUBLE_EQ(f.time(), 0);
  EXPECT_EQ(f.played, (std::vector<std::string>{"c", "b"}));
}

TEST(MusicPlayer, ShufflesOnlyWhatIsUpcomingAndRestoresItsOrder) {
  PlayerFixture f;
  std::vector<Song> songs;
  for (char c = 'a'; c <= 'j'; ++c) songs.push_back(song(std::string(1, c), 60));
  f.on([&] {
    f.player.setQueue(songs);
    f.player.skipToNextEntry();
    f.player.setShuffleMode(Shuffle::songs);
  });
  const std::string shuffled = f.queue();
  EXPECT_TRUE(shuffled.starts_with("a [b] ")) << shuffled;
  EXPECT_NE(shuffled, "a [b] c d e f g h i j");
  std::string sorted = shuffled;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, "         []abcdefghij");  // the same songs, once each
  f.on([&] { f.player.setShuffleMode(Shuffle::off); });
  EXPECT_EQ(f.queue(), "a [b] c d e f g h i j");

  // The same song queued twice is two entries.
  f.on([&] { f.player.append({song("a", 60)}); });
  const auto ids = f.on(
      [&] { return std::make_pair(f.player.entries().front().id, f.player.entries().back().id); });
  EXPECT_NE(ids.first, ids.second);
}

TEST(MusicPlayer, PlaysStationsEndlesslyAndLiveStationsAsOneGrowingEntry) {
  PlayerFixture f;
  Station station{.id = "ra.1", .name = "Rock Radio"};
  f.on([&] {
    f.player.setQueue(station, {song("a", 10), song("b", 10), song("c", 10)});
    f.player.play();
  });
  for (int i = 0; i < 20; ++i) f.advance(seconds(10));
  EXPECT_EQ(f.status(), Status::playing);
  EXPECT_EQ(f.played.size(), 21u);
  for (std::size_t i = 1; i < f.played.size(); ++i) EXPECT_NE(f.played[i], f.played[i - 1]) << i;
  f.on([&] { f.player.skipToNextEntry(); });  // a station always has a next song

  Station live{.id = "ra.2", .name = "Live Radio", .isLive = true};
  f.on([&] {
    f.player.setQueue(live, {});
    f.player.play();
  });
  f.advance(std::chrono::hours(2));
  // One entry without a song ("-"), its title the station's: end to end, on "Melodock Radio".
  EXPECT_EQ(f.queue(), "[-]");
  EXPECT_DOUBLE_EQ(f.time(), 7200);
  f.on([&] { f.player.stop(); });
  EXPECT_DOUBLE_EQ(f.time(), 0);
}

TEST(MusicPlayer, StartsOnlyWhatThisAccountMayPlay) {
  PlayerFixture f;
  f.subscribed = false;
  auto start = [&](std::vector<Song> songs) {
    f.on([&] { f.player.setQueue(songs); });
    return f.attempt([&] { f.player.play(); });
  };
  EXPECT_EQ(start({song("i.7", 60)}), "ok");  // a library song needs no subscription
  f.subscribed = true;
  EXPECT_EQ(start({song("1002", 60, /*playable=*/false)}),
            "\"Title 1002\" can't be played on this account.");
  // A queue that starts with what it cannot play starts at the first it can.
  EXPECT_EQ(start({song("4", 10, false), song("5", 10, false), song("6", 10)}), "ok");
  EXPECT_EQ(f.queue(), "4 5 [6]");
  // On its own, the player passes over a song it cannot play.
  EXPECT_EQ(start({song("1", 10), song("2", 10, false), song("3", 10)}), "ok");
  f.advance(seconds(10));
  EXPECT_EQ(f.queue(), "1 2 [3]");
}

// Without a subscription a catalog video fails as a song does: PlayCollection's test.
TEST(MusicPlayer, PlaysAMusicVideoByTheRuleOfASong) {
  auto video = [](const std::string& id, bool playable) {
    MusicVideo made{.id = id, .title = "Clip " + id, .duration = seconds(30)};
    if (playable) made.playParameters = PlayParameters{id, "musicVideo"};
    return made;
  };
  PlayerFixture f;
  const Album clips{.id = "9", .title = "Clips"};
  f.on([&] {
    f.player.setQueue(clips, {song("1", 10, false), video("2", false), song("3", 10, false)});
  });
  EXPECT_EQ(f.attempt([&] { f.player.play(); }), "\"Title 1\" can't be played on this account.");
  EXPECT_NE(f.status(), Status::playing);
  f.on([&] { f.player.setQueue(clips, {song("1", 10, false), video("2", true)}); });
  EXPECT_EQ(f.attempt([&] { f.player.play(); }), "ok");
  EXPECT_EQ(f.status(), Status::playing);
  // Playing on its own, the player passes over a video it cannot play.
  f.on([&] {
    f.player.setQueue(clips, {song("1", 10), video("2", false), song("3", 10)});
    f.player.play();
  });
  f.advance(seconds(10));
  EXPECT_EQ(f.queue(), "1 - [3]");
}

TEST(MusicPlayer, TreatsASeekPastTheEndAsTheEndAndGuessesAMissingLength) {
  PlayerFixture f;
  f.on([&] {
    f.player.setQueue({song("a", 30), song("b", 0)});
    f.player.play();
    f.player.setPlaybackTime(-5);
  });
  EXPECT_DOUBLE_EQ(f.time(), 0);
  f.on([&] { f.player.setPlaybackTime(95); });
  f.advance(milliseconds(1));
  EXPECT_EQ(f.queue(), "a [b]");
  f.advance(seconds(179));
  EXPECT_EQ(f.status(), Status::playing);
  f.advance(seconds(1));
  EXPECT_EQ(f.status(), Status::stopped);
}

TEST(MusicPlayer, TellsObserversBeforeEachChange) {
  PlayerFixture f;
  std::vector<std::string> seen;
  f.on([&] {
    f.player.observe([&] { seen.push_back(f.player.status() == Status::playing ? "p" : "s"); });
    f.player.setQueue({song("a", 10)});
    f.player.play();
    f.player.pause();
    f.player.pause();  // no change, nobody told
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"s", "s", "p"}));
}

}  // namespace
}  // namespace melodock
