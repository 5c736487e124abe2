// Test helpers over real loopback sockets and real temporary folders.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace melodock::testing {

// A port on 127.0.0.1 that was free a moment ago.
std::uint16_t freePort();

// A socket connected to 127.0.0.1:`port`, or -1; the caller closes it.
int connectTo(std::uint16_t port);

// A TCP socket bound to a free port on 127.0.0.1, not listening until `listen`; closed
// with the object or by `close`.
class LoopbackSocket {
 public:
  LoopbackSocket();
  ~LoopbackSocket() { close(); }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;
  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] int fd() const { return fd_; }
  void listen() const;
  void close();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// What a client saw: the bytes until the server closed, or nothing when the
// connection could not be made.
struct Exchange {
  bool connected = false;
  std::string received;
};

// Connects to 127.0.0.1:`port`, sends each piece in turn (pausing `gap` between
// pieces), half-closes unless `stall`, then reads until the server closes or
// `timeout` passes.
Exchange exchange(std::uint16_t port, const std::vector<std::string>& pieces,
                  std::chrono::milliseconds gap = std::chrono::milliseconds(0),
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(5000),
                  bool stall = false);
Exchange exchange(std::uint16_t port, const std::string& request);

// A fresh folder under the system's temp dir, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& text);

}  // namespace melodock::testing
