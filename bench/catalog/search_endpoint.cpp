// Latency of the search_catalog tool through the running app's MCP endpoint, one
// request at a time, each a POST on a fresh loopback connection as clients send them:
//
//   melodock-bench-search-endpoint DATA_FOLDER PORT TOKEN [QUERIES] [LIMIT]
//
// The queries are the catalog benchmarks' fixed mix drawn from DATA_FOLDER (the data
// set the app's catalog was built from); LIMIT (default 25) is the tool's per-type
// limit. Every query runs once as a warm-up, then once timed. Prints p50, p99 and max
// in ms, the items per answer, and fails when an answer is not a successful tool result.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/catalog/query_mix.h"
#include "bench/endpoint_client.h"

namespace {

using melodock::bench::Endpoint;
using melodock::bench::percentile;
using melodock::bench::post;

using Clock = std::chrono::steady_clock;

// The items of a successful search answer; throws for anything else.
std::size_t itemsOf(const std::string& answer, const std::string& query) {
  const auto found =
      nlohmann::json::parse(melodock::bench::toolText(answer, "search \"" + query + "\""));
  std::size_t items = 0;
  for (const char* type : {"songs", "artists", "albums", "playlists", "stations"}) {
    items += found.at(type).size();
  }
  return items;
}

void run(const std::filesystem::path& data, const Endpoint& endpoint, std::size_t count,
         int limit) {
  const std::vector<std::string> queries = melodock::bench::queryMix(data, count);
  std::vector<std::string> bodies;
  bodies.reserve(queries.size());
  for (std::size_t i = 0; i < queries.size(); ++i) {
    bodies.push_back(melodock::bench::toolCall(i + 1, "search_catalog",
                                               {{"query", queries[i]}, {"limit", limit}}));
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
