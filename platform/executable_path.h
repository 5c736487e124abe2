// Where the running program's executable lives.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace melodock {

// The target of /proc/self/exe; nothing when it cannot be read.
[[nodiscard]] std::optional<std::filesystem::path> runningExecutable();

// Where the installation puts the executable (<install prefix>/bin/melodock), for
// when the running one cannot be told.
[[nodiscard]] std::filesystem::path installedExecutable();

// A /proc/<pid>/exe link's text as a path: after an upgrade replaced the file the
// kernel appends " (deleted)", and the path then names the new version.
[[nodiscard]] std::filesystem::path executableFromLink(std::string_view link);

}  // namespace melodock
