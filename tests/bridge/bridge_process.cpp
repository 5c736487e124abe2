#include "tests/bridge/bridge_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "platform/app_instance_lock.h"

namespace melodock::testing {
namespace {

constexpr const char* kXdg[][2] = {{"XDG_CONFIG_HOME", "config"},
                                   {"XDG_DATA_HOME", "data"},
                                   {"XDG_CACHE_HOME", "cache"},
                                   {"XDG_RUNTIME_DIR", "run"},
                                   {"XDG_MUSIC_DIR", "music"}};

// Not a zombie either: a zombie has no executable.
bool running(pid_t pid) {
  return pid > 0 &&
         std::filesystem::exists(std::filesystem::path("/proc") / std::to_string(pid) / "exe");
}

}  // namespace

UserHome::UserHome() {
  for (const auto& [name, folder] : kXdg)
    std::filesystem::create_directories(root_.path() / folder);
}

UserHome::~UserHome() {
  const auto pid = app();
  if (!pid) return;
  ::kill(*pid, SIGTERM);
  for (int i = 0; i < 500 && running(*pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (running(*pid)) ::kill(*pid, SIGKILL);
}

void UserHome::storeSettings(const std::string& json) const {
  writeFile(root_.path() / "config" / "melodock" / "settings.json", json);
}

std::vector<std::string> UserHome::environment() const {
  std::vector<std::string> result = {"DISPLAY=", "WAYLAND_DISPLAY=", "DBUS_SESSION_BUS_ADDRESS="};
  for (const auto& [name, folder] : kXdg) {
    result.push_back(std::string(name) + "=" + (root_.path() / folder).string());
  }
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    if (std::none_of(result.begin(), result.end(),
                     [&](auto& set) { return set.starts_with(name); })) {
      result.push_back(text);
    }
  }
  return result;
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

pid_t spawnBridge(const std::vector<std::string>& environment, int input, int output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  if (output >= 0) posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(MELODOCK_BINARY), const_cast<char*>("--stdio"), nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, MELODOCK_BINARY, &actions, nullptr, argv, envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

Bridge::Bridge(const UserHome& home) {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
  pid_ = spawnBridge(home.environment(), in[0], out[1]);
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
}

Bridge::~Bridge() {
  closeInput();
  if (exitStatus(std::chrono::seconds(0)) == -1 && pid_ > 0) {  // kill() must never see -1
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(output_);
}

void Bridge::write(const std::string& text) const {
  ASSERT_EQ(::write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

void Bridge::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

std::optional<std::string> Bridge::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t end = 0;
  while ((end = buffered_.find('\n')) == std::string::npos) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd wait{output_, POLLIN, 0};
    char chunk[4096];
    ssize_t n = 0;
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0 ||
        (n = ::read(output_, chunk, sizeof chunk)) <= 0) {
      return std::nullopt;
    }
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
  std::string line = buffered_.substr(0, end);
  buffered_.erase(0, end + 1);
  return line;
}

int Bridge::exitStatus(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (pid_ > 0) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

std::optional<std::string> RecordingEndpoint::Request::header(const std::string& name) const {
  const std::size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = at + name.size() + 4;
  return head.substr(start, head.find("\r\n", start) - start);
}

RecordingEndpoint::RecordingEndpoint(Answer answer) : answer_(std::move(answer)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  // One exchange at a time, as the bridge makes them; ends when the listener is shut.
  thread_ = std::thread([this] {
    for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ::close(fd)) {
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
  ::shutdown(listener_, SHUT_RDWR);  // wakes the accept
  thread_.join();
  ::close(listener_);
}

std::vector<RecordingEndpoint::Request> RecordingEndpoint::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

}  // namespace melodock::testing
