#include "platform/music/items.h"

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

const std::string& trackID(const Track& track) {
  return std::visit([](const auto& item) -> const std::string& { return item.id; }, track);
}

const std::string& trackTitle(const Track& track) {
  return std::visit([](const auto& item) -> const std::string& { return item.title; }, track);
}

}  // namespace melodock
