#include "app/launch_mode.h"

#include <algorithm>

namespace melodock {

LaunchMode launchMode(std::span<const char* const> arguments) {
  const bool bridge = std::any_of(arguments.begin(), arguments.end(), [](const char* argument) {
    return argument != nullptr && std::string_view(argument) == "--stdio";
  });
  return bridge ? LaunchMode::bridge : LaunchMode::app;
}

}  // namespace melodock
