// Fills a library file for the library benchmarks from a catalog and its data set:
//
//   melodock-bench-fill-library DATA_FOLDER CATALOG_FILE LIBRARY_FILE SONGS PLAYS
//
// saves the first SONGS songs of the catalog (every tenth album as a whole album),
// makes 100 playlists of 25 songs, loves 200 songs, then records PLAYS plays over the
// last three years, skewed towards a few songs as real listening is, 40 % of them as
// part of their album and 10 % of a playlist. Every change goes through Library, as the
// app makes them; the file should be on a RAM disk, since each play is one synced
// transaction.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <asio.hpp>

#include "bench/catalog/random.h"
#include "platform/music/catalog/detail/tsv_reader.h"
#include "platform/music/catalog/local_catalog.h"
#include "platform/music/library/library.h"

namespace {

using namespace melodock;
using Clock = std::chrono::steady_clock;
using WallTime = std::chrono::system_clock::time_point;

constexpr std::size_t kBatch = 500;
constexpr int kPlaylists = 100;
constexpr int kPlaylistSongs = 25;
constexpr int kLoved = 200;

struct DataTrack {
  std::string id;
  std::string albumID;
};

std::vector<DataTrack> songTracks(const std::filesystem::path& data, std::size_t count) {
  detail::TsvReader tracks(data / "tracks.tsv",
                           {"id", "album_id", "kind", "title", "genre", "composer", "duration_ms",
                            "disc", "number", "release_date", "playable", "radio_plays"});
  std::vector<DataTrack> found;
  while (found.size() < count && tracks.next()) {
    if (tracks.text(2) == "song") {
      found.push_back({std::string(tracks.text(0)), std::string(tracks.text(1))});
    }
  }
  return found;
}

asio::awaitable<void> fill(std::filesystem::path data, LocalCatalog& catalog, Library& library,
                           WallTime& now, std::size_t songCount, std::size_t plays) {
  const auto started = Clock::now();
  const std::vector<DataTrack> tracks = songTracks(data, songCount);
  std::vector<Song> songs;
  std::map<std::string, std::string> albumOf;
  for (std::size_t at = 0; at < tracks.size(); at += kBatch) {
    std::vector<std::string> ids;
    for (std::size_t i = at; i < std::min(at + kBatch, tracks.size()); ++i) {
      ids.push_back(tracks[i].id);
      albumOf[tracks[i].id] = tracks[i].albumID;
    }
    std::vector<Song> found = co_await catalog.songs(std::move(ids));
    std::vector<Song> batch = found;
    co_await library.addSongs(std::move(batch));
    songs.insert(songs.end(), found.begin(), found.end());
  }
  std::map<std::string, int> albums;
  for (const DataTrack& track : tracks) albums.try_emplace(track.albumID, 0);
  int albumNumber = 0;
  for (const auto& [albumID, unused] : albums) {
    if (albumNumber++ % 10 != 0) continue;
    std::vector<std::string> ids{albumID};
    std::vector<Album> album = co_await catalog.albums(std::move(ids));
    if (album.empty()) continue;
    const std::vector<Track> albumTracks = co_await catalog.albumTracks(albumID);
    co_await library.addAlbum(std::move(album.front()), songsOf(albumTracks));
  }
  bench::Random random(7);
  std::vector<LibraryPlaylist> playlists;
  for (int p = 0; p < kPlaylists; ++p) {
    std::vector<Song> picked;
    picked.reserve(kPlaylistSongs);
    for (int s = 0; s < kPlaylistSongs; ++s) picked.push_back(songs[random.below(songs.size())]);
    playlists.push_back(
        co_await library.createPlaylist("Mix " + std::to_string(p + 1), std::nullopt, picked));
  }
  for (int s = 0; s < kLoved; ++s) {
    co_await library.rate(songs[random.below(songs.size())].id, "song", Rating::love);
  }
  std::printf("saved %zu songs, %zu albums, %d playlists in %.1f s\n", songs.size(),
              albums.size() / 10, kPlaylists,
              std::chrono::duration<double>(Clock::now() - started).count());

  const auto playStart = Clock::now();
  const auto span = std::chrono::hours(24 * 365 * 3);
  const auto step = std::chrono::duration_cast<std::chrono::milliseconds>(span) /
                    static_cast<std::int64_t>(std::max<std::size_t>(plays, 1));
  const WallTime end = now;
  now = end - span;
  for (std::size_t play = 0; play < plays; ++play) {
    const Song& song = songs[random.skewed(songs.size(), 3.0)];
    std::optional<PlayContext> context;
    const double kind = random.unit();
    if (kind < 0.4 && song.albumTitle) {
      context = PlayContext{.id = albumOf[song.id],
                            .kind = "albums",
                            .name = *song.albumTitle,
                            .artistName = song.artistName};
    } else if (kind < 0.5) {
      const LibraryPlaylist& playlist = playlists[random.below(playlists.size())];
      context = PlayContext{.id = playlist.playlist.id, .kind = "playlists"};
    }
    now += step;
    co_await library.recordPlay(song, context);
  }
  now = end;
  std::printf("recorded %zu plays in %.1f s\n", plays,
              std::chrono::duration<double>(Clock::now() - playStart).count());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: melodock-bench-fill-library DATA_FOLDER CATALOG_FILE LIBRARY_FILE SONGS "
                 "PLAYS\n";
    return 2;
  }
  try {
    WallTime now = std::chrono::system_clock::now();
    LocalCatalog catalog(argv[2]);
    Library library(argv[3], [&now] { return now; });
    asio::io_context caller;
    auto done = asio::co_spawn(
        caller, fill(argv[1], catalog, library, now, std::stoul(argv[4]), std::stoul(argv[5])),
        asio::use_future);
    caller.run();
    done.get();
  } catch (const std::exception& error) {
    std::cerr << "melodock-bench-fill-library: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
