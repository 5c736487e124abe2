// Builds a catalog from a data set and measures it:
//
//   melodock-bench-catalog DATA_FOLDER WORK_FOLDER [QUERIES]
//
// prints the build time, the database's size, and the latency of Catalog::search
// (25 of each type, through the database thread) over a fixed query mix drawn from
// the data set's song titles and artist names: a third single words of three or more
// letters, a third two-word phrases, a third three-letter word starts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <asio.hpp>

#include "bench/catalog/query_mix.h"
#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/local_catalog.h"

namespace {

using melodock::bench::queryMix;
using Clock = std::chrono::steady_clock;

// CPU time of the whole process: what a query costs, whatever else the machine runs.
double cpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

void run(const std::filesystem::path& data, const std::filesystem::path& work, std::size_t count) {
  std::filesystem::create_directories(work);
  const std::filesystem::path file = work / "catalog.sqlite";
  // BENCH_REUSE=1 measures search on a database built before.
  if (!std::getenv("BENCH_REUSE") || !std::filesystem::exists(file)) {
    const auto started = Clock::now();
    const melodock::CatalogBuildSummary built = melodock::buildCatalog(data, file);
    const double buildSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("%zu songs: build %.1f s, database %.1f MB\n", built.songs, buildSeconds,
                static_cast<double>(std::filesystem::file_size(file)) / 1e6);
  }

  // BENCH_ONLY="some words" measures that one query instead of the mix.
  const std::vector<std::string> queries =
      std::getenv("BENCH_ONLY") ? std::vector<std::string>(count, std::getenv("BENCH_ONLY"))
                                : queryMix(data, count);
  melodock::LocalCatalog catalog(file);
  asio::io_context caller;
  std::vector<double> milliseconds;
  std::vector<double> cpu;
  std::size_t results = 0;
  auto measure = [&]() -> asio::awaitable<void> {
    for (const std::string& query : queries) {  // warm-up: pages into memory
      results += (co_await catalog.search(query, 25)).songs.size() * 0;
    }
    for (const std::string& query : queries) {
      const auto start = Clock::now();
      const double cpuStart = cpuMilliseconds();
      const melodock::CatalogSearchResults found = co_await catalog.search(query, 25);
      cpu.push_back(cpuMilliseconds() - cpuStart);
      milliseconds.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      results += found.songs.size() + found.albums.size() + found.artists.size() +
                 found.playlists.size() + found.stations.size();
    }
  };
  auto done = asio::co_spawn(caller, measure(), asio::use_future);
  caller.run();
  done.get();
  if (std::getenv("BENCH_SHOW_SLOW")) {
    std::vector<std::size_t> order(queries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return milliseconds[a] > milliseconds[b]; });
    for (std::size_t i = 0; i < 15 && i < order.size(); ++i) {
      std::printf("  %.2f ms (cpu %.2f ms)  %s\n", milliseconds[order[i]], cpu[order[i]],
                  queries[order[i]].c_str());
    }
  }
  std::printf("search, %zu queries: p50 %.2f ms, p99 %.2f ms, max %.2f ms (%.1f items/query)\n",
              queries.size(), percentile(milliseconds, 0.50), percentile(milliseconds, 0.99),
              percentile(milliseconds, 1.0),
              static_cast<double>(results) / static_cast<double>(queries.size()));
  std::printf("  cpu per query: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", percentile(cpu, 0.50),
              percentile(cpu, 0.99), percentile(cpu, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: melodock-bench-catalog DATA_FOLDER WORK_FOLDER [QUERIES]\n";
    return 2;
  }
  try {
    run(argv[1], argv[2], argc == 4 ? std::stoul(argv[3]) : 3000);
  } catch (const std::exception& error) {
    std::cerr << "melodock-bench-catalog: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
