// Latency of the search_catalog tool through the running app's MCP endpoint, one
// request at a time, each a POST on a fresh loopback connection as clients send them:
//
//   melodock-bench-search-endpoint DATA_FOLDER PORT TOKEN [QUERIES] [LIMIT]
//
// The queries are the catalog benchmarks' fixed mix drawn from DATA_FOLDER (the data
// set the app's catalog was built from); LIMIT (default 25) is the tool's per-type
// limit. Every query runs once as a warm-up, then once timed. Prints p50, p99 and max
// in ms, the items per answer, and fails when an answer is not a successful tool result.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/catalog/query_mix.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Endpoint {
  unsigned short port;
  std::string token;
};

// One POST on a fresh connection, read to the close; the whole HTTP answer.
std::string post(const Endpoint& endpoint, const std::string& body) {
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

// The items of a successful search answer; throws for anything else.
std::size_t itemsOf(const std::string& answer, const std::string& query) {
  const std::size_t body = answer.find("\r\n\r\n");
  if (!answer.starts_with("HTTP/1.1 200") || body == std::string::npos) {
    throw std::runtime_error("no 200 answer for \"" + query + "\": " + answer.substr(0, 200));
  }
  const auto message = nlohmann::json::parse(answer.substr(body + 4));
  const auto& result = message.at("result");
  if (result.value("isError", false)) {
    throw std::runtime_error("search \"" + query + "\" failed: " + result.dump());
  }
  const auto found =
      nlohmann::json::parse(result.at("content").at(0).at("text").get<std::string>());
  std::size_t items = 0;
  for (const char* type : {"songs", "artists", "albums", "playlists", "stations"}) {
    items += found.at(type).size();
  }
  return items;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

void run(const std::filesystem::path& data, const Endpoint& endpoint, std::size_t count,
         int limit) {
  const std::vector<std::string> queries = melodock::bench::queryMix(data, count);
  std::vector<std::string> bodies;
  bodies.reserve(queries.size());
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const nlohmann::json call = {
        {"jsonrpc", "2.0"},
        {"id", i + 1},
        {"method", "tools/call"},
        {"params",
         {{"name", "search_catalog"}, {"arguments", {{"query", queries[i]}, {"limit", limit}}}}}};
    bodies.push_back(call.dump());
  }
  for (std::size_t i = 0; i < queries.size(); ++i) itemsOf(post(endpoint, bodies[i]), queries[i]);
  std::vector<double> milliseconds;
  milliseconds.reserve(queries.size());
  std::size_t items = 0;
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const auto start = Clock::now();
    const std::string answer = post(endpoint, bodies[i]);
    milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    items += itemsOf(answer, queries[i]);
  }
  std::printf(
      "search_catalog through the endpoint, %zu queries, limit %d: p50 %.2f ms, p99 %.2f ms, "
      "max %.2f ms (%.1f items/answer)\n",
      queries.size(), limit, percentile(milliseconds, 0.50), percentile(milliseconds, 0.99),
      percentile(milliseconds, 1.0),
      static_cast<double>(items) / static_cast<double>(queries.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::cerr << "usage: melodock-bench-search-endpoint DATA_FOLDER PORT TOKEN [QUERIES] [LIMIT]\n";
    return 2;
  }
  try {
    run(argv[1], {static_cast<unsigned short>(std::stoul(argv[2])), argv[3]},
        argc >= 5 ? std::stoul(argv[4]) : 3000, argc >= 6 ? std::stoi(argv[5]) : 25);
  } catch (const std::exception& error) {
    std::cerr << "melodock-bench-search-endpoint: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
