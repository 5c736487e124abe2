#include "platform/music/playback/music_player.h"

#include <algorithm>
#include <cmath>

namespace melodock {
namespace {

// How many entries a station keeps ahead of the one playing, so "next" always has one.
constexpr std::size_t kStationLookahead = 3;

AudioOutput::Duration seconds(double value) {
  return std::chrono::duration_cast<AudioOutput::Duration>(std::chrono::duration<double>(value));
}

}  // namespace

MusicPlayer::MusicPlayer(AudioOutput& output, Clock& clock, Options options)
    : output_(output), clock_(clock), options_(std::move(options)), random_(options_.seed) {
  output_.setListener(this);
}

MusicPlayer::~MusicPlayer() {
  output_.setListener(nullptr);
  output_.stop();
}

void MusicPlayer::observe(std::function<void()> observer) {
  observers_.push_back(std::move(observer));
}

void MusicPlayer::willChange() {
  for (const auto& observer : observers_) observer();
}

const MusicPlayer::Entry* MusicPlayer::currentEntry() const {
  return current_ ? &entries_[*current_] : nullptr;
}

double MusicPlayer::playbackTime() const {
  if (!current_) return 0;
  return std::chrono::duration<double>(output_.position()).count();
}

void MusicPlayer::setPlaybackTime(double value) {
  if (!current_) return;
  output_.seek(seconds(std::isnan(value) || value < 0 ? 0 : value));
}

void MusicPlayer::setShuffleMode(ShuffleMode mode) {
  if (mode == shuffle_) return;
  willChange();
  shuffle_ = mode;
  const auto upcoming =
      entries_.begin() + static_cast<std::ptrdiff_t>(current_ ? *current_ + 1 : 0);
  if (mode == ShuffleMode::songs) {
    std::shuffle(upcoming, entries_.end(), random_);
  } else {
    std::stable_sort(upcoming, entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.order < b.order; });
  }
  updateNext();
}

void MusicPlayer::setRepeatMode(RepeatMode mode) {
  if (mode == repeat_) return;
  willChange();
  repeat_ = mode;
  updateNext();
}

void MusicPlayer::setCurrentEntry(const std::string& entryID) {
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) { return entry.id == entryID; });
  if (found == entries_.end()) throw PlayerError("The queue has no entry " + entryID + ".");
  moveTo(static_cast<std::size_t>(found - entries_.begin()));
}

MusicPlayer::Entry MusicPlayer::entryFor(const Song& song) {
  return Entry{.id = std::to_string(++nextEntryID_),
               .title = song.title,
               .subtitle = song.artistName,
               .artwork = song.artwork,
               .song = song,
               .duration = song.duration,
               .live = false,
               .order = nextOrder_++};
}

MusicPlayer::Entry MusicPlayer::entryFor(const Track& track) {
  if (const Song* song = asSong(track)) return entryFor(*song);
  const auto& video = std::get<MusicVideo>(track);
  return Entry{.id = std::to_string(++nextEntryID_),
               .title = video.title,
               .subtitle = video.artistName,
               .artwork = video.artwork,
               .song = std::nullopt,
               .video = video,
               .duration = video.duration,
               .live = false,
               .order = nextOrder_++};
}

std::vector<MusicPlayer::Entry> MusicPlayer::entriesFor(const std::vector<Song>& songs) {
  std::vector<Entry> entries;
  entries.reserve(songs.size());
  for (const Song& song : songs) entries.push_back(entryFor(song));
  return entries;
}

void MusicPlayer::replace(std::vector<Entry> entries) {
  willChange();
  entries_ = std::move(entries);
  stationSeed_.clear();
  current_ = entries_.empty() ? std::nullopt : std::optional<std::size_t>(0);
  status_ = Status::stopped;
  if (shuffle_ == ShuffleMode::songs && entries_.size() > 1) {
    std::shuffle(entries_.begin() + 1, entries_.end(), random_);
  }
  failures_ = 0;
  if (current_) {
    load(AudioOutput::Duration::zero(), false);
  } else {
    output_.stop();
    unloaded_ = false;
  }
}

void MusicPlayer::setQueue(const std::vector<Song>& songs,
                           const std::optional<PlayContext>& context) {
  std::vector<Entry> entries = entriesFor(songs);
  for (Entry& entry : entries) entry.context = context;
  replace(std::move(entries));
}

void MusicPlayer::setQueue(const Album& album, const std::vector<Track>& tracks) {
  const PlayContext context{
      .id = album.id, .kind = "albums", .name = album.title, .artistName = album.artistName};
  std::vector<Entry> entries;
  entries.reserve(tracks.size());
  for (const Track& track : tracks) {
    entries.push_back(entryFor(track));
    entries.back().context = context;
  }
  replace(std::move(entries));
}

