#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <thread>

namespace melodock::testing {
namespace {

constexpr std::array<std::array<const char*, 2>, 5> kXdg = {{{"XDG_CONFIG_HOME", "config"},
                                                             {"XDG_DATA_HOME", "data"},
                                                             {"XDG_CACHE_HOME", "cache"},
                                                             {"XDG_RUNTIME_DIR", "run"},
                                                             {"XDG_MUSIC_DIR", "music"}}};

std::vector<char*> pointers(const std::vector<std::string>& texts) {
  std::vector<char*> result;
  result.reserve(texts.size() + 1);
  for (const std::string& text : texts) result.push_back(const_cast<char*>(text.c_str()));
  result.push_back(nullptr);
  return result;
}

// Forks, on a new pseudo-terminal when `terminal` is given (its master end is put
// there), and runs `program` in the child.
pid_t start(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, int input, int output, ChildLimits limits,
            int* terminal) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  const auto argv = pointers(words);
  const auto envp = pointers(environment);
  const pid_t pid = terminal ? ::forkpty(terminal, nullptr, nullptr, nullptr) : ::fork();
  if (pid != 0) return pid;
  // In the child: nothing that allocates or takes a lock.
  if (input >= 0) ::dup2(input, STDIN_FILENO);
  if (output >= 0) ::dup2(output, STDOUT_FILENO);
  if (limits.descriptors > 0) {
    const rlimit limit{limits.descriptors, limits.descriptors};
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limits.noFileGrowth) {
    ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec: writes fail with EFBIG instead
    const rlimit limit{0, 0};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::execve(argv[0], argv.data(), envp.data());
  ::_exit(127);
}

}  // namespace

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::vector<std::string> userEnvironment(const std::filesystem::path& root) {
  std::vector<std::string> result = {"DISPLAY=", "WAYLAND_DISPLAY=", "DBUS_SESSION_BUS_ADDRESS="};
  for (const auto& [name, folder] : kXdg) {
    std::filesystem::create_directories(root / folder);
    result.push_back(std::string(name) + "=" + (root / folder).string());
  }
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    if (std::none_of(result.begin(), result.end(),
                     [&](const std::string& set) { return set.starts_with(name); })) {
      result.push_back(text);
    }
  }
  return result;
}

std::filesystem::path settingsFile(const std::filesystem::path& root) {
  return root / "config" / "melodock" / "settings.json";
}

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, int input, int output,
            ChildLimits limits) {
  return start(program, arguments, environment, input, output, limits, nullptr);
}

Child::~Child() {
  closeInput();
  if (output >= 0) ::close(output);
  if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

void Child::closeInput() {
  if (input >= 0 && input != output) ::close(input);
  input = -1;
}

Child launchOnPipes(const std::string& program, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment, ChildLimits limits) {
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {-1, -1, -1};
  const pid_t pid = spawn(program, arguments, environment, in[0], out[1], limits);
  ::close(in[0]);
  ::close(out[1]);
  return {pid, in[1], out[0]};
}

Child launchOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
  int terminal = -1;
  const pid_t pid = start(program, arguments, environment, -1, -1, {}, &terminal);
  return {pid, terminal, terminal};
}

std::string readThrough(int fd, std::string_view end, std::chrono::milliseconds timeout) {
  std::string text;
  const bool terminal = ::isatty(fd) == 1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!text.ends_with(end)) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd wait{fd, POLLIN, 0};
    char c = 0;
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0 ||
        ::read(fd, &c, 1) != 1) {
      break;
    }
    if (c != '\r' || !terminal) text += c;
  }
  return text;
}

int exitStatus(pid_t pid, std::chrono::milliseconds timeout) {
  if (pid <= 0) return -1;  // kill() must never see such an id
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

}  // namespace melodock::testing
