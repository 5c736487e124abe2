// Where per-user files live, following the XDG base directory conventions.
#pragma once

#include <filesystem>

namespace melodock {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
[[nodiscard]] std::filesystem::path userConfigDir();
// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share.
[[nodiscard]] std::filesystem::path userDataDir();
// $XDG_CACHE_HOME when it is an absolute path, else $HOME/.cache.
[[nodiscard]] std::filesystem::path userCacheDir();
// $XDG_RUNTIME_DIR when it is an absolute path, else /run/user/<uid> when that is a
// folder of this user, else the config folder: somewhere private to the user.
[[nodiscard]] std::filesystem::path userRuntimeDir();
// The user's home folder: $HOME, else the account's.
[[nodiscard]] std::filesystem::path userHomeDir();

}  // namespace melodock
