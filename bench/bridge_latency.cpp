// Per-message round trip of tools/call now_playing, one message at a time: straight to
// the app over HTTP (a fresh connection per POST, as the bridge makes them), and
// through stdio relays started as child processes.
//
//   melodock_bench_bridge --port P --token T [--messages 2000] [--rounds 3]
//                         [--relay "NAME=shell command"]...
//
// Each relay is started once and initialized (not timed). The sides then take turns
// for --rounds rounds of --messages messages, so a drifting machine favours none; the
// first round is a warm-up and is not counted. Prints p50 and p99 per side, in ms.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "melodock_bench_bridge: %s\n", what.c_str());
  std::exit(1);
}

std::string call(long id) {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":{"name":"now_playing","arguments":{}}})";
}

class Direct {
 public:
  Direct(unsigned short port, const std::string& token) : port_(port), token_(token) {}

  // One POST on a fresh connection, read to the close.
  std::string exchange(long id) const {
    const std::string body = call(id);
    const std::string request =
        "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
        "\r\nContent-Type: application/json\r\nAccept: application/json, "
        "text/event-stream\r\nAuthorization: Bearer " +
        token_ +
        "\r\nMCP-Protocol-Version: 2025-06-18\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\n\r\n" + body;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      fail("cannot connect to the app");
    }
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
      fail("short send");
    }
    std::string answer;
    char chunk[16384];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) {
      answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
  }

 private:
  unsigned short port_;
  std::string token_;
};

// A stdio relay: one child process, one line out and one line back per message.
class Relay {
 public:
  Relay(std::string name, const std::string& command) : name_(std::move(name)) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);  // a group of its own
    std::string shell = "exec " + command;
    char sh[] = "/bin/sh";
    char c[] = "-c";
    char* argv[] = {sh, c, shell.data(), nullptr};
    if (::posix_spawn(&pid_, sh, &actions, &attributes, argv, environ) != 0) fail("spawn " + name_);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }

  ~Relay() {
    ::close(input_);
    int status = 0;
    for (int i = 0; i < 300 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
    if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    ::close(output_);
  }

  [[nodiscard]] const std::string& name() const { return name_; }

  // Sends `message` and returns the first line that carries `"id":<id>`.
  std::string exchange(const std::string& message, long id) {
    const std::string line = message + "\n";
    if (::write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      fail(name_ + " stopped reading");
    }
    if (id < 0) return {};
    const std::string marker = "\"id\":" + std::to_string(id);
    for (;;) {
      std::string answer = readLine();
      if (answer.find(marker) != std::string::npos) return answer;
    }
  }

 private:
  std::string readLine() {
    for (;;) {
      if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      pollfd wait{output_, POLLIN, 0};
      if (::poll(&wait, 1, 30000) <= 0) fail(name_ + " gave no answer within 30 s");
      char chunk[16384];
      const ssize_t n = ::read(output_, chunk, sizeof chunk);
      if (n <= 0) fail(name_ + " ended");
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  std::string name_;
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
};

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

void expectResult(const std::string& answer, const std::string& who) {
  if (answer.find("\"content\"") == std::string::npos) fail(who + " answered: " + answer);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned short port = 0;
  std::string token;
  int messages = 2000;
  int rounds = 3;
  std::vector<std::pair<std::string, std::string>> relaySpecs;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const std::string value = argv[i + 1];
    if (flag == "--port") {
      port = static_cast<unsigned short>(std::atoi(value.c_str()));
    } else if (flag == "--token") {
      token = value;
    } else if (flag == "--messages") {
      messages = std::atoi(value.c_str());
    } else if (flag == "--rounds") {
      rounds = std::atoi(value.c_str());
    } else if (flag == "--relay" && value.find('=') != std::string::npos) {
      relaySpecs.emplace_back(value.substr(0, value.find('=')), value.substr(value.find('=') + 1));
    } else {
      fail("unknown option " + flag);
    }
  }
  if (port == 0 || token.empty() || rounds < 2 || messages < 1) fail("needs --port and --token");

  const Direct direct(port, token);
  std::vector<std::unique_ptr<Relay>> relays;
  for (const auto& [name, command] : relaySpecs) {
    relays.push_back(std::make_unique<Relay>(name, command));
    Relay& relay = *relays.back();
    const std::string initialize =
        R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})";
    relay.exchange(initialize, 0);
    relay.exchange(R"({"jsonrpc":"2.0","method":"notifications/initialized"})", -1);
  }

  std::vector<std::vector<double>> samples(relays.size() + 1);
  long id = 1;
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t side = 0; side < samples.size(); ++side) {
      for (int i = 0; i < messages; ++i, ++id) {
        const auto began = Clock::now();
        const std::string answer =
            side == 0 ? direct.exchange(id) : relays[side - 1]->exchange(call(id), id);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
        if (round > 0) samples[side].push_back(ms);
        if (i == 0) expectResult(answer, side == 0 ? "the app" : relays[side - 1]->name());
      }
    }
  }

  std::printf("tools/call now_playing, one at a time, %d rounds of %d after a warm-up round\n",
              rounds - 1, messages);
  const double directP50 = percentile(samples[0], 0.5);
  std::printf("%-22s p50 %.3f ms  p99 %.3f ms\n", "direct HTTP", directP50,
              percentile(samples[0], 0.99));
  for (std::size_t side = 1; side < samples.size(); ++side) {
    const double p50 = percentile(samples[side], 0.5);
    std::printf("%-22s p50 %.3f ms  p99 %.3f ms  (p50 +%.3f ms over direct)\n",
                relays[side - 1]->name().c_str(), p50, percentile(samples[side], 0.99),
                p50 - directP50);
  }
  return 0;
}
