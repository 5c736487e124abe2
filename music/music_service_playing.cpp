// Putting music into the player: songs by id, whole albums, playlists and stations, and
// the queue listing, with the service's record of what it queued.
#include <algorithm>
#include <map>
#include <string_view>

#include "music/detail/result_text.h"
#include "music/music_service.h"
#include "music/tool_error.h"

namespace melodock {
namespace {

constexpr std::string_view kNoIDs = "ids must not be empty";
constexpr std::string_view kNoneFound = "None of those song ids were found";
constexpr std::string_view kNonePlayable =
    "None of these songs can be played on this Apple Music account (not available in the "
    "user's country or not streamable). Pick other songs.";
constexpr std::string_view kBadMode = "mode must be replace, next, or queue";
constexpr std::string_view kBadType = "type must be album, playlist, or station";
constexpr std::string_view kNotStarted =
    "Apple Music didn't start playback. Some songs may not be available on this account; try "
    "play or other songs.";

mcp::Value::Array texts(const std::vector<std::string>& values) {
  return {values.begin(), values.end()};
}

std::vector<Track> tracksOf(std::vector<Song> songs) {
  return {std::make_move_iterator(songs.begin()), std::make_move_iterator(songs.end())};
}

template <typename Item>
std::optional<Item> first(std::vector<Item> items) {
  if (items.empty()) return std::nullopt;
  return std::move(items.front());
}

}  // namespace

asio::awaitable<std::vector<Song>> MusicService::resolveSongs(std::vector<std::string> ids) {
  std::vector<std::string> catalogIDs;
  std::vector<std::string> libraryIDs;
  for (const std::string& id : ids) (isLibrarySongID(id) ? libraryIDs : catalogIDs).push_back(id);
  std::map<std::string, Song, std::less<>> found;
  auto remember = [&found](std::vector<Song> songs) {
    for (Song& song : songs) {
      std::string id = song.id;
      found.insert_or_assign(std::move(id), std::move(song));
    }
  };
  if (!catalogIDs.empty()) remember(co_await parts_.catalog.songs(std::move(catalogIDs)));
  if (!libraryIDs.empty()) {
    co_await requirePersonalData();
    remember(co_await parts_.library.songs(std::move(libraryIDs)));
  }
  std::vector<Song> songs;
  for (const std::string& id : ids) {
    if (const auto song = found.find(id); song != found.end()) songs.push_back(song->second);
  }
  co_return songs;
}

asio::awaitable<std::string> MusicService::playSongs(std::vector<std::string> ids, std::string mode,
                                                     std::optional<std::string> note) {
  requireAuthorized();
  if (ids.empty()) throw ToolError(std::string(kNoIDs));
  const std::vector<Song> songs = co_await resolveSongs(ids);
  if (songs.empty()) throw ToolError(std::string(kNoneFound));

  std::vector<std::string> missing;
  for (const std::string& id : ids) {
    if (std::none_of(songs.begin(), songs.end(), [&](const Song& song) { return song.id == id; })) {
      missing.push_back(id);
    }
  }
  std::vector<Song> playable;
  std::vector<std::string> unavailable;
  for (const Song& song : songs) {
    if (song.playParameters) {
      playable.push_back(song);
    } else {
      unavailable.push_back(song.id);
    }
  }
  if (playable.empty()) throw ToolError(std::string(kNonePlayable));
  playable = co_await withMusicFiles(std::move(playable));

  const std::size_t queued = parts_.player.entries().size();
  const std::size_t base = mode == "replace" ? 0 : queued;
  const bool newSet = mode == "replace" || queued == 0;
  const std::size_t added = playable.size();
  co_await enqueue(std::move(playable), mode);
  // A new set without a note clears the note; songs added to a set keep it.
  if (newSet || note) co_await applyNote(std::move(note));
  co_await settle(base + added);

  mcp::Value::Object result = nowPlayingObject();
  result.emplace("added", static_cast<std::int64_t>(added));
  if (!missing.empty()) result.emplace("missing", texts(missing));
  if (!unavailable.empty()) result.emplace("unavailable", texts(unavailable));
  if (newSet && parts_.player.status() != MusicPlayer::Status::playing) {
    result.emplace("warning", std::string(kNotStarted));
  }
  co_return detail::resultText(result);
}

asio::awaitable<void> MusicService::enqueue(std::vector<Song> songs, std::string mode) {
  if (mode != "replace" && mode != "next" && mode != "queue") {
    throw ToolError(std::string(kBadMode));
  }
  MusicPlayer& player = parts_.player;
  const auto& entries = player.entries();
  const MusicPlayer::Entry* current = player.currentEntry();
  std::ptrdiff_t position = -1;
  for (std::size_t at = 0; current && at < entries.size(); ++at) {
    if (entries[at].id == current->id) position = static_cast<std::ptrdiff_t>(at);
  }

  if (mode == "replace" || entries.empty()) {
    player.setQueue(songs);
    queuedSongs = std::move(songs);
    ++queueSet;
    player.play();
    co_return;
  }

  const std::size_t before = entries.size();
  const bool known =
      queuedSongs.size() == before && player.shuffleMode() != MusicPlayer::ShuffleMode::songs;
  const std::size_t at = mode == "next"
                             ? std::min(static_cast<std::size_t>(position + 1), queuedSongs.size())
                             : queuedSongs.size();
  if (known) {
    queuedSongs.insert(queuedSongs.begin() + static_cast<std::ptrdiff_t>(at), songs.begin(),
                       songs.end());
  } else {
    // The service no longer knows the queue's order.
    queuedSongs.clear();
  }
  if (mode == "next") {
    player.insertNext(songs);
  } else {
    player.append(songs);
  }
}

asio::awaitable<std::string> MusicService::playCollection(std::string type, std::string id,
                                                          bool shuffle,
                                                          std::optional<std::string> note) {
  requireAuthorized();  // a failure here leaves the note as it is
  queuedSongs.clear();
  ++queueSet;
  // From here on the note is applied however the call ends, once the answer is built, so
  // the answer still shows the note as it was.
  std::optional<mcp::Value::Object> result;
  std::exception_ptr failure;
  try {
    result = co_await queueCollection(std::move(type), std::move(id), shuffle);
  } catch (...) {
    failure = std::current_exception();
  }
  co_await applyNote(std::move(note));
  if (failure) std::rethrow_exception(failure);
  co_return detail::resultText(*result);
}

asio::awaitable<mcp::Value::Object> MusicService::queueCollection(std::string type, std::string id,
                                                                  bool shuffle) {
  MusicPlayer& player = parts_.player;
  Catalog& catalog = parts_.catalog;
  Library& library = parts_.library;
  TrackLoad load;                    // set for an album or a playlist queued as a whole
  std::vector<std::string> ids{id};  // a catalog request for the one id

  if (type == "album") {
    std::optional<Album> album;
    if (isLibraryItemID(id)) {
      album = co_await libraryAlbum(id);
    } else {
      album = first(co_await catalog.albums(ids));
    }
    if (!album) throw ToolError("No album with id " + id);
    if (isLibraryItemID(id)) {
      std::vector<Track> tracks = tracksOf(co_await library.albumSongs(id));
      tracks = co_await withMusicFiles(std::move(tracks));
      player.setQueue(*album, tracks);
      load = [&library, id] { return library.albumSongs(id); };
    } else {
      std::vector<Track> tracks = co_await catalog.albumTracks(id);
      tracks = co_await withMusicFiles(std::move(tracks));
      player.setQueue(*album, tracks);
      load = [&catalog, id]() -> asio::awaitable<std::vector<Song>> {
        co_return songsOf(co_await catalog.albumTracks(id));
      };
    }
  } else if (type == "playlist" && isCloudPlaylistID(id)) {
    co_await requirePersonalData();
    std::vector<std::string> trackIDs;
    for (const mcp::Value::Object& track : co_await cloudPlaylistTracks(id)) {
      const auto found = track.find("id");
      if (found == track.end()) continue;
      if (const auto* text = found->second.stringValue()) trackIDs.push_back(*text);
    }
    std::vector<Song> songs = co_await resolveSongs(std::move(trackIDs));
    if (songs.empty()) throw ToolError("Playlist " + id + " has no playable songs");
    songs = co_await withMusicFiles(std::move(songs));
    // The history names the playlist as the library calls it when it is read.
    player.setQueue(songs, PlayContext{.id = id, .kind = "playlists"});
  } else if (type == "playlist") {
    std::optional<Playlist> playlist;
    if (isCatalogPlaylistID(id)) {
      playlist = first(co_await catalog.playlists(ids));
    } else {
      playlist = co_await libraryPlaylist(id);
    }
    if (!playlist) throw ToolError("No playlist with id " + id);
    if (isCatalogPlaylistID(id)) {
      std::vector<Track> tracks = co_await catalog.playlistTracks(id);
      tracks = co_await withMusicFiles(std::move(tracks));
      player.setQueue(*playlist, tracks);
      load = [&catalog, id]() -> asio::awaitable<std::vector<Song>> {
        co_return songsOf(co_await catalog.playlistTracks(id));
      };
    } else {
      std::vector<Track> tracks = tracksOf(co_await library.playlistSongs(id));
      tracks = co_await withMusicFiles(std::move(tracks));
      player.setQueue(*playlist, tracks);
      load = [&library, id] { return library.playlistSongs(id); };
    }
  } else if (type == "station") {
    const std::optional<Station> station = first(co_await catalog.stations(ids));
    if (!station) throw ToolError("No station with id " + id);
    std::vector<Song> seed;
    if (!station->isLive) {
      seed = co_await catalog.stationSongs(id);
      seed = co_await withMusicFiles(std::move(seed));
    }
    player.setQueue(*station, std::move(seed));
  } else {
    throw ToolError(std::string(kBadType));
  }

  player.setShuffleMode(shuffle ? MusicPlayer::ShuffleMode::songs : MusicPlayer::ShuffleMode::off);
  player.play();
  if (load) fillQueuedSongs(std::move(load));
  co_await settle(std::size_t{0});
  co_return nowPlayingObject();
}

asio::awaitable<std::vector<Song>> MusicService::withMusicFiles(std::vector<Song> songs) {
  if (std::all_of(songs.begin(), songs.end(),
                  [](const Song& song) { return song.file.has_value(); })) {
    co_return songs;  // the user's own files only: nothing to look up
  }
  std::optional<std::vector<Song>> matched;
  try {
    std::vector<Song> asked = songs;
    matched = co_await parts_.library.withMusicFiles(std::move(asked));
  } catch (const std::exception&) {
    // A library that cannot open fails its own tools; the catalog still plays.
  }
  co_return matched ? std::move(*matched) : std::move(songs);
}

asio::awaitable<std::vector<Track>> MusicService::withMusicFiles(std::vector<Track> tracks) {
  std::vector<Song> songs = songsOf(tracks);
  songs = co_await withMusicFiles(std::move(songs));
  auto next = songs.begin();
  for (Track& track : tracks) {
    if (asSong(track) != nullptr) track = std::move(*next++);
  }
  co_return tracks;
}

// Names the queued album's or playlist's songs in the background; a queue set in the
// meantime is newer, and the result is dropped.
void MusicService::fillQueuedSongs(TrackLoad load) {
  asio::co_spawn(parts_.main.strand(), fill(std::move(load), queueSet, alive_),
                 [](const std::exception_ptr&) {
                   // A failed load leaves the entries unnamed, as the player shows them.
                 });
}

asio::awaitable<void> MusicService::fill(TrackLoad load, std::uint64_t set,
                                         std::weak_ptr<bool> alive) {
  std::vector<Song> songs = co_await load();
  if (!alive.lock() || queueSet != set) co_return;
  queuedSongs = std::move(songs);
}

asio::awaitable<std::optional<Album>> MusicService::libraryAlbum(std::string id) {
  co_await requirePersonalData();
  co_return co_await parts_.library.album(std::move(id));
}

asio::awaitable<std::optional<Playlist>> MusicService::libraryPlaylist(std::string id) {
  co_await requirePersonalData();
  std::optional<LibraryPlaylist> found = co_await parts_.library.playlist(std::move(id));
  if (!found) co_return std::nullopt;
  co_return std::move(found->playlist);
}

asio::awaitable<std::string> MusicService::queue() {
  MusicPlayer& player = parts_.player;
  const MusicPlayer::Entry* current = player.currentEntry();
  mcp::Value::Array entries;
  for (const MusicPlayer::Entry& entry : player.entries()) {
    mcp::Value::Object object = entryDict(entry);
    if (current && entry.id == current->id) object.emplace("current", true);
    entries.emplace_back(std::move(object));
  }
  co_return detail::resultText(mcp::Value::Object{{"entries", std::move(entries)}});
}

}  // namespace melodock
