// What the welcome window shows, decided without a toolkit: its three steps, step 1's
// accessory for each access state, the connection line under step 2 and where the app
// lives. The window itself is one per process and stores "hasSeenWelcome" when it
// closes, however it closes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/music/authorization.h"

namespace melodock::welcome {

inline constexpr std::string_view kTitle = "Welcome to Melodock";
inline constexpr std::string_view kLine = "Let your AI agent play Apple Music on this computer.";

struct Step {
  std::string_view symbol;
  std::string_view color;  // "#rrggbb"
  std::string_view title;
  std::string_view detail;
};
inline constexpr Step kSteps[] = {
    {"music.note", "#ff2d55", "Set Up Apple Music", "Connects your AI to Apple Music."},
    {"cpu", "#007aff", "Connect your AI", "Paste the setup prompt into your AI agent."},
    {"sparkles", "#ff9500", "Ask for music",
     "Try “Play something upbeat” or “Build a calm evening set”."},
};

inline constexpr std::string_view kContinue = "Continue";
inline constexpr std::string_view kCopyPrompt = "Copy Prompt";
inline constexpr std::string_view kCopied = "Copied";
inline constexpr std::string_view kWaiting = "Waiting for your AI to connect…";
inline constexpr std::string_view kDone = "Done";

// Step 1's trailing side.
enum class AccessAccessory { checkmark, continueButton, denied };
[[nodiscard]] inline AccessAccessory accessAccessory(MusicAuthorization::Status status) {
  switch (status) {
    case MusicAuthorization::Status::authorized:
      return AccessAccessory::checkmark;
    case MusicAuthorization::Status::denied:
      return AccessAccessory::denied;
    default:
      return AccessAccessory::continueButton;
  }
}

// "Connected: <name>" once a client named itself; nothing while waiting.
[[nodiscard]] inline std::optional<std::string> connectedText(
    const std::optional<std::string>& lastClient) {
  if (!lastClient || lastClient->empty()) return std::nullopt;
  return "Connected: " + *lastClient;
}

[[nodiscard]] inline std::string_view livesIn(bool hasTray) {
  return hasTray ? "Melodock lives in your system tray." : "Melodock lives in your app launcher.";
}

}  // namespace melodock::welcome
