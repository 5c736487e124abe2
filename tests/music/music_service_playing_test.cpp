// Playing songs and collections through the dispatcher, as an agent calls them.
#include <gtest/gtest.h>

#include "tests/support/music_service.h"

namespace melodock {
namespace {

using nlohmann::json;
using std::chrono::seconds;
using testing::kNotAuthorized;
using Harness = testing::MusicServiceHarness;

// `text` with the object's key `key` and its value left out (for answers that hold a
// position or a track the row does not care about).
std::string without(const std::string& text, const std::string& key) {
  auto object = json::parse(text);
  object.erase(key);
  return object.dump();
}

TEST(PlaySongs, ChecksInOrderAndReportsMissingAndUnavailableSongs) {
  struct Row {
    const char* name;
    const char* arguments;
    std::string answer;  // without `track`
    std::string queue;   // afterwards
  };
  const std::vector<Row> rows = {
      {"no ids", R"({"ids":[]})", "error: ids must not be empty", ""},
      {"only unknown ids", R"({"ids":["42","pl.aaa"]})", "error: None of those song ids were found",
       ""},
      {"only songs that cannot play", R"({"ids":["1100000004"]})",
       "error: None of these songs can be played on this Apple Music account (not available in "
       "the user's country or not streamable). Pick other songs.",
       ""},
      {"a bad mode, after the look-ups", R"({"ids":["42"],"mode":"Replace"})",
       "error: None of those song ids were found", ""},
      {"some unknown, some unplayable, one repeated",
       R"({"ids":["1100000005","42","1100000004","1100000006","1100000005"]})",
       R"({"added":3,"missing":["42"],"position":0,"queue_length":3,"repeat":"off",)"
       R"("shuffle":false,"status":"playing","unavailable":["1100000004"]})",
       "[1100000005] 1100000006 1100000005"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Harness f;
    const std::string answer = f.call("play_songs", row.arguments);
    EXPECT_EQ(answer.starts_with("error: ") ? answer : without(answer, "track"), row.answer);
    EXPECT_EQ(f.queue(), row.queue);
  }
  Harness denied({.stored = R"({"musicAuthorization":"denied"})"});
  EXPECT_EQ(denied.call("play_songs", R"({"ids":[]})"), kNotAuthorized);
}

TEST(PlaySongs, StartsANewSetOrAddsToTheOneThereAndKeepsTheNoteOnlyWhenAdding) {
  Harness f;
  struct Row {
    const char* name;
    const char* arguments;
    std::string answer;  // the keys the row checks
    std::string queue;   // the service's own queued songs are the same, in order
  };
  const std::vector<Row> rows = {
      {"queue into an empty queue starts a set", R"({"ids":["1100000001"],"mode":"queue"})",
       R"({"added":1,"queue_length":1,"status":"playing"})", "[1100000001]"},
      {"next, with a note", R"({"ids":["1100000005"],"mode":"next","note":"Warm up"})",
       R"({"added":1,"note":"Warm up","queue_length":2,"status":"playing"})",
       "[1100000001] 1100000005"},
      {"next without a note keeps it", R"({"ids":["1100000006"],"mode":"next"})",
       R"({"added":1,"note":"Warm up","queue_length":3,"status":"playing"})",
       "[1100000001] 1100000006 1100000005"},
      {"queue appends", R"({"ids":["1100000003"],"mode":"queue"})",
       R"({"added":1,"note":"Warm up","queue_length":4,"status":"playing"})",
       "[1100000001] 1100000006 1100000005 1100000003"},
      {"a bad mode changes nothing", R"({"ids":["1100000003"],"mode":"Replace"})",
       "error: mode must be replace, next, or queue",
       "[1100000001] 1100000006 1100000005 1100000003"},
      {"replace without a note clears it", R"({"ids":["1100000003","1100000001"]})",
       R"({"added":2,"queue_length":2,"status":"playing"})", "[1100000003] 1100000001"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string answer = f.call("play_songs", row.arguments);
    if (row.answer.starts_with("error: ")) {
      EXPECT_EQ(answer, row.answer);
    } else {
      auto object = json::parse(answer);
      auto expected = json::parse(row.answer);
      for (const auto& [key, value] : expected.items()) EXPECT_EQ(object[key], value) << key;
      EXPECT_EQ(object.contains("note"), expected.contains("note"));
      EXPECT_FALSE(object.contains("warning"));
    }
    EXPECT_EQ(f.queue(), row.queue);
    std::string queued;
    std::string plain = row.queue;
    for (const std::string& id : f.queuedSongs()) queued += (queued.empty() ? "" : " ") + id;
    std::erase_if(plain, [](char c) { return c == '[' || c == ']'; });
    EXPECT_EQ(queued, plain);
  }
  // Shuffled, the service no longer knows the queue's order.
  f.call("set_modes", R"({"shuffle":true})");
  f.call("play_songs", R"({"ids":["1100000005"],"mode":"queue"})");
  EXPECT_EQ(f.queuedSongs(), std::vector<std::string>{});
}

TEST(PlaySongs, AddingToAPausedQueueWaitsTheWholeSettleTimeWithoutAWarning) {
  Harness f;
  f.call("play_songs", R"({"ids":["1100000001"]})");
  f.call("playback", R"({"action":"pause"})");
  const std::size_t timers = f.clock.pending();
  auto done = f.start("play_songs", R"({"ids":["1100000005"],"mode":"queue"})");
  EXPECT_EQ(f.pausesUntil(done, timers), 20);
  const auto answer = json::parse(done.get().text);
  EXPECT_EQ(answer["status"], "paused");
  EXPECT_EQ(answer["queue_length"], 2);
  EXPECT_FALSE(answer.contains("warning"));
}

TEST(PlaySongs, TwoCallsRacingLeaveOneQueueAndTwoTruthfulAnswers) {
  struct Call {
    std::vector<std::string> ids;
    std::future<Tools::Outcome> done;
    json answer;
  };
  Harness f;
  std::vector<Call> calls(2);
  calls[0].ids = {"1100000001", "1100000003"};
  calls[1].ids = {"1100000005", "1100000006", "1100000001"};
  for (Call& call : calls) {
    call.done = f.start("play_songs", json{{"ids", call.ids}}.dump());
  }
  for (Call& call : calls) {
    f.pausesUntil(call.done, 1);  // the song's end is the one timer besides
    call.answer = json::parse(call.done.get().text);
  }
  // The queue is one call's songs, as the service itself says, and that call's answer
  // describes it; the other call's answer describes its own songs or that same queue.
  const std::vector<std::string> queued = f.queuedSongs();
  const auto won = std::find_if(calls.begin(), calls.end(),
                                [&](const Call& call) { return call.ids == queued; });
  ASSERT_NE(won, calls.end()) << f.queue();
  EXPECT_EQ(f.queue().substr(0, 12), "[" + queued.front() + "]");
  for (const Call& call : calls) {
    SCOPED_TRACE(call.answer.dump());
    EXPECT_EQ(call.answer.at("added"), call.ids.size());
    const auto& shown = &call == &*won ? queued : call.ids;
    const bool own = call.answer.at("queue_length") == shown.size() &&
                     call.answer.at("track").at("id") == shown.front();
    const bool final = call.answer.at("queue_length") == queued.size() &&
                       call.answer.at("track").at("id") == queued.front();
    EXPECT_TRUE(own || final);
  }
}

TEST(PlaySongs, ALibrarySongNeedsConsentEvenAmongCatalogSongs) {
  Harness f;
  const std::vector<Song> songs = {testing::song("1100000005", 190)};
  const auto saved = testing::awaitOn(f.main, f.library.addSongs(songs));
  const std::string arguments = R"({"ids":["1100000001",")" + saved.front().id + R"("]})";
  auto refused = f.start("play_songs", arguments);
  f.presenter.answer(0, false);
  EXPECT_EQ("error: " + refused.get().text, testing::kPersonalRefusal);
  EXPECT_EQ(f.queue(), "");
  auto allowed = f.start("play_songs", arguments);
  f.presenter.answer(1, true);
  EXPECT_EQ(json::parse(allowed.get().text)["added"], 2);
  EXPECT_EQ(f.queue(), "[1100000001] " + saved.front().id);
}

// A live station, and a shuffled one drawn from its seed, are the end-to-end playing
// test's.
TEST(PlayCollection, QueuesEachKindOfCollection) {
  struct Row {
    const char* name;
    const char* arguments;
    std::string answer;  // without `position`
    std::string queue;
  };
  const std::vector<Row> rows = {
      {"a catalog album, its video without a song", R"({"type":"album","id":"1200000001"})",
       R"({"queue_length":4,"repeat":"off","shuffle":false,"status":"playing","track":)"
       R"({"album":"First Light","artist":"Alpha Band","duration":200,"genre":"Rock",)"
       R"("id":"1100000001","name":"Morning","year":1980}})",
       "[1100000001] - 1100000003 1100000004"},
      {"a catalog playlist", R"({"type":"playlist","id":"pl.aaa"})",
       R"({"queue_length":2,"repeat":"off","shuffle":false,"status":"playing","track":)"
       R"({"album":"Second Wind","artist":"Beta Singers","duration":170,"genre":"Pop",)"
       R"("id":"1100000006","name":"Night"}})",
       "[1100000006] 1100000001"},
      {"an unknown album", R"({"type":"album","id":"1200000009"})",
       "error: No album with id 1200000009", ""},
      {"an unknown playlist", R"({"type":"playlist","id":"pl.zzz"})",
       "error: No playlist with id pl.zzz", ""},
      {"an unknown station", R"({"type":"station","id":"ra.9"})", "error: No station with id ra.9",
       ""},
      {"another type", R"({"type":"song","id":"1100000001"})",
       "error: type must be album, playlist, or station", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Harness f;
    const std::string answer = f.call("play_collection", row.arguments);
    EXPECT_EQ(answer.starts_with("error: ") ? answer : without(answer, "position"), row.answer);
    EXPECT_EQ(f.queue(), row.queue);
  }
}

TEST(PlayCollection, DoesNotPlayAVideoTheAccountCannotPlay) {
  // Without a subscription no catalog track plays: the album's songs nor its video.
  Harness f;
  f.subscribed = false;
  EXPECT_EQ(f.call("play_collection", R"({"type":"album","id":"1200000001"})"),
            "error: Catalog songs can't be played on this account: it has no music subscription.");
  EXPECT_NE(f.status(), MusicPlayer::Status::playing);
}

TEST(PlayCollection, PlaysTheUsersOwnPlaylistsAndAlbumsWithConsent) {
  Harness f({.stored = R"({"musicAuthorization":"authorized","sharePersonalData":true})"});
  const std::vector<Song> songs = {testing::song("1100000005", 190),
                                   testing::song("1100000006", 170)};
  const auto mine = testing::awaitOn(f.main, f.library.createPlaylist("Mine", {}, songs));
  const auto saved = testing::awaitOn(f.main, f.library.playlistSongs(mine.playlist.id));
  ASSERT_EQ(saved.size(), 2u);
  // The web API lists the playlist's tracks; any other playlist is empty.
  f.webAPI.answer = [&](const WebAPIRequest& request) {
    if (request.url.find("/" + mine.playlist.id + "/tracks") == std::string::npos) {
      return WebAPIResponse{200, R"({"data":[]})"};
    }
    return WebAPIResponse{200, R"({"data":[{"id":")" + saved[0].id +
                                   R"(","type":"library-songs"},{"id":")" + saved[1].id +
                                   R"(","type":"library-songs"}]})"};
  };
  const std::string arguments = R"({"type":"playlist","id":")" + mine.playlist.id + R"("})";
  EXPECT_EQ(json::parse(f.call("play_collection", arguments))["queue_length"], 2);
  EXPECT_EQ(f.queue(), "[" + saved[0].id + "] " + saved[1].id);
  EXPECT_EQ(f.playedIn.back(), mine.playlist.id);
  EXPECT_EQ(f.call("play_collection", R"({"type":"playlist","id":"p.999"})"),
            "error: Playlist p.999 has no playable songs");
  // "Favourite Songs" is a library playlist with nothing in it yet.
  EXPECT_EQ(f.call("play_collection", R"({"type":"playlist","id":"l.1"})"),
            "error: The queue is empty: there is nothing to play.");
  EXPECT_EQ(f.call("play_collection", R"({"type":"album","id":"l.999"})"),
            "error: No album with id l.999");
}

// Played without a note (the old note answered, none after) is the end-to-end playing
// test's.
TEST(PlayCollection, AppliesTheNoteOnceTheAnswerIsBuiltWhateverTheOutcome) {
  struct Row {
    const char* name;
    const char* stored;
    const char* arguments;
    bool answerShowsOldNote;
    std::optional<std::string> noteAfter;
  };
  const char* authorized = R"({"musicAuthorization":"authorized"})";
  const std::vector<Row> rows = {
      {"played", authorized, R"({"type":"album","id":"1200000002","note":"New"})", true, "New"},
      {"no such album", authorized, R"({"type":"album","id":"1","note":"New"})", false, "New"},
      {"another type", authorized, R"({"type":"x","id":"1"})", false, std::nullopt},
      {"not authorized", R"({"musicAuthorization":"denied"})",
       R"({"type":"album","id":"1200000002","note":"New"})", false, "Old"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Harness f({.stored = row.stored});
    f.call("set_note", R"({"text":"Old"})");
    const std::string answer = f.call("play_collection", row.arguments);
    if (row.answerShowsOldNote) {
      EXPECT_EQ(json::parse(answer)["note"], "Old");
    }
    EXPECT_EQ(f.on([&] { return f.service->note(); }), row.noteAfter);
  }
}

TEST(PlayCollection, NamesTheQueuedSongsUnlessANewerQueueCameFirst) {
  for (const bool newer : {false, true}) {
    SCOPED_TRACE(newer ? "a newer queue came first" : "no newer queue");
    Harness f;
    // The queue is set at once; the background load of the album's songs takes 10 s.
    f.on([&] { f.small->albumTrackDelays = {seconds(0), seconds(10)}; });
    f.call("play_collection", R"({"type":"album","id":"1200000001"})");
    EXPECT_EQ(f.queuedSongs(), std::vector<std::string>{});
    if (newer) f.call("play_songs", R"({"ids":["1100000005"]})");
    f.advance(seconds(10));
    // The load's answer and what the service does with it arrive together.
    f.eventually([&] { return f.small->albumTrackLoads == 2; });
    const std::vector<std::string> expected =
        newer ? std::vector<std::string>{"1100000005"}
              : std::vector<std::string>{"1100000001", "1100000003", "1100000004"};
    EXPECT_EQ(f.queuedSongs(), expected);
  }
}

TEST(Queue, ListsTheEntriesAndMarksTheCurrentOne) {
  Harness f({.stored = R"({"musicAuthorization":"denied"})"});
  EXPECT_EQ(f.call("get_queue"), R"({"entries":[]})");
  f.on([&] {
    f.player.setQueue({testing::song("7", 60), testing::song("8", 60)});
    f.player.skipToNextEntry();
  });
  EXPECT_EQ(f.call("get_queue"),
            R"({"entries":[{"artist":"Artist 7","duration":60,"id":"7","name":"Title 7"},)"
            R"({"artist":"Artist 8","current":true,"duration":60,"id":"8","name":"Title 8"}]})");
}

}  // namespace
}  // namespace melodock
