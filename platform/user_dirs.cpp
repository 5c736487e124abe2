#include "platform/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace melodock {
namespace {

std::filesystem::path home() {
  if (const char* value = std::getenv("HOME"); value && *value) return value;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/tmp";
}

std::filesystem::path xdg(const char* variable, const char* fallback) {
  // The convention ignores relative values.
  if (const char* value = std::getenv(variable); value && *value == '/') return value;
  return home() / fallback;
}

}  // namespace

std::filesystem::path userConfigDir() { return xdg("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path userDataDir() { return xdg("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path userCacheDir() { return xdg("XDG_CACHE_HOME", ".cache"); }
std::filesystem::path userHomeDir() { return home(); }

std::filesystem::path userRuntimeDir() {
  if (const char* value = std::getenv("XDG_RUNTIME_DIR"); value && *value == '/') return value;
  // Clients start stdio servers with a reduced environment that often lacks it.
  std::filesystem::path session = "/run/user/" + std::to_string(::getuid());
  struct stat info {};
  if (::stat(session.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()) {
    return session;
  }
  return userConfigDir();
}

}  // namespace melodock
