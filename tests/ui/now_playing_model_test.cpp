#include "ui/now_playing_model.h"

#include <gtest/gtest.h>

namespace melodock {
namespace {

using Repeat = MusicPlayer::RepeatMode;

NowPlayingSnapshot queueOf(std::size_t count, std::optional<std::size_t> current,
                           Repeat repeat = Repeat::none) {
  NowPlayingSnapshot snapshot;
  for (std::size_t i = 0; i < count; ++i) {
    snapshot.entries.push_back({.id = std::to_string(i),
                                .title = "Song " + std::to_string(i),
                                .subtitle = "",
                                .artworkURL = "",
                                .duration = 200});
  }
  snapshot.current = current;
  snapshot.repeat = repeat;
  return snapshot;
}

TEST(NowPlayingModel, HasNextFollowsTheRepeatMode) {
  struct Row {
    const char* name;
    NowPlayingSnapshot snapshot;
    bool hasNext;
  };
  const std::vector<Row> rows = {
      {"nothing queued", queueOf(0, std::nullopt), false},
      {"first of three", queueOf(3, 0), true},
      {"last, repeat off", queueOf(3, 2), false},
      {"last, repeat one", queueOf(3, 2, Repeat::one), true},
      {"last, repeat all", queueOf(3, 2, Repeat::all), true},
      {"only entry", queueOf(1, 0), false},
      {"no current entry, repeat all", queueOf(0, std::nullopt, Repeat::all), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(nowplaying::hasNext(row.snapshot), row.hasNext);
  }
  EXPECT_EQ(nowplaying::progress(queueOf(0, std::nullopt)), 0);
}

TEST(NowPlayingModel, FormatsTimesAsMinutesAndSeconds) {
  struct Row {
    double seconds;
    const char* text;
  };
  const std::vector<Row> rows = {
      {0, "00:00"},           {59.9, "00:59"}, {61, "01:01"},
      {75 * 60 + 3, "75:03"}, {-4, "00:00"},   {6000, "100:00"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(nowplaying::formatTime(row.seconds), row.text);
  }
}

TEST(NowPlayingModel, SeekClampsTheFractionAtBothEnds) {
  struct Row {
    const char* name;
    double x;
    double seconds;
  };
  const std::vector<Row> rows = {
      {"far left", 0, 0},      {"left of the track", -30, 0},      {"middle", 100, 120},
      {"right end", 200, 240}, {"beyond the right end", 260, 240},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_DOUBLE_EQ(nowplaying::seekTime(row.x, 200, 240), row.seconds);
  }
  EXPECT_EQ(nowplaying::seekTime(50, 0, 240), 0) << "a track not laid out yet";
}

// The current row and another one are the panel's queue test.
TEST(NowPlayingModel, ClickingARowThatIsGoneChangesNothing) {
  EXPECT_EQ(nowplaying::jumpTarget(queueOf(3, 1), 3), std::nullopt);
}

TEST(NowPlayingModel, TitlesComeFromTheEntryThenTheSong) {
  MusicPlayer::Entry entry{.id = "e", .title = "", .subtitle = "From the entry"};
  Song song{.id = "1",
            .title = "Song title",
            .artistName = "Artist",
            .albumTitle = "Album",
            .duration = std::chrono::milliseconds(90'000)};
  EXPECT_EQ(nowplaying::songSubtitle(entry, song), "Artist — Album");
  EXPECT_EQ(nowplaying::songSubtitle(entry, std::nullopt), "From the entry");
  song.albumTitle.reset();
  EXPECT_EQ(nowplaying::songSubtitle(entry, song), "Artist");
}

TEST(Marquee, ScrollsOnlyWhenMoreThanOnePointTooWide) {
  struct Row {
    const char* name;
    double text;
    bool scrolls;
  };
  const std::vector<Row> rows = {
      {"narrower", 150, false},
      {"exactly fits", 200, false},
      {"fits plus one point", 201, false},
      {"a little more", 201.5, true},
      {"far wider", 600, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Marquee marquee(row.text, 200);
    EXPECT_EQ(marquee.scrolls(), row.scrolls);
    if (!row.scrolls) {
      EXPECT_EQ(marquee.at(10).offset, 0);
    }
  }
}

TEST(Marquee, WaitsBeforeEachScrollAndComesBackToTheStart) {
  const Marquee marquee(264, 200);  // travel (264 + 36) / 30 = 10 s
  EXPECT_DOUBLE_EQ(marquee.cycle(), 2.5 + 10 + 2.5 + 0.25);
  EXPECT_EQ(marquee.at(2.49).offset, 0);
  EXPECT_EQ(marquee.at(2.49).fade, 0);
  EXPECT_NEAR(marquee.at(2.5 + 5).offset, 150, 1e-9);
  EXPECT_EQ(marquee.at(2.5 + 5).fade, 1);
  EXPECT_EQ(marquee.at(2.5 + 10 + 1).offset, 0) << "the pause after the travel";
  EXPECT_EQ(marquee.at(marquee.cycle() + 1).offset, 0) << "the next cycle's pause";
  EXPECT_GT(marquee.at(marquee.cycle() + 3).offset, 0);
}

}  // namespace
}  // namespace melodock
