// Which of the two modes a process runs in, decided from its arguments alone.
#pragma once

#include <span>
#include <string_view>

namespace melodock {

enum class LaunchMode { app, bridge };

// Bridge mode when any argument (the program path included) is exactly "--stdio".
[[nodiscard]] LaunchMode launchMode(std::span<const char* const> arguments);

}  // namespace melodock
