#include "platform/music/scan/music_folders.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "platform/user_dirs.h"

namespace melodock {
namespace {

// A path as user-dirs.dirs writes it: "$HOME/..." or absolute, in double quotes.
std::optional<std::filesystem::path> fromUserDirs(std::string value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  if (value.starts_with("$HOME")) return userHomeDir() / value.substr(value.size() > 5 ? 6 : 5);
  if (value.starts_with("/")) return std::filesystem::path(value);
  return std::nullopt;
}

std::optional<std::filesystem::path> fromSettings(const std::string& value) {
  if (value.starts_with("~/")) return userHomeDir() / value.substr(2);
  if (value.starts_with("/")) return std::filesystem::path(value);
  return std::nullopt;
}

bool inside(const std::filesystem::path& folder, const std::filesystem::path& outer) {
  const auto [mismatch, end] = std::mismatch(outer.begin(), outer.end(), folder.begin());
  return mismatch == outer.end();
}

}  // namespace

std::filesystem::path userMusicDir() {
  if (const char* value = std::getenv("XDG_MUSIC_DIR"); value && *value == '/') return value;
  std::ifstream dirs(userConfigDir() / "user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    constexpr std::string_view kKey = "XDG_MUSIC_DIR=";
    if (!line.starts_with(kKey)) continue;
    if (auto folder = fromUserDirs(line.substr(kKey.size()))) return *folder;
  }
  return userHomeDir() / "Music";
}

std::vector<std::filesystem::path> musicFolders(const AppSettings& settings) {
  std::vector<std::filesystem::path> candidates = {userMusicDir()};
  for (const std::string& entry : settings.get(setting::kMusicFolders)) {
    if (auto folder = fromSettings(entry)) candidates.push_back(*folder);
  }
  std::vector<std::filesystem::path> folders;
  for (std::filesystem::path& candidate : candidates) {
    candidate = candidate.lexically_normal();
    if (candidate.has_filename() == false && candidate != candidate.root_path()) {
      candidate = candidate.parent_path();  // no trailing separator
    }
    bool covered = false;
    for (const std::filesystem::path& folder : folders)
      covered = covered || inside(candidate, folder);
    if (covered) continue;
    std::erase_if(folders,
                  [&](const std::filesystem::path& folder) { return inside(folder, candidate); });
    folders.push_back(std::move(candidate));
  }
  return folders;
}

}  // namespace melodock
