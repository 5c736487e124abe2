// Starting the app on its own, with what it needs from the user's session.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/detached_process.h"
#include "platform/executable_path.h"
#include "platform/systemd_user_environment.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

TEST(DetachedProcess, StartsInANewSessionWithNullStreamsAndTheFilledEnvironment) {
  testing::TempDir dir;
  const auto report = dir.path() / "report";
  ::setenv("MELODOCK_TEST_KEPT", "mine", 1);
  ::unsetenv("MELODOCK_TEST_FILLED");
  const auto environment = environmentFilledFrom(
      {"MELODOCK_TEST_KEPT", "MELODOCK_TEST_FILLED"},
      {{"MELODOCK_TEST_KEPT", "session's"}, {"MELODOCK_TEST_FILLED", "session's"}});
  const std::string script =
      "echo $$ $(cut -d' ' -f6 /proc/$$/stat) $(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) "
      "$MELODOCK_TEST_KEPT $MELODOCK_TEST_FILLED > '" +
      report.string() + ".tmp' && mv '" + report.string() + ".tmp' '" + report.string() + "'";
  const pid_t pid = launchDetached("/bin/sh", {"sh", "-c", script}, environment);
  ASSERT_GT(pid, 0);
  testing::eventually([&] { return std::filesystem::exists(report); });
  ::waitpid(pid, nullptr, 0);
  const std::string id = std::to_string(pid);
  EXPECT_EQ(testing::readFile(report),
            id + " " + id + " /dev/null /dev/null mine session's\n");  // its own session

  try {
    (void)launchDetached("/nonexistent/melodock", {"melodock"}, environment);
    ADD_FAILURE() << "a missing program started";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), ENOENT);
    EXPECT_EQ(std::string(error.what()).rfind("cannot start /nonexistent/melodock: ", 0), 0u);
  }
}

TEST(DetachedProcess, ReadsTheSessionEnvironmentAndTheExecutablePath) {
  EXPECT_EQ(parseShowEnvironment("DISPLAY=:0\nWAYLAND_DISPLAY=wayland-0\nODD=$'a\\nb'\n=x\nNOVALUE"
                                 "\nXDG_RUNTIME_DIR=/run/user/1000\nEMPTY=\n"),
            (std::map<std::string, std::string>{{"DISPLAY", ":0"},
                                                {"EMPTY", ""},
                                                {"WAYLAND_DISPLAY", "wayland-0"},
                                                {"XDG_RUNTIME_DIR", "/run/user/1000"}}));
  EXPECT_EQ(executableFromLink("/usr/bin/melodock (deleted)"), "/usr/bin/melodock");
  EXPECT_EQ(executableFromLink("/opt/My Apps/melodock"), "/opt/My Apps/melodock");
  EXPECT_EQ(runningExecutable(), std::filesystem::canonical("/proc/self/exe"));
}

}  // namespace
}  // namespace melodock
