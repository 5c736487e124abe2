#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace melodock::testing {
namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

std::uint16_t freePort() { return LoopbackSocket().port(); }

int connectTo(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  ::close(fd);
  return -1;
}

LoopbackSocket::LoopbackSocket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd_);
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

void LoopbackSocket::listen() const {
  if (::listen(fd_, 16) != 0) throw std::runtime_error("cannot listen on 127.0.0.1");
}

void LoopbackSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Exchange exchange(std::uint16_t port, const std::vector<std::string>& pieces,
                  std::chrono::milliseconds gap, std::chrono::milliseconds timeout, bool stall) {
  Exchange result;
  const int fd = connectTo(port);
  if (fd < 0) return result;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  result.connected = true;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0 && gap.count() > 0) std::this_thread::sleep_for(gap);
    // The server may drop the connection mid-request; that is what some tests expect.
    if (::send(fd, pieces[i].data(), pieces[i].size(), MSG_NOSIGNAL) < 0) break;
  }
  if (!stall) ::shutdown(fd, SHUT_WR);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[65536];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    result.received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return result;
}

Exchange exchange(std::uint16_t port, const std::string& request) {
  // Qualified: std::exchange is as good a match for these arguments.
  return testing::exchange(port, std::vector<std::string>{request});
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "melodock-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace melodock::testing
