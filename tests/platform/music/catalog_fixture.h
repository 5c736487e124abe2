// Helpers for catalog tests: data sets written as the data folder's files, and a way
// to wait for one catalog request from a test's thread.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <asio.hpp>

#include "platform/music/items.h"

namespace melodock {

// The ids of items (or tracks), in order.
template <typename Item>
std::vector<std::string> ids(const std::vector<Item>& items) {
  std::vector<std::string> found;
  found.reserve(items.size());
  for (const Item& item : items) found.push_back(item.id);
  return found;
}
inline std::vector<std::string> ids(const std::vector<Track>& tracks) {
  std::vector<std::string> found;
  found.reserve(tracks.size());
  for (const Track& track : tracks) found.push_back(trackID(track));
  return found;
}

// The titles of songs, in order.
inline std::vector<std::string> titles(const std::vector<Song>& songs) {
  std::vector<std::string> found;
  found.reserve(songs.size());
  for (const Song& song : songs) found.push_back(song.title);
  return found;
}

// The names of artists or playlists, in order.
template <typename Item>
std::vector<std::string> names(const std::vector<Item>& items) {
  std::vector<std::string> found;
  found.reserve(items.size());
  for (const Item& item : items) found.push_back(item.name);
  return found;
}

// Runs `request` on a fresh io_context and returns its result (or throws its error).
template <typename T>
T await(asio::awaitable<T> request) {
  asio::io_context context;
  auto done = asio::co_spawn(context, std::move(request), asio::use_future);
  context.run();
  return done.get();
}

// One data set: each file's lines after its header, fields separated by tabs.
struct DataSet {
  std::vector<std::string> artists;
  std::vector<std::string> albums;
  std::vector<std::string> tracks;
  std::vector<std::string> purchases;
  std::vector<std::string> playlists;
  std::vector<std::string> playlistTracks;
  std::vector<std::string> stations;

  // The data set in `folder`, as `write` leaves it.
  static DataSet read(const std::filesystem::path& folder) {
    DataSet data;
    auto file = [&](const char* name, std::vector<std::string>& lines) {
      std::ifstream in(folder / name, std::ios::binary);
      std::string line;
      std::getline(in, line);  // the header
      while (std::getline(in, line)) lines.push_back(line);
    };
    file("artists.tsv", data.artists);
    file("albums.tsv", data.albums);
    file("tracks.tsv", data.tracks);
    file("purchases.tsv", data.purchases);
    file("playlists.tsv", data.playlists);
    file("playlist_tracks.tsv", data.playlistTracks);
    file("stations.tsv", data.stations);
    return data;
  }

  void write(const std::filesystem::path& folder) const {
    std::filesystem::create_directories(folder);
    auto file = [&](const char* name, const char* header, const std::vector<std::string>& lines) {
      std::ofstream out(folder / name, std::ios::binary);
      out << header << '\n';
      for (const std::string& line : lines) out << line << '\n';
    };
    file("artists.tsv", "id\tname", artists);
    file("albums.tsv", "id\ttitle\tartist_id", albums);
    file("tracks.tsv",
         "id\talbum_id\tkind\ttitle\tgenre\tcomposer\tduration_ms\tdisc\tnumber\trelease_date\t"
         "playable\tradio_plays",
         tracks);
    file("purchases.tsv", "customer\ttrack_id", purchases);
    file("playlists.tsv", "id\tname\tcurator", playlists);
    file("playlist_tracks.tsv", "playlist_id\ttrack_id", playlistTracks);
    file("stations.tsv", "id\tname\tlive\tseed_kind\tseed", stations);
  }
};

}  // namespace melodock
