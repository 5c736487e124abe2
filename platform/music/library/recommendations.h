// Personal recommendations: titled groups of albums, playlists and stations drawn from
// what the user played, what their library holds and what the catalog offers. A user
// with no history gets starter groups from the catalog's most popular genres.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include <asio/awaitable.hpp>

#include "platform/music/catalog/catalog.h"
#include "platform/music/items.h"
#include "platform/music/library/library.h"

namespace melodock {

using RecommendationItem = std::variant<Album, Playlist, Station>;

struct Recommendation {
  std::string title{};
  std::vector<RecommendationItem> items{};

  bool operator==(const Recommendation&) const = default;
};

class Recommendations {
 public:
  // How many played songs are read, how many artists get a group of their own, and
  // how many items a group holds.
  static constexpr int kHistoryRead = 50;
  static constexpr int kArtistGroups = 2;
  static constexpr int kGroupSize = 8;

  // Both must outlive this object.
  Recommendations(Library& library, Catalog& catalog) : library_(library), catalog_(catalog) {}

  // The groups, the most personal first; groups with nothing in them are left out.
  // Worked out again only after the library changed. Fails with the library's or the
  // catalog's error. Called on one strand at a time.
  asio::awaitable<std::vector<Recommendation>> personal();

 private:
  // `played` holds the albums played lately, which are left out.
  asio::awaitable<Recommendation> becauseYouListenedTo(std::string artist,
                                                       std::set<std::string> played);
  asio::awaitable<Recommendation> genre(std::string title, std::string genre,
                                        std::set<std::string> played);
  asio::awaitable<Recommendation> fromYourLibrary(std::set<std::string> played);

  Library& library_;
  Catalog& catalog_;
  // The last groups and the library's change count they were worked out at.
  std::optional<std::vector<Recommendation>> last_;
  std::int64_t lastChangeCount_ = -1;
};

}  // namespace melodock
