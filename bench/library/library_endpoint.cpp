// Latency of search_library and listening_history through the running app's MCP
// endpoint, one request at a time, each a POST on a fresh loopback connection:
//
//   melodock-bench-library-endpoint DATA_FOLDER PORT TOKEN [QUERIES] [HISTORY_CALLS]
//
// The app's library was filled by melodock-bench-fill-library from DATA_FOLDER and both
// consents are stored. The searches are the catalog benchmarks' query mix, each type in
// turn (songs, albums, artists, playlists) with the tool's default limit, and every
// tenth an empty query (a plain listing). Each request runs once as a warm-up, then once
// timed. Prints p50, p99 and max in ms; fails when an answer is not a successful result.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/catalog/query_mix.h"
#include "bench/endpoint_client.h"

namespace {

using namespace melodock::bench;
using Clock = std::chrono::steady_clock;

struct Request {
  std::string what;
  std::string body;
};

// Times each request (after one warm-up round) and prints the figures.
void measure(const char* title, const Endpoint& endpoint, const std::vector<Request>& requests,
             const std::function<std::size_t(const nlohmann::json&)>& items) {
  for (const Request& request : requests) toolText(post(endpoint, request.body), request.what);
  std::vector<double> milliseconds;
  std::size_t total = 0;
  for (const Request& request : requests) {
    const auto start = Clock::now();
    const std::string answer = post(endpoint, request.body);
    milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    total += items(nlohmann::json::parse(toolText(answer, request.what)));
  }
  std::printf("%s, %zu calls: p50 %.2f ms, p99 %.2f ms, max %.2f ms (%.1f items/answer)\n", title,
              requests.size(), percentile(milliseconds, 0.50), percentile(milliseconds, 0.99),
              percentile(milliseconds, 1.0),
              static_cast<double>(total) / static_cast<double>(requests.size()));
}

void run(const std::filesystem::path& data, const Endpoint& endpoint, std::size_t count,
         std::size_t historyCalls) {
  const std::vector<std::string> queries = queryMix(data, count);
  const char* types[] = {"songs", "albums", "artists", "playlists"};
  std::vector<Request> searches;
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const std::string query = i % 10 == 9 ? "" : queries[i];
    const char* type = types[i % 4];
    searches.push_back({"search_library \"" + query + "\" " + type,
                        toolCall(i + 1, "search_library", {{"query", query}, {"type", type}})});
  }
  measure("search_library through the endpoint", endpoint, searches,
          [](const nlohmann::json& found) { return found.size(); });

  std::vector<Request> history(historyCalls,
                               {"listening_history", toolCall(1, "listening_history", {})});
  measure(
      "listening_history through the endpoint", endpoint, history, [](const nlohmann::json& found) {
        std::size_t items = found.at("recently_played").size() + found.at("heavy_rotation").size();
        for (const auto& group : found.at("recommendations")) items += group.at("items").size();
        return items;
      });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::cerr << "usage: melodock-bench-library-endpoint DATA_FOLDER PORT TOKEN [QUERIES] "
                 "[HISTORY_CALLS]\n";
    return 2;
  }
  try {
    run(argv[1], {static_cast<unsigned short>(std::stoul(argv[2])), argv[3]},
        argc >= 5 ? std::stoul(argv[4]) : 2000, argc >= 6 ? std::stoul(argv[5]) : 500);
  } catch (const std::exception& error) {
    std::cerr << "melodock-bench-library-endpoint: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
