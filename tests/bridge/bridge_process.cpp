#include "tests/bridge/bridge_process.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/app_instance_lock.h"

namespace melodock::testing {

UserHome::~UserHome() {
  const auto pid = app();
  if (!pid) return;
  ::kill(*pid, SIGTERM);
  // Not a zombie either: a zombie has no executable.
  const auto exe = std::filesystem::path("/proc") / std::to_string(*pid) / "exe";
  if (!eventually([&] { return !std::filesystem::exists(exe); })) ::kill(*pid, SIGKILL);
}

void UserHome::storeSettings(const std::string& json) const {
  writeFile(settingsFile(root_.path()), json);
}

std::optional<pid_t> UserHome::app() const {
  return AppInstanceLock::holder(root_.path() / "run" / "melodock" / "app.lock");
}

int UserHome::appCount() const {
  const std::string marker = "XDG_RUNTIME_DIR=" + (root_.path() / "run").string() + '\0';
  const auto binary = std::filesystem::canonical(MELODOCK_BINARY);
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path() / "exe", error) != binary) continue;
    const bool bridge = readFile(entry.path() / "cmdline").find("--stdio") != std::string::npos;
    const std::string variables = '\0' + readFile(entry.path() / "environ");
    if (!bridge && variables.find('\0' + marker) != std::string::npos) ++count;
  }
  return count;
}

void Bridge::write(const std::string& text) const {
  ASSERT_EQ(::write(child_.input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

std::optional<std::string> Bridge::readLine(std::chrono::milliseconds timeout) {
  std::string line = readThrough(child_.output, "\n", timeout);
  if (!line.ends_with('\n')) return std::nullopt;
  line.pop_back();
  return line;
}

std::optional<std::string> RecordingEndpoint::Request::header(const std::string& name) const {
  const std::size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = at + name.size() + 4;
  return head.substr(start, head.find("\r\n", start) - start);
}

RecordingEndpoint::RecordingEndpoint(Answer answer) : answer_(std::move(answer)) {
  listener_.listen();
  // One exchange at a time, as the bridge makes them; ends when the listener is shut.
  thread_ = std::thread([this] {
    for (int fd; (fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
         ::close(fd)) {
      std::string bytes;
      Request request;
      char chunk[4096];
      for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        bytes.append(chunk, static_cast<std::size_t>(n));
        const std::size_t end = bytes.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        request.head = bytes.substr(0, end + 2);
        request.body = bytes.substr(end + 4);
        if (request.body.size() >= std::stoul(request.header("Content-Length").value_or("0")))
          break;
      }
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      const auto [status, body] = answer_(request);
      const std::string response = "HTTP/1.1 " + std::to_string(status) +
                                   " Status\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body;
      ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
    }
  });
}

RecordingEndpoint::~RecordingEndpoint() {
  ::shutdown(listener_.fd(), SHUT_RDWR);  // wakes the accept
  thread_.join();
}

std::vector<RecordingEndpoint::Request> RecordingEndpoint::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

}  // namespace melodock::testing
