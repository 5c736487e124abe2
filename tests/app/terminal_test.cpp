// The real binary in app mode with a terminal (a pseudo-terminal) and without one.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/settings_store.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using App = testing::Child;
using testing::exitStatus;
using testing::readThrough;
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
    return testing::settingsFile(dir.path());
  }
  [[nodiscard]] std::optional<std::string> authorization() const {
    return SettingsStore(settingsFile()).string("musicAuthorization");
  }
  [[nodiscard]] std::string listening() const {
    return "Melodock is listening on http://127.0.0.1:" + std::to_string(port) + "/mcp\n";
  }
};

App launchOnTerminal(const Home& home) {
  return testing::launchOnTerminal(MELODOCK_BINARY, {}, testing::userEnvironment(home.dir.path()));
}

App launchOnPipes(const Home& home) {
  return testing::launchOnPipes(MELODOCK_BINARY, {}, testing::userEnvironment(home.dir.path()));
}

// Waits until the stored authorization is `expected`, at most 20 seconds.
std::optional<std::string> storedOnceSettled(const Home& home, const std::string& expected) {
  testing::eventually([&] { return home.authorization() == expected; }, 20s);
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
