// The application music player: one queue of entries, a status, shuffle and repeat
// modes and a playback time, rendered entry by entry through an AudioOutput. It lives
// on the main actor: every call comes from there and observers are told there, before
// each change.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/music/items.h"
#include "platform/music/playback/audio_output.h"

namespace melodock {

// A player operation that cannot be done, with a sentence for the user.
class PlayerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MusicPlayer final : private AudioOutput::Listener {
 public:
  enum class Status { stopped, playing, paused, interrupted, seekingForward, seekingBackward };
  enum class ShuffleMode { off, songs };
  enum class RepeatMode { none, one, all };

  struct Entry {
    std::string id;  // the entry's own: the same song queued twice is two entries
    std::string title;
    std::optional<std::string> subtitle;
    std::optional<Artwork> artwork;
    std::optional<Song> song;           // none for a music video or a live station
    std::optional<MusicVideo> video{};  // the music video it plays, if it is one
    std::optional<std::chrono::milliseconds> duration;
    bool live = false;
    std::uint64_t order = 0;  // place in the queue as built, restored when shuffle ends
    std::optional<PlayContext> context{};  // the album or playlist it was queued with

    bool operator==(const Entry&) const = default;
  };

  struct Options {
    // Whether catalog songs and music videos may start (an account with a
    // subscription); library songs ("i." ids) always may.
    std::function<bool()> canPlayCatalog = [] { return true; };
    // Called when a song starts playing, with what it was queued as part of and the
    // wall-clock time: the play history.
    std::function<void(const Song&, const std::optional<PlayContext>&,
                       std::chrono::system_clock::time_point)>
        songStarted;
    // Seeds shuffling and the songs a station draws.
    std::uint32_t seed = std::random_device()();
  };

  // `output` and `clock` must outlive the player.
  MusicPlayer(AudioOutput& output, Clock& clock, Options options);
  ~MusicPlayer() override;

  // Called before each change of status, modes, queue or current entry.
  void observe(std::function<void()> observer);

  [[nodiscard]] Status status() const { return status_; }
  [[nodiscard]] ShuffleMode shuffleMode() const { return shuffle_; }
  [[nodiscard]] RepeatMode repeatMode() const { return repeat_; }
  void setShuffleMode(ShuffleMode mode);
  void setRepeatMode(RepeatMode mode);

  [[nodiscard]] const std::vector<Entry>& entries() const { return entries_; }
  [[nodiscard]] const Entry* currentEntry() const;
  // Makes the entry with `entryID` current, from its start; it plays if the player was
  // playing. Throws PlayerError for an id not in the queue.
  void setCurrentEntry(const std::string& entryID);

  // Seconds into the current entry; 0 without one.
  [[nodiscard]] double playbackTime() const;
  // Moves within the current entry; negative times count as 0, and a time past the end
  // ends the entry as if it had played to there.
  void setPlaybackTime(double seconds);

  // Replaces the queue; the first entry becomes current, not yet playing. Songs queued
  // with an album or a playlist carry it as their context.
  void setQueue(const std::vector<Song>& songs,
                const std::optional<PlayContext>& context = std::nullopt);
  void setQueue(const Album& album, const std::vector<Track>& tracks);
  void setQueue(const Playlist& playlist, const std::vector<Track>& tracks);
  // A live station is one entry without a song whose time grows until stopped; another
  // station plays an endless run of songs drawn from `seed`.
  void setQueue(const Station& station, std::vector<Song> seed);
  // Songs after the current entry, or at the end; into an empty queue, they become it.
  void insertNext(const std::vector<Song>& songs);
  void append(const std::vector<Song>& songs);

  // Starts or resumes the current entry. Throws PlayerError with an empty queue, or
  // when no entry from the current one on may play on this account: a song or a music
  // video plays with play parameters, from the catalog only with a subscription.
  void play();
  void pause();
  // Stops and goes back to the start of the current entry.
  void stop();
  // Moves to the next or previous entry, wrapping around under repeat. Throws
  // PlayerError at the end (or start) of the queue without repeat.
  void skipToNextEntry();
  void skipToPreviousEntry();

  // Why the output last failed to render an entry. A failed entry is passed over for the
  // next one the account can play; when none is left (or every one failed in turn) the
  // player stops on the failed entry.
  [[nodiscard]] const std::optional<std::string>& lastFailure() const { return lastFailure_; }

 private:
  void outputStarted(std::uint64_t token) override;
  void outputDuration(std::uint64_t token, AudioOutput::Duration duration) override;
  void outputEnded(std::uint64_t token) override;
  void outputFailed(std::uint64_t token, std::string message) override;

  void willChange();
  void replace(std::vector<Entry> entries);
  [[nodiscard]] Entry entryFor(const Song& song);
  [[nodiscard]] Entry entryFor(const Track& track);
  [[nodiscard]] std::vector<Entry> entriesFor(const std::vector<Song>& songs);
  void insertAt(std::size_t position, const std::vector<Song>& songs);
  [[nodiscard]] std::optional<std::size_t> nextPlayable(std::size_t index) const;
  [[nodiscard]] std::optional<std::size_t> following(std::size_t index) const;
  void topUpStation();
  void checkPlayable(const Entry& entry) const;
  // Loads the current entry into the output at `position`, playing or not.
  void load(AudioOutput::Duration position, bool playing);
  void updateNext();
  void moveTo(std::size_t index);
  void noteStart(const Entry& entry);

  AudioOutput& output_;
  Clock& clock_;
  Options options_;
  std::mt19937 random_;
  std::vector<std::function<void()>> observers_;

  std::vector<Entry> entries_;
  std::optional<std::size_t> current_;
  Status status_ = Status::stopped;
  ShuffleMode shuffle_ = ShuffleMode::off;
  RepeatMode repeat_ = RepeatMode::none;
  std::uint64_t nextEntryID_ = 0;
  std::uint64_t nextOrder_ = 0;
  std::uint64_t nextToken_ = 0;
  std::uint64_t currentToken_ = 0;    // what the output renders as the current entry
  std::uint64_t startedToken_ = 0;    // the last rendering counted as a play
  std::uint64_t followingToken_ = 0;  // what it hands over to, when it does
  std::optional<std::size_t> followingIndex_;
  std::vector<Song> stationSeed_;  // songs of a non-live station; empty otherwise
  std::optional<std::string> lastFailure_;
  std::size_t failures_ = 0;      // failed in a row since something last started
  std::size_t failureLimit_ = 0;  // where that run stops
  bool unloaded_ = false;         // the current entry failed and the output holds nothing
};

}  // namespace melodock
