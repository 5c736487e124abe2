// The real binary in bridge mode over pipes, in a user home of its own, and a stand-in
// for the app's listener that records what the bridge sends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock::testing {

// Every XDG folder inside one temporary folder. Stops the app running in it, if any,
// when it goes.
class UserHome {
 public:
  UserHome() = default;
  UserHome(const UserHome&) = delete;
  UserHome& operator=(const UserHome&) = delete;
  ~UserHome();

  void storeSettings(const std::string& json) const;
  [[nodiscard]] std::vector<std::string> environment() const {
    return userEnvironment(root_.path());
  }
  // The app holding this home's one-app lock, if any.
  [[nodiscard]] std::optional<pid_t> app() const;
  // Running app processes (not bridges) of this home.
  [[nodiscard]] int appCount() const;

 private:
  TempDir root_;
};

// The binary with --stdio over pipes.
class Bridge {
 public:
  explicit Bridge(const UserHome& home)
      : child_(launchOnPipes(MELODOCK_BINARY, {"--stdio"}, home.environment())) {}

  void write(const std::string& text) const;
  void closeInput() { child_.closeInput(); }
  // The next line without its LF; nothing when none comes within `timeout`.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // Exit status, or -1 when still running after `timeout`.
  int exitStatus(std::chrono::milliseconds timeout) {
    return testing::exitStatus(child_.pid, timeout);
  }

 private:
  Child child_;
};

// A loopback listener that records each request (head and body) and answers it with
// the JSON body and status `answer` returns; status 202 sends no body.
class RecordingEndpoint {
 public:
  struct Request {
    std::string head, body;
    [[nodiscard]] std::optional<std::string> header(const std::string& name) const;
  };
  using Answer = std::function<std::pair<int, std::string>(const Request&)>;

  explicit RecordingEndpoint(Answer answer);
  ~RecordingEndpoint();
  [[nodiscard]] std::uint16_t port() const { return listener_.port(); }
  [[nodiscard]] std::vector<Request> requests() const;

 private:
  Answer answer_;
  LoopbackSocket listener_;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace melodock::testing
