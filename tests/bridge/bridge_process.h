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

#include "tests/support/loopback.h"

namespace melodock::testing {

// Every XDG folder inside one temporary folder. Stops the app running in it, if any,
// when it goes.
class UserHome {
 public:
  UserHome();
  ~UserHome();

  void storeSettings(const std::string& json) const;
  // This process's environment with the XDG folders set to this home's, and the
  // session variables set empty so that nothing reaches the user's real session.
  [[nodiscard]] std::vector<std::string> environment() const;
  // The app holding this home's one-app lock, if any.
  [[nodiscard]] std::optional<pid_t> app() const;
  // Running app processes (not bridges) of this home.
  [[nodiscard]] int appCount() const;

 private:
  TempDir root_;
};

// Starts the binary with --stdio and `environment`, its input read from `input`.
// Returns its id, or -1.
pid_t spawnBridge(const std::vector<std::string>& environment, int input, int output);

class Bridge {
 public:
  explicit Bridge(const UserHome& home);
  ~Bridge();

  void write(const std::string& text) const;
  void closeInput();
  // The next line without its LF; nothing when none comes within `timeout`.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // Exit status, or -1 when still running after `timeout`.
  int exitStatus(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
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
  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] std::vector<Request> requests() const;

 private:
  Answer answer_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace melodock::testing