void MusicPlayer::setQueue(const Playlist& playlist, const std::vector<Track>& tracks) {
  const PlayContext context{.id = playlist.id,
                            .kind = "playlists",
                            .name = playlist.name,
                            .artistName = playlist.curatorName};
  std::vector<Entry> entries;
  entries.reserve(tracks.size());
  for (const Track& track : tracks) {
    entries.push_back(entryFor(track));
    entries.back().context = context;
  }
  replace(std::move(entries));
}

void MusicPlayer::setQueue(const Station& station, std::vector<Song> seed) {
  if (station.isLive) {
    replace({Entry{.id = std::to_string(++nextEntryID_),
                   .title = station.name,
                   .subtitle = "Live",
                   .artwork = station.artwork,
                   .song = std::nullopt,
                   .duration = std::nullopt,
                   .live = true,
                   .order = nextOrder_++}});
    return;
  }
  if (seed.empty()) throw PlayerError("The station " + station.name + " has nothing to play.");
  replace({});
  stationSeed_ = std::move(seed);
  topUpStation();
  current_ = 0;
  load(AudioOutput::Duration::zero(), false);
}

// Keeps a few drawn songs ahead of the current one, never the same song twice in a row.
void MusicPlayer::topUpStation() {
  if (stationSeed_.empty()) return;
  const std::size_t current = current_.value_or(0);
  while (entries_.size() < current + 1 + kStationLookahead) {
    std::uniform_int_distribution<std::size_t> pick(0, stationSeed_.size() - 1);
    std::size_t index = pick(random_);
    if (stationSeed_.size() > 1 && !entries_.empty() && entries_.back().song &&
        entries_.back().song->id == stationSeed_[index].id) {
      index = (index + 1) % stationSeed_.size();
    }
    entries_.push_back(entryFor(stationSeed_[index]));
  }
}

void MusicPlayer::insertNext(const std::vector<Song>& songs) {
  if (!current_) return replace(entriesFor(songs));
  insertAt(*current_ + 1, songs);
}

void MusicPlayer::append(const std::vector<Song>& songs) {
  if (!current_) return replace(entriesFor(songs));
  insertAt(entries_.size(), songs);
}

void MusicPlayer::insertAt(std::size_t position, const std::vector<Song>& songs) {
  if (songs.empty()) return;
  willChange();
  std::vector<Entry> added = entriesFor(songs);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position),
                  std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  updateNext();
}

void MusicPlayer::checkPlayable(const Entry& entry) const {
  // A music video follows the rule of a song; a station plays on any account.
  const bool song = entry.song.has_value();
  if (!song && !entry.video) return;
  const std::string& id = song ? entry.song->id : entry.video->id;
  const bool hasPlayParameters =
      song ? entry.song->playParameters.has_value() : entry.video->playParameters.has_value();
  if (!hasPlayParameters) {
    throw PlayerError("\"" + entry.title + "\" can't be played on this account.");
  }
  if (!isLibrarySongID(id) && !options_.canPlayCatalog()) {
    throw PlayerError(
        "Catalog songs can't be played on this account: it has no music subscription.");
  }
}

void MusicPlayer::play() {
  if (!current_) throw PlayerError("The queue is empty: there is nothing to play.");
  try {
    checkPlayable(entries_[*current_]);
  } catch (const PlayerError&) {
    // A queue that starts with an entry this account cannot play starts at the first
    // one it can, as if the entries before had ended.
    const std::optional<std::size_t> playable = nextPlayable(*current_);
    if (!playable) throw;
    willChange();
    current_ = *playable;
    status_ = Status::playing;
    topUpStation();
    load(AudioOutput::Duration::zero(), true);
    return;
  }
  if (unloaded_) {
    // The queue stopped on a failed entry: it is tried once more, as a new run.
    willChange();
    status_ = Status::playing;
    failures_ = 0;
    load(AudioOutput::Duration::zero(), true);
    return;
  }
  if (status_ == Status::playing) return;
  willChange();
  status_ = Status::playing;
  output_.play();
}

void MusicPlayer::pause() {
  if (status_ != Status::playing) return;
  willChange();
  status_ = Status::paused;
  output_.pause();
}

void MusicPlayer::stop() {
  if (!current_ && status_ == Status::stopped) return;
  willChange();
  status_ = Status::stopped;
  if (current_ && !unloaded_) load(AudioOutput::Duration::zero(), false);
}

void MusicPlayer::skipToNextEntry() {
  if (!current_) throw PlayerError("There is no next entry in the queue.");
  if (*current_ + 1 < entries_.size()) return moveTo(*current_ + 1);
  if (repeat_ == RepeatMode::none) throw PlayerError("There is no next entry in the queue.");
  moveTo(0);
}

