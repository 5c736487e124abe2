// The real binary in app mode with a terminal (a pseudo-terminal) and without one.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/settings_store.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

const std::string kSetUpQuestion =
    "\nSet Up Apple Music\n"
    "Lets your AI search Apple Music and play songs on this computer.\n"
    "Continue (y) or Not Now (n)? ";

// The binary's own folders, all inside one temporary folder, with a settings file.
struct Home {
  TempDir dir;
  std::uint16_t port = testing::freePort();

  explicit Home(const char* authorization) {
    nlohmann::json stored = {{"port", port}};
    if (authorization) stored["musicAuthorization"] = authorization;
    testing::writeFile(settingsFile(), stored.dump());
  }
  [[nodiscard]] std::filesystem::path settingsFile() const {
    return dir.path() / "config" / "melodock" / "settings.json";
  }
  [[nodiscard]] std::optional<std::string> authorization() const {
    return SettingsStore(settingsFile()).string("musicAuthorization");
  }
  [[nodiscard]] std::string listening() const {
    return "Melodock is listening on http://127.0.0.1:" + std::to_string(port) + "/mcp\n";
  }

  // In the child: every user folder in the temporary one, and no display.
  void enter() const {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR", "XDG_MUSIC_DIR"}) {
      std::string folder = name;
      folder = (dir.path() / (folder == "XDG_CONFIG_HOME" ? "config" : folder)).string();
      std::filesystem::create_directories(folder);
      ::setenv(name, folder.c_str(), 1);
    }
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
  }
};

[[noreturn]] void runBinary() {
  char* argv[] = {const_cast<char*>(MELODOCK_BINARY), nullptr};
  ::execv(MELODOCK_BINARY, argv);
  ::_exit(127);
}

// The running binary; killed, if still running, and its descriptors closed when the
// object goes.
struct App {
  pid_t pid = -1;
  int input = -1;   // what the test types
  int output = -1;  // what the app writes

  App(pid_t pid, int input, int output) : pid(pid), input(input), output(output) {}
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  ~App() {
    if (input >= 0) ::close(input);
    if (output >= 0 && output != input) ::close(output);
    if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// On a pseudo-terminal: stdin, stdout and stderr are the terminal.
App launchOnTerminal(const Home& home) {
  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    home.enter();
    runBinary();
  }
  return {pid, terminal, terminal};
}

// With pipes for stdin and stdout.
App launchOnPipes(const Home& home) {
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  if (::pipe(in) != 0 || ::pipe(out) != 0) return {-1, -1, -1};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::close(in[1]);
    ::close(out[0]);
    home.enter();
    runBinary();
  }
  ::close(in[0]);
  ::close(out[1]);
  return {pid, in[1], out[0]};
}

// What the app writes through `end` (line ends as "\n"), waiting at most `timeout`;
// less when it stops writing first.
std::string readThrough(int fd, std::string_view end, std::chrono::milliseconds timeout = 20s) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!text.ends_with(end)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
    char c = 0;
    if (::read(fd, &c, 1) != 1) break;
    if (c != '\r') text += c;  // the terminal turns "\n" into "\r\n"
  }
  return text;
}

int exitStatus(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }
    std::this_thread::sleep_for(10ms);
  }
  return -1;
}

// Waits until the stored authorization is `expected`, at most 20 seconds.
std::optional<std::string> storedOnceSettled(const Home& home, const std::string& expected) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (home.authorization() != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  return home.authorization();
}

TEST(Terminal, AsksToSetUpAppleMusicAfterTheFirstLineAndStoresTheAnswer) {
  struct Row {
    const char* name;
    const char* stored;
    const char* typed;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"not determined, y", nullptr, "y\n", "authorized"},
      {"not determined, n", nullptr, "n\n", "denied"},
      {"denied before, y", "denied", "y\n", "authorized"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Home home(row.stored);
    const App app = launchOnTerminal(home);
    EXPECT_EQ(readThrough(app.output, "\n"), home.listening());
    EXPECT_EQ(readThrough(app.output, kSetUpQuestion), kSetUpQuestion);
    ASSERT_EQ(::write(app.input, row.typed, 2), 2);
    EXPECT_EQ(storedOnceSettled(home, row.expected), row.expected);
    ::kill(app.pid, SIGTERM);
    EXPECT_EQ(exitStatus(app.pid), 0);
  }
}

TEST(Terminal, AsksNothingWhenAccessIsSettled) {
  for (const char* stored : {"authorized", "restricted"}) {
    SCOPED_TRACE(stored);
    const Home home(stored);
    const App app = launchOnTerminal(home);
    EXPECT_EQ(readThrough(app.output, "\n"), home.listening());
    EXPECT_EQ(readThrough(app.output, "\n", 300ms), "");
    ::kill(app.pid, SIGTERM);
    EXPECT_EQ(exitStatus(app.pid), 0);
    EXPECT_EQ(home.authorization(), stored);
  }
}

TEST(Terminal, WithoutATerminalOrADisplayNothingIsAskedAndAccessStaysAsStored) {
  for (const char* stored : {static_cast<const char*>(nullptr), "denied"}) {
    SCOPED_TRACE(stored ? stored : "absent");
    const Home home(stored);
    const App app = launchOnPipes(home);
    EXPECT_EQ(readThrough(app.output, "\n"), home.listening());
    EXPECT_EQ(readThrough(app.output, "\n", 300ms), "");
    ::kill(app.pid, SIGTERM);
    EXPECT_EQ(exitStatus(app.pid), 0);
    EXPECT_EQ(home.authorization(), stored ? std::optional<std::string>(stored) : std::nullopt);
  }
}

}  // namespace
}  // namespace melodock
