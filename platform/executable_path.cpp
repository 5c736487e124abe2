#include "platform/executable_path.h"

#include <unistd.h>

#include <climits>

namespace melodock {

std::filesystem::path executableFromLink(std::string_view link) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (link.ends_with(kDeleted)) link.remove_suffix(kDeleted.size());
  return std::filesystem::path(link);
}

std::filesystem::path installedExecutable() { return MELODOCK_INSTALLED_EXECUTABLE; }

std::optional<std::filesystem::path> runningExecutable() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
  return executableFromLink(std::string_view(buffer, static_cast<std::size_t>(n)));
}

}  // namespace melodock
