// The real executable in both modes, with a terminal (a pseudo-terminal) and without.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <thread>

#include <nlohmann/json.hpp>

#include "platform/settings_store.h"
#include "tests/app/terminal_questions.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using Process = testing::Child;
using testing::exitStatus;
using testing::readThrough;
using testing::TempDir;

// The first line the process writes, waiting at most `timeout`.
std::string firstLine(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  return testing::readThrough(fd, "\n", timeout);
}

// The binary's own folders, all inside one temporary folder, with a settings file: a
// free port, `authorization` unless null, and `stored`.
struct Home {
  TempDir dir;
  std::uint16_t port = testing::freePort();

  explicit Home(const char* authorization, nlohmann::json stored = nlohmann::json::object()) {
    stored["port"] = port;
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

Process launchOnTerminal(const Home& home) {
  return testing::launchOnTerminal(MELODOCK_BINARY, {}, testing::userEnvironment(home.dir.path()));
}

Process launchOnPipes(const Home& home, testing::ChildLimits limits = {},
                      const std::string& program = MELODOCK_BINARY) {
  return testing::launchOnPipes(program, {}, testing::userEnvironment(home.dir.path()), limits);
}

// The answer to one POST of `body` to /mcp with `headers`, head and body.
std::string post(std::uint16_t port, const std::string& body, const std::string& headers = "") {
  return testing::exchange(port,
                           "POST /mcp HTTP/1.1\r\nContent-Type: application/json\r\n"
                           "Accept: application/json, text/event-stream\r\n" +
                               headers + "Content-Length: " + std::to_string(body.size()) +
                               "\r\n\r\n" + body)
      .received;
}

TEST(Binary, ReportsAnUnusablePortAndKeepsRunning) {
  for (const std::string stored : {"65536", "-1", "1099511627776", R"("47393")", "47392.0"}) {
    SCOPED_TRACE(stored);
    const Home home(nullptr);
    testing::writeFile(home.settingsFile(), R"({"port":)" + stored + "}");
    const Process app = launchOnPipes(home);
    EXPECT_EQ(firstLine(app.output), "Melodock cannot listen: Port " + stored +
                                         " cannot be used: choose a port from 1 to 65535.\n");
    EXPECT_EQ(exitStatus(app.pid, std::chrono::milliseconds(300)), -1);  // still running, killed
  }
  // Nothing listens on the default port in its place (unless something else already did).
  EXPECT_FALSE(testing::exchange(47291, "POST / HTTP/1.1\r\n\r\n").received.find("mcp") !=
               std::string::npos);
}

TEST(Binary, KeepsServingWhenItCannotSaveItsSettings) {
  const std::string initialize =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18",)"
      R"("capabilities":{},"clientInfo":{"name":"probe","version":"1"}}})";
  const std::string problem = "Melodock cannot save its settings (";
  struct Row {
    const char* name;
    bool tokenStored;
  };
  for (const Row& row : {Row{"first start: the token exists in memory only", false},
                         Row{"a token stored before", true}}) {
    SCOPED_TRACE(row.name);
    const Home home(
        nullptr, row.tokenStored ? nlohmann::json{{"token", "t0ken"}} : nlohmann::json::object());
    const Process app = launchOnPipes(home, {.noFileGrowth = true});
    EXPECT_EQ(firstLine(app.output), home.listening());
    const std::string authorization = row.tokenStored ? "Authorization: Bearer t0ken\r\n" : "";
    const std::string expected = row.tokenStored ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 401 ";
    for (const char* named : {"", "X-Melodock-Client: Zo%C3%AB\r\n"}) {
      SCOPED_TRACE(named);
      const std::string answer = post(home.port, initialize, authorization + named);
      EXPECT_TRUE(answer.starts_with(expected)) << answer;
      if (row.tokenStored) {
        EXPECT_NE(answer.find(R"("serverInfo":{"name":"melodock")"), std::string::npos) << answer;
      }
    }
    post(home.port, initialize, authorization + "X-Melodock-Client: again\r\n");
    // Said once, after the host line, never inside an answer.
    EXPECT_TRUE(firstLine(app.output).starts_with(problem));
    EXPECT_EQ(firstLine(app.output, std::chrono::milliseconds(300)), "");
    ::kill(app.pid, SIGTERM);
    EXPECT_EQ(exitStatus(app.pid), 0);
  }
}

// A library or a built-in catalog that is not a database: the user is told which file
// and what to do, the tools that need it fail with the same sentence, the host keeps
// answering the rest, and the library file keeps its bytes.
TEST(Binary, SaysWhichMusicFileItCannotReadAndKeepsServing) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  // The JSON body of the answer to a request with the stored token.
  auto call = [](std::uint16_t port, const std::string& params) {
    const std::string answer =
        post(port, R"({"jsonrpc":"2.0","id":2,"method":"tools/)" + params + "}",
             "Authorization: Bearer t0ken\r\n");
    const auto end = answer.find("\r\n\r\n");
    return nlohmann::json::parse(end == std::string::npos ? "" : answer.substr(end + 4), nullptr,
                                 false);
  };
  struct Row {
    const char* name;
    bool corruptCatalog;  // otherwise the library
    const char* tool;     // a call that needs the file
    std::string said;     // the start of the line after the listening one
    std::string advice;   // the end of that line
  };
  const std::vector<Row> rows = {
      {"library", false, R"("name":"search_library","arguments":{"query":"love"})",
       "Melodock cannot read its music library ",
       " (file is not a database). The file is left as it is: restore it from a backup, or "
       "move it away and start Melodock again for an empty library."},
      {"catalog", true, R"("name":"search_catalog","arguments":{"query":"love"})",
       "Melodock cannot read its built-in catalog ",
       " (file is not a database). Reinstall Melodock to repair it."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Home home("authorized", {{"token", "t0ken"}, {"sharePersonalData", true}});
    std::filesystem::path program = MELODOCK_BINARY;
    std::filesystem::path file = home.dir.path() / "data" / "melodock" / "library.sqlite";
    if (row.corruptCatalog) {
      // A copy of the program, with a catalog beside it that is not one.
      program = home.dir.path() / "bin" / "melodock";
      file = program.parent_path() / "catalog.sqlite";
      std::filesystem::create_directories(program.parent_path());
      std::filesystem::copy_file(MELODOCK_BINARY, program);
    }
    std::filesystem::create_directories(file.parent_path());
    testing::writeFile(file, garbage);
    const Process app = launchOnPipes(home, {}, program);
    EXPECT_EQ(firstLine(app.output), home.listening());
    const std::string sentence = row.said + file.string() + row.advice;
    EXPECT_EQ(firstLine(app.output), sentence + "\n");

    const auto called = call(home.port, std::string(R"(call","params":{)") + row.tool + "}");
    ASSERT_TRUE(called.is_object());
    EXPECT_EQ(called.at("result").at("isError"), true) << called.dump();
    EXPECT_NE(called.at("result").at("content").at(0).at("text").get<std::string>().find(sentence),
              std::string::npos)
        << called.dump();
    const auto listed = call(home.port, R"(list")");
    ASSERT_TRUE(listed.is_object());
    EXPECT_EQ(listed.at("result").at("tools").size(), 20U);
    const auto playing = call(home.port, R"(call","params":{"name":"now_playing"})");
    EXPECT_EQ(playing.at("result").at("isError"), false) << playing.dump();

    ::kill(app.pid, SIGTERM);
    EXPECT_EQ(exitStatus(app.pid), 0);
    EXPECT_EQ(testing::readFile(file), garbage) << "the file was written to";
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
  }
}

TEST(Binary, ASecondAppSaysOneIsAlreadyRunningAndExits) {
  const Home home(nullptr);
  const Process first = launchOnPipes(home);
  ASSERT_EQ(firstLine(first.output), home.listening());
  const Process second = launchOnPipes(home);
  EXPECT_EQ(firstLine(second.output), "Melodock is already running.\n");
  EXPECT_EQ(exitStatus(second.pid), 0);
  EXPECT_TRUE(post(home.port, "").starts_with("HTTP/1.1 "));
  // SIGTERM is how every other test stops it; Ctrl-C in a terminal ends it as cleanly.
  ::kill(first.pid, SIGINT);
  EXPECT_EQ(exitStatus(first.pid), 0);
}

TEST(Binary, BridgeModeReadsItsInputToTheEndAndExits) {
  TempDir config;
  Process bridge =
      testing::launchOnPipes(MELODOCK_BINARY, {"--stdio"}, testing::userEnvironment(config.path()));
  // Blank lines: read to the end without a message to relay, so no app is started.
  const std::string line = " \t \r\n";
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(::write(bridge.input, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  bridge.closeInput();
  EXPECT_EQ(exitStatus(bridge.pid), 0);
  // With nothing to relay, the bridge starts no app and writes no settings.
  EXPECT_FALSE(std::filesystem::exists(testing::settingsFile(config.path())));
}

TEST(Binary, KeepsItsDescriptorsWhenMoreClientsConnectThanItCanHold) {
  const Home home(nullptr);
  const Process app = launchOnPipes(home, {.descriptors = 64});
  ASSERT_EQ(firstLine(app.output), home.listening());

  // More idle connections than descriptors, while GStreamer starts in the background:
  // the connections past the app's share wait in the listen queue, and nothing else
  // in the process goes without a descriptor.
  std::vector<int> idle;
  for (int i = 0; i < 100; ++i) {
    if (const int fd = testing::connectTo(home.port); fd >= 0) idle.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const int fd : idle) ::close(fd);

  // Once they are gone it answers again.
  EXPECT_TRUE(testing::eventually([&] { return post(home.port, "").starts_with("HTTP/1.1 "); }));
  ::kill(app.pid, SIGTERM);
  EXPECT_EQ(exitStatus(app.pid), 0);
}

TEST(Terminal, AsksToSetUpAppleMusicOnlyOnATerminalWhenNotSettledAndStoresTheAnswer) {
  struct Row {
    const char* name;
    bool terminal;
    const char* stored;  // nullptr: absent
    const char* typed;   // nullptr: nothing is asked
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"not determined, y", true, nullptr, "y\n", "authorized"},
      {"not determined, n", true, nullptr, "n\n", "denied"},
      {"denied before, y", true, "denied", "y\n", "authorized"},
      {"terminal, authorized", true, "authorized", nullptr, "authorized"},
      {"terminal, restricted", true, "restricted", nullptr, "restricted"},
      {"pipes, absent", false, nullptr, nullptr, nullptr},
      {"pipes, denied", false, "denied", nullptr, "denied"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Home home(row.stored);
    const Process app = row.terminal ? launchOnTerminal(home) : launchOnPipes(home);
    EXPECT_EQ(readThrough(app.output, "\n"), home.listening());
    if (row.typed) {
      EXPECT_EQ(readThrough(app.output, testing::kSetUpQuestion), testing::kSetUpQuestion);
      ASSERT_EQ(::write(app.input, row.typed, 2), 2);
    } else {
      EXPECT_EQ(readThrough(app.output, "\n", 300ms), "");
    }
    const auto expected = row.expected ? std::optional<std::string>(row.expected) : std::nullopt;
    testing::eventually([&] { return home.authorization() == expected; }, 20s);
    EXPECT_EQ(home.authorization(), expected);
    ::kill(app.pid, SIGTERM);
    EXPECT_EQ(exitStatus(app.pid), 0);
  }
}

}  // namespace
}  // namespace melodock
