// The texts that connect an AI client to Melodock: for each supported client its
// name, where the text goes and the text itself, and a prompt that asks an agent to
// set itself up. Command-style clients launch this program with --stdio (the bridge,
// which needs no token); the HTTP form carries the endpoint and the token.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/app_settings.h"

namespace melodock {

class ClientSetup {
 public:
  // In the order the panel's picker shows them.
  enum Case : std::uint8_t {
    claudeCode,
    claudeDesktop,
    codex,
    geminiCLI,
    cursor,
    vsCode,
    windsurf,
    otherHTTP,
    otherCommand,
  };

  constexpr ClientSetup(Case value) : value_(value) {}  // NOLINT: a case is a setup

  [[nodiscard]] static const std::array<ClientSetup, 9>& allCases();
  // Nothing for a raw value that names no case.
  [[nodiscard]] static std::optional<ClientSetup> fromRawValue(std::string_view raw);

  // The case's name, as stored under "connectClient"; also its id.
  [[nodiscard]] std::string_view rawValue() const;
  [[nodiscard]] std::string_view id() const { return rawValue(); }
  [[nodiscard]] std::string_view name() const;
  // One line saying where the text goes.
  [[nodiscard]] std::string_view hint() const;
  [[nodiscard]] Case value() const { return value_; }

  // The text to paste. `command` is the executable the client launches (commandPath()
  // in the app); only otherHTTP reads `settings` (the endpoint and the token).
  [[nodiscard]] std::string snippet(std::string_view command, AppSettings& settings) const;

  // Asks an agent to add Melodock to its own configuration. Names the endpoint but
  // never the token.
  [[nodiscard]] static std::string setupPrompt(std::string_view command,
                                               const AppSettings& settings);

  // The running executable (after an upgrade, the new file at its path); the installed
  // path when it cannot be told.
  [[nodiscard]] static std::string commandPath();

  friend bool operator==(ClientSetup, ClientSetup) = default;

 private:
  Case value_;
};

}  // namespace melodock
