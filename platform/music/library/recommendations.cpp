#include "platform/music/library/recommendations.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

namespace melodock {
namespace {

std::string folded(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    result.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return result;
}

// An album the user played lately is no recommendation.
std::string albumKey(std::string_view title, std::string_view artist) {
  return folded(title) + '\t' + folded(artist);
}

const std::string& itemID(const RecommendationItem& item) {
  return std::visit([](const auto& value) -> const std::string& { return value.id; }, item);
}

// Artists by how many of the songs played lately are theirs, the latest played first
// among equals (the history comes newest first).
std::vector<std::string> topArtists(const std::vector<Song>& history, std::size_t count) {
  std::map<std::string, std::pair<int, std::size_t>> seen;  // plays, first place
  for (std::size_t at = 0; at < history.size(); ++at) {
    auto [entry, added] = seen.try_emplace(history[at].artistName, 0, at);
    ++entry->second.first;
  }
  std::vector<std::pair<std::string, std::pair<int, std::size_t>>> ranked(seen.begin(), seen.end());
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
    return a.second.first != b.second.first ? a.second.first > b.second.first
                                            : a.second.second < b.second.second;
  });
  std::vector<std::string> artists;
  for (std::size_t at = 0; at < ranked.size() && at < count; ++at) {
    artists.push_back(ranked[at].first);
  }
  return artists;
}

std::optional<std::string> topGenre(const std::vector<Song>& history) {
  std::map<std::string, int> counts;
  std::optional<std::string> best;
  int bestCount = 0;
  for (const Song& song : history) {
    if (song.genreNames.empty()) continue;
    const int count = ++counts[song.genreNames.front()];
    if (count > bestCount) {
      best = song.genreNames.front();
      bestCount = count;
    }
  }
  return best;
}

// Adds `item` unless the group is full, it was played lately, or it is already there.
class Group {
 public:
  Group(std::string title, const std::set<std::string>& played)
      : group_{.title = std::move(title)}, played_(played) {}

  void add(RecommendationItem item) {
    if (full()) return;
    if (const auto* album = std::get_if<Album>(&item);
        album && played_.contains(albumKey(album->title, album->artistName))) {
      return;
    }
    if (std::any_of(group_.items.begin(), group_.items.end(),
                    [&](const RecommendationItem& held) { return itemID(held) == itemID(item); })) {
      return;
    }
    group_.items.push_back(std::move(item));
  }
  [[nodiscard]] std::ptrdiff_t size() const { return std::ssize(group_.items); }
  [[nodiscard]] bool full() const { return size() >= Recommendations::kGroupSize; }
  Recommendation take() { return std::move(group_); }

 private:
  Recommendation group_;
  const std::set<std::string>& played_;
};

}  // namespace

asio::awaitable<std::vector<Recommendation>> Recommendations::personal() {
  // The history, the library and the catalog (which never changes) decide the groups:
  // until a change, the last ones stand. Working them out reads a dozen queries (about
  // 8 ms at 50k songs and 100k plays), the check one.
  const std::int64_t changeCount = co_await library_.changeCount();
  if (last_ && changeCount == lastChangeCount_) co_return *last_;
  const std::vector<Song> history = co_await library_.recentlyPlayed(kHistoryRead);
  std::set<std::string> played;
  for (const Song& song : history) {
    if (song.albumTitle) played.insert(albumKey(*song.albumTitle, song.artistName));
  }

  std::vector<Recommendation> groups;
  if (history.empty()) {
    std::vector<std::string> genres = co_await catalog_.genres(3);
    for (std::string& name : genres) {
      std::string title = "Popular in " + name;
      groups.push_back(co_await genre(std::move(title), std::move(name), played));
    }
  } else {
    for (std::string& artist : topArtists(history, kArtistGroups)) {
      groups.push_back(co_await becauseYouListenedTo(std::move(artist), played));
    }
    if (std::optional<std::string> name = topGenre(history)) {
      std::string title = "More " + *name;
      groups.push_back(co_await genre(std::move(title), std::move(*name), played));
    }
  }
  groups.push_back(co_await fromYourLibrary(played));

  // An item shows once, in the first group that has it.
  std::set<std::string> shown;
  std::vector<Recommendation> kept;
  for (Recommendation& group : groups) {
    std::erase_if(group.items, [&](const RecommendationItem& item) {
      return !shown.insert(itemID(item)).second;
    });
    if (!group.items.empty()) kept.push_back(std::move(group));
  }
  last_ = kept;
  lastChangeCount_ = changeCount;
  co_return kept;
}

asio::awaitable<Recommendation> Recommendations::becauseYouListenedTo(
    std::string artist, std::set<std::string> played) {
  Group group("Because you listened to " + artist, played);
  const std::string wanted = folded(artist);
  // One search finds the artist and the albums by them: the album index holds artists.
  const CatalogSearchResults found = co_await catalog_.search(artist, kGroupSize);
  const auto match =
      std::find_if(found.artists.begin(), found.artists.end(),
                   [&](const Artist& known) { return folded(known.name) == wanted; });
  if (match == found.artists.end()) {
    // Music of the user's own files: more of the artist from the library.
    std::vector<Album> albums = co_await library_.searchAlbums(artist, kGroupSize * 2);
    for (Album& album : albums) {
      if (folded(album.artistName) == wanted) group.add(std::move(album));
    }
    co_return group.take();
  }
  // Half the group from the artist, the rest from the artist's main genre.
  for (const Album& album : found.albums) {
    if (group.size() >= kGroupSize / 2) break;
    if (folded(album.artistName) == wanted) group.add(album);
  }
  if (!match->genreNames.empty()) {
    GenreItems genre = co_await catalog_.genreItems(match->genreNames.front(), kGroupSize);
    for (Station& station : genre.stations) group.add(std::move(station));
    for (Album& album : genre.albums) group.add(std::move(album));
  }
  co_return group.take();
}

asio::awaitable<Recommendation> Recommendations::genre(std::string title, std::string genre,
                                                       std::set<std::string> played) {
  Group group(std::move(title), played);
  GenreItems items = co_await catalog_.genreItems(std::move(genre), kGroupSize);
  for (Station& station : items.stations) group.add(std::move(station));
  for (Album& album : items.albums) group.add(std::move(album));
  co_return group.take();
}

asio::awaitable<Recommendation> Recommendations::fromYourLibrary(std::set<std::string> played) {
  Group group("From your library", played);
  std::vector<AddedItem> added = co_await library_.recentlyAdded(kGroupSize * 2);
  for (AddedItem& item : added) {
    if (auto* album = std::get_if<Album>(&item)) group.add(std::move(*album));
    if (auto* playlist = std::get_if<LibraryPlaylist>(&item)) {
      group.add(std::move(playlist->playlist));
    }
  }
  co_return group.take();
}

}  // namespace melodock
