#include "platform/music/items.h"

#include <charconv>
#include <cstdio>

namespace melodock {
namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

std::string artworkURL(const Artwork& artwork, int width, int height) {
  std::string url = artwork.urlTemplate;
  replaceAll(url, "{w}", std::to_string(width));
  replaceAll(url, "{h}", std::to_string(height));
  return url;
}

std::optional<ReleaseDate> parseReleaseDate(std::string_view text) {
  int parts[3] = {0, 1, 1};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t part = 0; part < 3; ++part) {
    const auto [next, error] = std::from_chars(at, end, parts[part]);
    if (error != std::errc() || next - at != (part == 0 ? 4 : 2)) return std::nullopt;
    if (next == end) break;
    if (*next != '-' || part == 2) return std::nullopt;
    at = next + 1;
  }
  const ReleaseDate date{std::chrono::year(parts[0]),
                         std::chrono::month(static_cast<unsigned>(parts[1])),
                         std::chrono::day(static_cast<unsigned>(parts[2]))};
  return date.ok() ? std::optional(date) : std::nullopt;
}

std::string releaseDateText(const ReleaseDate& date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

const std::string& trackID(const Track& track) {
  return std::visit([](const auto& item) -> const std::string& { return item.id; }, track);
}

const std::string& trackTitle(const Track& track) {
  return std::visit([](const auto& item) -> const std::string& { return item.title; }, track);
}

std::vector<Song> songsOf(const std::vector<Track>& tracks) {
  std::vector<Song> songs;
  for (const Track& track : tracks) {
    if (const Song* song = asSong(track)) songs.push_back(*song);
  }
  return songs;
}

}  // namespace melodock
