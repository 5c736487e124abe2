#include "platform/user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

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

}  // namespace melodock
