// The real binary in bridge mode, driven through its standard streams.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "tests/bridge/bridge_process.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using testing::Bridge;
using testing::RecordingEndpoint;
using testing::UserHome;

constexpr auto kAnswer = 10s;

std::string settings(std::uint16_t port) {
  return R"({"port":)" + std::to_string(port) + R"(,"token":"0123456789abcdef"})";
}

TEST(StdioBridge, RelaysEachLineAsReadWithTheNegotiatedVersionAndTheClientsName) {
  const std::string pretty =
      "{\n  \"id\" : 1,\n  \"jsonrpc\" : \"2.0\",\n  \"result\" : {\n    \"protocolVersion\" : "
      "\"2025-06-18\",\n    \"serverInfo\" : {\n      \"name\" : \"a/b\"\n    }\n  }\n}";
  const std::string refused =
      R"({"error":{"code":-32601,"message":"Method not found"},"id":3,"jsonrpc":"2.0"})";
  RecordingEndpoint endpoint([&](const RecordingEndpoint::Request& request) {
    if (request.body.find("\"id\"") == std::string::npos) return std::pair(202, std::string());
    if (request.body.find("initialize") != std::string::npos) return std::pair(200, pretty);
    if (request.body.find("prompts/list") != std::string::npos) return std::pair(404, refused);
    // The last request is still in flight when the input ends.
    if (request.body.find("\"id\":9") != std::string::npos) std::this_thread::sleep_for(300ms);
    return std::pair(200, "{\"answer to\":" + request.body + "}");
  });
  UserHome home;
  home.storeSettings(settings(endpoint.port()));

  const std::string before = R"({"jsonrpc":"2.0","id":"a","method":"tools/list"})";
  const std::string zoe =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":"Zoë's Café ☕","version":"1"}}})";
  const std::string notification = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
  const std::string spaced = R"({ "jsonrpc": "2.0", "id": 7,  "method": "ping" })";
  const std::string titled =
      R"({"jsonrpc":"2.0","id":8,"method":"initialize","params":{"clientInfo":{"name":"claude-code","title":"Claude Code"}}})";
  // Modern lines carry their own version beside the negotiated one.
  const std::string meta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                           R"("io.modelcontextprotocol/clientCapabilities":{}})";
  const std::string call =
      R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"now_playing",)" + meta +
      "}}";
  const std::string unknown =
      R"({"jsonrpc":"2.0","id":3,"method":"prompts/list","params":{)" + meta + "}}";
  const std::string last = R"({"jsonrpc":"2.0","id":9,"method":"ping"})";
  Bridge bridge(home);
  bridge.write("  \t\n\n" + before + "\r\n" + zoe + "\n" + notification + "\n" + spaced + "\n" +
               titled + "\n \n" + call + "\n" + unknown + "\n" +
               last);  // the last line has no line end
  bridge.closeInput();

  const std::string compact =
      R"({"id":1,"jsonrpc":"2.0","result":{"protocolVersion":"2025-06-18","serverInfo":{"name":"a/b"}}})";
  const std::vector<std::string> expected = {"{\"answer to\":" + before + "}",
                                             compact,
                                             "{\"answer to\":" + spaced + "}",
                                             compact,
                                             "{\"answer to\":" + call + "}",
                                             refused,  // a modern refusal, relayed as it came
                                             "{\"answer to\":" + last + "}"};
  for (const std::string& line : expected) EXPECT_EQ(bridge.readLine(kAnswer), line);
  EXPECT_EQ(bridge.readLine(kAnswer), std::nullopt);
  EXPECT_EQ(bridge.exitStatus(kAnswer), 0);

  struct Row {
    std::string body;
    std::optional<std::string> version;
    std::optional<std::string> client;
    std::optional<std::string> method = std::nullopt;
    std::optional<std::string> name = std::nullopt;
  };
  const std::string zoeEncoded = "Zoë%27s%20Café%20%E2%98%95";
  const std::vector<Row> rows = {
      {before, std::nullopt, std::nullopt},
      {zoe, std::nullopt, zoeEncoded},
      {notification, "2025-06-18", zoeEncoded},
      {spaced, "2025-06-18", zoeEncoded},
      {titled, "2025-06-18", "Claude%20Code"},
      {call, "2026-07-28", "Claude%20Code", "tools/call", "now_playing"},
      {unknown, "2026-07-28", "Claude%20Code", "prompts/list"},
      {last, "2025-06-18", "Claude%20Code"},
  };
  const auto requests = endpoint.requests();
  ASSERT_EQ(requests.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].body);
    EXPECT_EQ(requests[i].head.substr(0, requests[i].head.find("\r\n")), "POST /mcp HTTP/1.1");
    EXPECT_EQ(requests[i].body, rows[i].body);
    EXPECT_EQ(requests[i].header("MCP-Protocol-Version"), rows[i].version);
    EXPECT_EQ(requests[i].header("X-Melodock-Client"), rows[i].client);
    EXPECT_EQ(requests[i].header("Mcp-Method"), rows[i].method);
    EXPECT_EQ(requests[i].header("Mcp-Name"), rows[i].name);
    EXPECT_EQ(requests[i].header("Authorization"), "Bearer 0123456789abcdef");
    EXPECT_EQ(requests[i].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[i].header("Accept"), "application/json, text/event-stream");
  }
}