void MusicPlayer::skipToPreviousEntry() {
  if (!current_) throw PlayerError("There is no previous entry in the queue.");
  if (*current_ > 0) return moveTo(*current_ - 1);
  if (repeat_ == RepeatMode::none) throw PlayerError("There is no previous entry in the queue.");
  moveTo(entries_.size() - 1);
}

void MusicPlayer::moveTo(std::size_t index) {
  willChange();
  current_ = index;
  topUpStation();
  bool playing = status_ == Status::playing;
  if (playing) {
    try {
      checkPlayable(entries_[index]);
    } catch (const PlayerError&) {
      status_ = Status::paused;  // the entry is there, but it cannot sound here
      playing = false;
    }
  }
  load(AudioOutput::Duration::zero(), playing);
}

void MusicPlayer::load(AudioOutput::Duration position, bool playing) {
  const Entry& entry = entries_[*current_];
  unloaded_ = false;
  currentToken_ = ++nextToken_;
  output_.load(OutputItem{currentToken_, entry.song, entry.duration, entry.live}, position,
               playing);
  updateNext();
}

// The entry that plays when the current one ends by itself.
std::optional<std::size_t> MusicPlayer::following(std::size_t index) const {
  if (repeat_ == RepeatMode::one) return index;
  return nextPlayable(index);
}

// The first entry after `index` that this account can play, wrapping under repeat all.
std::optional<std::size_t> MusicPlayer::nextPlayable(std::size_t index) const {
  auto playable = [&](std::size_t at) {
    try {
      checkPlayable(entries_[at]);
      return true;
    } catch (const PlayerError&) {
      return false;
    }
  };
  for (std::size_t at = index + 1; at < entries_.size(); ++at) {
    if (playable(at)) return at;
  }
  if (repeat_ == RepeatMode::all) {
    for (std::size_t at = 0; at <= index; ++at) {
      if (playable(at)) return at;
    }
  }
  return std::nullopt;
}

void MusicPlayer::updateNext() {
  followingIndex_ = current_ ? following(*current_) : std::nullopt;
  if (!followingIndex_) {
    output_.setNext(std::nullopt);
    return;
  }
  const Entry& entry = entries_[*followingIndex_];
  followingToken_ = ++nextToken_;
  output_.setNext(OutputItem{followingToken_, entry.song, entry.duration, entry.live});
}

void MusicPlayer::noteStart(const Entry& entry) {
  if (entry.song && options_.songStarted) {
    options_.songStarted(*entry.song, entry.context, clock_.wallNow());
  }
}

void MusicPlayer::outputStarted(std::uint64_t token) {
  if (token == currentToken_ || token == followingToken_) failures_ = 0;
  if (token == currentToken_) {
    // A resume after a pause starts the output again; only the first start is a play.
    if (startedToken_ != token && current_) {
      startedToken_ = token;
      noteStart(entries_[*current_]);
    }
    return;
  }
  if (token != followingToken_ || !followingIndex_) return;  // overtaken by a newer load
  willChange();
  current_ = *followingIndex_;
  currentToken_ = token;
  startedToken_ = token;
  status_ = Status::playing;
  topUpStation();
  noteStart(entries_[*current_]);
  updateNext();
}

void MusicPlayer::outputDuration(std::uint64_t token, AudioOutput::Duration duration) {
  if (token != currentToken_ || !current_) return;
  entries_[*current_].duration = std::chrono::duration_cast<std::chrono::milliseconds>(duration);
}

void MusicPlayer::outputEnded(std::uint64_t token) {
  if (token != currentToken_) return;
  // The end of the queue: stopped, back at the start of the last entry.
  willChange();
  status_ = Status::stopped;
  load(AudioOutput::Duration::zero(), false);
}

void MusicPlayer::outputFailed(std::uint64_t token, std::string message) {
  if (token == followingToken_ && followingIndex_ && token != currentToken_) {
    // What was to follow failed as its turn came: it is where the queue is now.
    willChange();
    current_ = *followingIndex_;
    currentToken_ = token;
    topUpStation();
  }
  if (token != currentToken_ || !current_) return;
  lastFailure_ = std::move(message);
  // A run of failures ends once as many entries failed as the queue held when it began:
  // a queue of missing files under repeat all goes round once, not for ever.
  if (failures_++ == 0) failureLimit_ = entries_.size() + stationSeed_.size();
  // A failed entry is passed over even under repeat one.
  const auto next = nextPlayable(*current_);
  if (next && *next != *current_ && failures_ < failureLimit_) return moveTo(*next);
  // Nothing left to try: the queue stops on the failed entry, which is tried again only
  // when asked to play (loading it again here would fail again, and again).
  willChange();
  status_ = Status::stopped;
  output_.stop();
  unloaded_ = true;
  currentToken_ = 0;  // a late word about the failed rendering changes nothing now
  followingIndex_.reset();
}

}  // namespace melodock
