// Helpers for catalog tests: data sets written as the data folder's files, and a way
// to wait for one catalog request from a test's thread.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <asio.hpp>

#include "platform/music/items.h"

namespace melodock {

using Strings = std::vector<std::string>;

// Each item's `field` (a member or a function of the item), in order.
template <typename Item, typename Field>
Strings each(const std::vector<Item>& items, Field field) {
  Strings found;
  found.reserve(items.size());
  for (const Item& item : items) found.push_back(std::invoke(field, item));
  return found;
}
// The ids of items (or tracks), the titles of songs, the names of artists or playlists.
template <typename Item>
Strings ids(const std::vector<Item>& items) {
  return each(items, &Item::id);
}
inline Strings ids(const std::vector<Track>& tracks) { return each(tracks, trackID); }
inline Strings titles(const std::vector<Song>& songs) { return each(songs, &Song::title); }
template <typename Item>
Strings names(const std::vector<Item>& items) {
  return each(items, &Item::name);
}

// Runs `request` on a fresh io_context and returns its result (or throws its error).
template <typename T>
T await(asio::awaitable<T> request) {
  asio::io_context context;
  auto done = asio::co_spawn(context, std::move(request), asio::use_future);
  context.run();
  return done.get();
}

// The `Error` that `work` throws, if it throws one.
template <typename Error, typename Work>
std::optional<Error> caught(Work work) {
  try {
    work();
  } catch (const Error& error) {
    return error;
  }
  return std::nullopt;
}
// The text of the `Error` that `work` throws, or "no error".
template <typename Error = std::runtime_error, typename Work>
std::string errorText(Work work) {
  const std::optional<Error> error = caught<Error>(std::move(work));
  return error ? error->what() : "no error";
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

  // Each file of the data folder: its name, its header and its lines.
  struct File {
    const char* name;
    const char* header;
    std::vector<std::string> DataSet::*lines;
  };
  static const std::vector<File>& files() {
    static const std::vector<File> all = {
        {"artists.tsv", "id\tname", &DataSet::artists},
        {"albums.tsv", "id\ttitle\tartist_id", &DataSet::albums},
        {"tracks.tsv",
         "id\talbum_id\tkind\ttitle\tgenre\tcomposer\tduration_ms\tdisc\tnumber\trelease_date\t"
         "playable\tradio_plays",
         &DataSet::tracks},
        {"purchases.tsv", "customer\ttrack_id", &DataSet::purchases},
        {"playlists.tsv", "id\tname\tcurator", &DataSet::playlists},
        {"playlist_tracks.tsv", "playlist_id\ttrack_id", &DataSet::playlistTracks},
        {"stations.tsv", "id\tname\tlive\tseed_kind\tseed", &DataSet::stations},
    };
    return all;
  }

  // The data set in `folder`, as `write` leaves it.
  static DataSet read(const std::filesystem::path& folder) {
    DataSet data;
    for (const File& file : files()) {
      std::ifstream in(folder / file.name, std::ios::binary);
      std::string line;
      std::getline(in, line);  // the header
      while (std::getline(in, line)) (data.*file.lines).push_back(line);
    }
    return data;
  }

  void write(const std::filesystem::path& folder) const {
    std::filesystem::create_directories(folder);
    for (const File& file : files()) {
      std::ofstream out(folder / file.name, std::ios::binary);
      out << file.header << '\n';
      for (const std::string& line : this->*file.lines) out << line << '\n';
    }
  }
};

}  // namespace melodock