// A port bound but never listened on: connections are refused, and the app the bridge
// starts cannot listen there either.
TEST(StdioBridge, AnswersRequestsButNotNotificationsWhenTheAppNeverComesUp) {
  const testing::LoopbackSocket blocker;
  UserHome home;
  home.storeSettings(settings(blocker.port()));

  Bridge bridge(home);
  const auto start = std::chrono::steady_clock::now();
  bridge.write(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
               "\n"
               R"({"jsonrpc":"2.0","id":null,"method":"ping"})"
               "\n");
  // Each message waits out the app's start (40 probes 250 ms apart) once.
  EXPECT_EQ(
      bridge.readLine(30s),
      R"({"error":{"code":-32000,"message":"Melodock isn't reachable: Could not connect to the server."},"id":null,"jsonrpc":"2.0"})");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 25s);
  EXPECT_GT(std::chrono::steady_clock::now() - start, 19s);
  bridge.closeInput();
  EXPECT_EQ(bridge.readLine(kAnswer), std::nullopt);
  EXPECT_EQ(bridge.exitStatus(kAnswer), 0);
  EXPECT_TRUE(home.app().has_value());  // started, unable to listen, still running
}

TEST(StdioBridge, TwoBridgesWithNoAppStartOneBetweenThem) {
  UserHome home;
  home.storeSettings(settings(testing::freePort()));
  Bridge first(home);
  Bridge second(home);
  const std::string initialize =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"test","version":"1"}}})"
      "\n";
  first.write(initialize);
  second.write(initialize);
  for (Bridge* bridge : {&first, &second}) {
    const auto line = bridge->readLine(30s);
    ASSERT_TRUE(line.has_value());
    const auto answer = nlohmann::json::parse(*line);
    EXPECT_EQ(answer.at("result").at("serverInfo").at("name"), "melodock") << *line;
  }
  // The app that lost the race leaves at once.
  EXPECT_TRUE(testing::eventually([&] { return home.appCount() == 1; })) << home.appCount();
  EXPECT_TRUE(home.app().has_value());
}

TEST(StdioBridge, EndsWhenTheClientThatStartedItIsGone) {
  // This process adopts the orphaned bridge, as a desktop's subreaper would.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  UserHome home;
  int input[2];
  int report[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::pipe(report), 0);
  const pid_t client = ::fork();
  if (client == 0) {
    pid_t bridge = testing::spawn(MELODOCK_BINARY, {"--stdio"}, home.environment(), input[0], -1);
    // The client dies once the bridge has noted its parent: the watchdog is its second
    // thread.
    const auto tasks = "/proc/" + std::to_string(bridge) + "/task";
    std::error_code error;
    testing::eventually([&] {
      return std::distance(std::filesystem::directory_iterator(tasks, error),
                           std::filesystem::directory_iterator()) >= 2;
    });
    ::_exit(::write(report[1], &bridge, sizeof bridge) == sizeof bridge ? 0 : 1);
  }
  ASSERT_GT(client, 0);
  pid_t bridge = -1;
  ASSERT_EQ(::read(report[0], &bridge, sizeof bridge), static_cast<ssize_t>(sizeof bridge));
  ASSERT_GT(bridge, 0);
  ASSERT_EQ(::waitpid(client, nullptr, 0), client);
  const auto gone = std::chrono::steady_clock::now();

  // Its input stays open: only the watchdog can end it.
  int status = -1;
  while (::waitpid(bridge, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() - gone < 6s) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - gone, 4s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  if (::kill(bridge, 0) == 0) {
    ::kill(bridge, SIGKILL);
    ::waitpid(bridge, nullptr, 0);
  }
  for (const int fd : {input[0], input[1], report[0], report[1]}) ::close(fd);
}

// Needs root to listen as another user; CI runs as root.
TEST(StdioBridge, NeverSendsTheTokenToAnotherUsersListener) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
  const std::uint16_t port = testing::freePort();
  int received[2];
  ASSERT_EQ(::pipe(received), 0);
  const pid_t other = ::fork();
  if (other == 0) {
    // Listens as nobody (a socket belongs to the uid that made it) and passes on
    // whatever arrives, until killed.
    const int fd = ::setuid(65534) == 0 ? ::socket(AF_INET, SOCK_STREAM, 0) : -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 || ::write(received[1], "+", 1) != 1) {
      ::_exit(1);
    }
    char chunk[4096];
    for (int connection; (connection = ::accept(fd, nullptr, nullptr)) >= 0; ::close(connection)) {
      for (ssize_t n; (n = ::read(connection, chunk, sizeof chunk)) > 0;) {
        if (::write(received[1], chunk, static_cast<std::size_t>(n)) != n) ::_exit(1);
      }
    }
    ::_exit(1);
  }
  ASSERT_GT(other, 0);
  ::close(received[1]);
  char ready = 0;
  const bool listening = ::read(received[0], &ready, 1) == 1;

  UserHome home;
  home.storeSettings(settings(port));
  Bridge bridge(home);
  if (listening)
    bridge.write(R"({"jsonrpc":"2.0","id":3,"method":"ping"})"
                 "\n");
  bridge.closeInput();
  EXPECT_EQ(bridge.readLine(kAnswer),
            "{\"error\":{\"code\":-32000,\"message\":\"Melodock isn't reachable: Port " +
                std::to_string(port) +
                " on 127.0.0.1 belongs to another user, so the token was not sent.\"},\"id\":3,"
                "\"jsonrpc\":\"2.0\"}");
  EXPECT_EQ(bridge.exitStatus(kAnswer), 0);
  ::kill(other, SIGKILL);
  ::waitpid(other, nullptr, 0);
  // Whatever reached the other user's listener is in the pipe, now that its writer is gone.
  EXPECT_EQ(testing::readFile("/proc/self/fd/" + std::to_string(received[0])), "");
  ::close(received[0]);
  EXPECT_EQ(home.appCount(), 0);
}

}  // namespace
}  // namespace melodock
