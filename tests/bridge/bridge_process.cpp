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

#include <algorithm>
#include <cerrno>
#include <set>

#include "platform/app_instance_lock.h"

extern char** environ;

namespace melodock::testing {
namespace {

constexpr const char* kXdg[][2] = {{"XDG_CONFIG_HOME", "config"},
                                   {"XDG_DATA_HOME", "data"},
                                   {"XDG_CACHE_HOME", "cache"},
                                   {"XDG_RUNTIME_DIR", "run"},
                                   {"XDG_MUSIC_DIR", "music"}};
constexpr const char* kSession[] = {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"};

bool alive(pid_t pid) {
  if (pid <= 0) return false;
  // A zombie child still answers kill(); reap it first.
  ::waitpid(pid, nullptr, WNOHANG);
  return ::kill(pid, 0) == 0 && std::filesystem::exists("/proc/" + std::to_string(pid) + "/exe");
}

std::string readText(const std::filesystem::path& file) { return readFile(file); }

}  // namespace

UserHome::UserHome() {
  for (const auto& [name, folder] : kXdg)
    std::filesystem::create_directories(root_.path() / folder);
  std::filesystem::permissions(runtime(), std::filesystem::perms::owner_all);
}

UserHome::~UserHome() { stopApp(); }

void UserHome::storeSettings(const std::string& json) const {
  writeFile(root_.path() / "config" / "melodock" / "settings.json", json);
}

std::vector<std::string> UserHome::environment() const {
  std::set<std::string> replaced;
  std::vector<std::string> result;
  for (const auto& [name, folder] : kXdg) {
    replaced.insert(name);
    result.push_back(std::string(name) + "=" + (root_.path() / folder).string());
  }
  for (const char* name : kSession) {
    replaced.insert(name);
    result.push_back(std::string(name) + "=");
  }
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (replaced.count(text.substr(0, text.find('='))) == 0) result.push_back(text);
  }
  return result;
}

std::optional<pid_t> UserHome::app(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto pid = AppInstanceLock::holder(runtime() / "melodock" / "app.lock")) return pid;
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int UserHome::appCount() const {
  const std::string marker = "XDG_RUNTIME_DIR=" + runtime().string();
  const auto binary = std::filesystem::canonical(MELODOCK_BINARY);
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path() / "exe", error) != binary || error) continue;
    if (readText(entry.path() / "cmdline").find("--stdio") != std::string::npos) continue;
    std::string environ = readText(entry.path() / "environ");
    std::replace(environ.begin(), environ.end(), '\0', '\n');
    if ((environ + "\n").find("\n" + marker + "\n") == std::string::npos &&
        !environ.starts_with(marker + "\n")) {
      continue;
    }
    ++count;
  }
  return count;
}

void UserHome::stopApp() const {
  const auto pid = app(std::chrono::milliseconds(0));
  if (!pid || *pid <= 0) return;
  ::kill(*pid, SIGTERM);
  for (int i = 0; i < 500 && alive(*pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (alive(*pid)) ::kill(*pid, SIGKILL);
}

Bridge::Bridge(const UserHome& home) {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> arguments = {MELODOCK_BINARY, "--stdio"};
  std::vector<std::string> environment = home.environment();
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (auto& argument : arguments) argv.push_back(argument.data());
  for (auto& variable : environment) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  ::posix_spawn(&pid_, MELODOCK_BINARY, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
}

Bridge::~Bridge() {
  closeInput();
  // Only a bridge still running; kill() must never see an id of 0 or below.
  if (pid_ > 0 && exitStatus(std::chrono::seconds(0)) == -1 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) ::close(output_);
}

void Bridge::write(const std::string& text) const {
  std::string_view left = text;
  while (!left.empty()) {
    const ssize_t n = ::write(input_, left.data(), left.size());
    if (n <= 0) return;
    left.remove_prefix(static_cast<std::size_t>(n));
  }
}

void Bridge::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

std::optional<std::string> Bridge::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const std::size_t end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{output_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
      return std::nullopt;
    }
    char chunk[4096];
    const ssize_t n = ::read(output_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

int Bridge::exitStatus(std::chrono::milliseconds timeout) {
  if (pid_ < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::optional<std::string> RecordingEndpoint::Request::header(const std::string& name) const {
  const std::string key = "\r\n" + name + ": ";
  const std::size_t at = head.find(key);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = at + key.size();
  return head.substr(start, head.find("\r\n", start) - start);
}

RecordingEndpoint::RecordingEndpoint(Answer answer) : answer_(std::move(answer)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 16);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  if (::pipe2(stop_, O_CLOEXEC) != 0) return;
  thread_ = std::thread([this] { serve(); });
}

RecordingEndpoint::~RecordingEndpoint() {
  if (thread_.joinable()) {
    ::close(stop_[1]);
    thread_.join();
    ::close(stop_[0]);
  }
  ::close(listener_);
}

std::vector<RecordingEndpoint::Request> RecordingEndpoint::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string RecordingEndpoint::http(int status, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: application/json\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void RecordingEndpoint::serve() {
  for (;;) {
    pollfd waits[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0 && errno != EINTR) return;
    if (waits[1].revents != 0) return;
    if ((waits[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string bytes;
    Request request;
    char chunk[4096];
    for (;;) {
      const std::size_t end = bytes.find("\r\n\r\n");
      if (end != std::string::npos) {
        request.head = bytes.substr(0, end + 2);
        const std::size_t length = std::stoul(request.header("Content-Length").value_or("0"));
        if (bytes.size() >= end + 4 + length) {
          request.body = bytes.substr(end + 4, length);
          break;
        }
      }
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const std::string response = answer_(request);
    ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
    ::close(fd);
  }
}

}  // namespace melodock::testing
