// Bridge mode: the relay between an AI client's standard streams and the app. Each
// line read is POSTed unchanged to the app's endpoint with the stored token, and each
// answer is written back as one line. The app is started when it is not running.
// Nothing is ever written to standard error, and no input ends the bridge but the end
// of input or the client's death.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge/http_session.h"
#include "platform/app_settings.h"

namespace melodock {

class StdioBridge {
 public:
  static constexpr std::chrono::seconds kRequestTimeout{60};
  static constexpr std::chrono::milliseconds kStartPoll{250};
  static constexpr int kStartProbes = 40;
  static constexpr int kUnreachableCode = -32000;
  static constexpr std::string_view kUnreachablePrefix = "Melodock isn't reachable: ";

  // Runs the bridge over this process's standard streams with the user's settings
  // until standard input ends; returns the exit status (always 0).
  static int run();

  // `settings` must outlive the bridge; `app` is the executable started when no app
  // listens. `input` and `output` are file descriptors the bridge does not close.
  StdioBridge(AppSettings& settings, std::filesystem::path app, int input, int output);

  // Reads, relays and answers one message after another until the input ends.
  void relay();

 private:
  // `modern`: the header lines of a modern-era request, sent instead of the
  // negotiated version.
  HttpAnswer send(std::string_view line, const std::optional<std::vector<std::string>>& modern);
  // send, with the app started and one retry when nothing listens.
  HttpAnswer post(std::string_view line, const std::optional<std::vector<std::string>>& modern);
  // Starts the app and waits until its listener answers.
  void launchApp();
  // Before the token goes to a port: the listener there must be this user's.
  void confirmOwnListener(std::int64_t port);
  void emit(std::string body);
  void emitError(const nlohmann::json& id, std::string_view message);

  AppSettings& settings_;
  std::filesystem::path app_;
  int input_;
  int output_;
  HttpSession session_;
  std::optional<std::string> protocolVersion_;
  std::optional<std::string> client_;
  std::optional<std::int64_t> confirmedPort_;
};

}  // namespace melodock
