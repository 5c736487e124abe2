// What the endpoint benchmarks share: one tools/call POST on a fresh loopback
// connection, as clients send them, its tool result text, and percentiles.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace melodock::bench {

struct Endpoint {
  unsigned short port;
  std::string token;
};

// One POST on a fresh connection, read to the close; the whole HTTP answer.
inline std::string post(const Endpoint& endpoint, const std::string& body) {
  const std::string request =
      "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(endpoint.port) +
      "\r\nContent-Type: application/json\r\nAccept: application/json, "
      "text/event-stream\r\nAuthorization: Bearer " +
      endpoint.token +
      "\r\nMCP-Protocol-Version: 2025-06-18\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\n\r\n" + body;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot connect to the app");
  }
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    ::close(fd);
    throw std::runtime_error("short send");
  }
  std::string answer;
  char chunk[65536];
  for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) {
    answer.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return answer;
}

// The body of a tools/call request.
inline std::string toolCall(std::size_t id, const std::string& name,
                            const nlohmann::json& arguments) {
  return nlohmann::json{{"jsonrpc", "2.0"},
                        {"id", id},
                        {"method", "tools/call"},
                        {"params", {{"name", name}, {"arguments", arguments}}}}
      .dump();
}

// The text of a successful tool result; throws for anything else.
inline std::string toolText(const std::string& answer, const std::string& what) {
  const std::size_t body = answer.find("\r\n\r\n");
  if (!answer.starts_with("HTTP/1.1 200") || body == std::string::npos) {
    throw std::runtime_error("no 200 answer for " + what + ": " + answer.substr(0, 200));
  }
  const auto message = nlohmann::json::parse(answer.substr(body + 4));
  const auto& result = message.at("result");
  if (result.value("isError", false)) {
    throw std::runtime_error(what + " failed: " + result.dump());
  }
  return result.at("content").at(0).at("text").get<std::string>();
}

inline double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

}  // namespace melodock::bench
