// Starting the app on its own, with what it needs from the user's session, and who
// owns the socket listening on its loopback port.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/detached_process.h"
#include "platform/executable_path.h"
#include "platform/listener_owner.h"
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

TEST(ListenerOwner, ReadsTheListeningSocketsOfTheKernelsTables) {
  const std::string heading =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
      "inode\n";
  const auto row = [](const std::string& local, const std::string& state, const std::string& uid) {
    return "   0: " + local + " 00000000:0000 " + state +
           " 00000000:00000000 00:00000000 00000000  " + uid +
           "        0 1234 1 0000000000000000 100 0 0 10 0\n";
  };
  const std::string v6any = "00000000000000000000000000000000";
  const std::string v6mapped = "0000000000000000FFFF00000100007F";  // ::ffff:127.0.0.1, x86
  struct Row {
    const char* name;
    std::string tcp, tcp6;
    ListenerOwner owner;
  };
  const std::vector<Row> rows = {
      {"nothing", heading, heading, ListenerOwner::none},
      {"ours on 127.0.0.1", heading + row("0100007F:B8BB", "0A", "1000"), heading,
       ListenerOwner::thisUser},
      {"another user's on 0.0.0.0", heading + row("00000000:B8BB", "0A", "33"), heading,
       ListenerOwner::anotherUser},
      {"another user's on ::", heading, heading + row(v6any + ":B8BB", "0A", "0"),
       ListenerOwner::anotherUser},
      {"another user's on ::ffff:127.0.0.1", heading, heading + row(v6mapped + ":B8BB", "0A", "7"),
       ListenerOwner::anotherUser},
      {"another port", heading + row("0100007F:B8BC", "0A", "33"), heading, ListenerOwner::none},
      {"another address", heading + row("0200007F:B8BB", "0A", "33"), heading, ListenerOwner::none},
      {"a connection, not a listener", heading + row("0100007F:B8BB", "01", "33"), heading,
       ListenerOwner::none},
      {"ours and another's", heading + row("0100007F:B8BB", "0A", "1000"),
       heading + row(v6any + ":B8BB", "0A", "33"), ListenerOwner::anotherUser},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(loopbackListenerOwner(row.tcp, row.tcp6, 47291, 1000), row.owner);
  }
}

TEST(ListenerOwner, FindsThisProcesssOwnListener) {
  const testing::LoopbackSocket socket;
  const std::uint16_t port = socket.port();
  EXPECT_EQ(loopbackListenerOwner(port, ::geteuid()), ListenerOwner::none);  // bound, not listening
  socket.listen();
  EXPECT_EQ(loopbackListenerOwner(port, ::geteuid()), ListenerOwner::thisUser);
  EXPECT_EQ(loopbackListenerOwner(port, ::geteuid() + 1), ListenerOwner::anotherUser);
}

}  // namespace
}  // namespace melodock
