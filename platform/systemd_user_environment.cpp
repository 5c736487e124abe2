#include "platform/systemd_user_environment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace melodock {

std::map<std::string, std::string> parseShowEnvironment(std::string_view text) {
  std::map<std::string, std::string> variables;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t equals = line.find('=');
    if (equals == 0 || equals == std::string_view::npos) continue;
    const std::string_view value = line.substr(equals + 1);
    if (value.starts_with("$'")) continue;
    variables.emplace(line.substr(0, equals), value);
  }
  return variables;
}

std::map<std::string, std::string> systemdUserEnvironment(std::chrono::milliseconds timeout) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char systemctl[] = "systemctl";
  char user[] = "--user";
  char show[] = "show-environment";
  char* argv[] = {systemctl, user, show, nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, systemctl, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    return {};
  }

  std::string text;
  bool complete = false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{out[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      complete = n == 0;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (!complete) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return parseShowEnvironment(text);
}

}  // namespace melodock
