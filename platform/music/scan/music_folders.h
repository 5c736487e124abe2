// The folders whose music files make up the user's library: the user's music folder
// (XDG_MUSIC_DIR) and the folders stored under "musicFolders" in the settings.
#pragma once

#include <filesystem>
#include <vector>

#include "platform/app_settings.h"

namespace melodock {

// $XDG_MUSIC_DIR when it is an absolute path; else XDG_MUSIC_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs; else ~/Music.
[[nodiscard]] std::filesystem::path userMusicDir();

// The user's music folder, then each absolute path (or "~/..." path) of the
// "musicFolders" array, in order, without repeats and without folders that lie inside
// another. Whether they exist is the scanner's business.
[[nodiscard]] std::vector<std::filesystem::path> musicFolders(const AppSettings& settings);

}  // namespace melodock
