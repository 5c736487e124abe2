// A tool call's latency through the running app's MCP endpoint while the file output
// changes track every 200 ms, beside the same with the player idle:
//
//   melodock-bench-track-changes PORT TOKEN SECONDS
//
// Waits (up to 60 s) until the scan put at least two songs into the library and one
// second more; then, for SECONDS each, times now_playing calls one after another (each a POST on a
// fresh loopback connection, to the end of the answer), first with nothing playing, then while a
// second client asks play_songs for the next song every 200 ms. Prints one line per side (calls,
// median, p99 and max in ms), and one for those play_songs calls.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/endpoint_client.h"

namespace {

using namespace melodock::bench;
using Clock = std::chrono::steady_clock;

std::vector<std::string> scannedSongs(const Endpoint& endpoint) {
  const std::string search =
      toolCall(1, "search_library", {{"query", ""}, {"type", "songs"}, {"limit", 25}});
  for (int tries = 0; tries < 600; ++tries) {
    const auto found = nlohmann::json::parse(toolText(post(endpoint, search), "search_library"));
    if (found.size() >= 2) {
      std::vector<std::string> ids;
      for (const auto& song : found) ids.push_back(song.at("id").get<std::string>());
      return ids;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  throw std::runtime_error("fewer than two songs were scanned into the library");
}

// now_playing, one after another for `seconds`; each call's time in ms.
std::vector<double> nowPlaying(const Endpoint& endpoint, double seconds) {
  std::vector<double> times;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  for (std::size_t id = 1; Clock::now() < end; ++id) {
    const std::string body = toolCall(id, "now_playing", nlohmann::json::object());
    const auto start = Clock::now();
    const std::string answer = post(endpoint, body);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    toolText(answer, "now_playing");
  }
  return times;
}

void print(const char* side, const std::vector<double>& times) {
  std::printf("%-28s %6zu calls  median %6.2f ms  p99 %6.2f ms  max %6.2f ms\n", side, times.size(),
              percentile(times, 0.5), percentile(times, 0.99), percentile(times, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: melodock-bench-track-changes PORT TOKEN SECONDS\n";
    return 2;
  }
  try {
    const Endpoint endpoint{static_cast<unsigned short>(std::stoul(argv[1])), argv[2]};
    const double seconds = std::stod(argv[3]);
    const auto songs = scannedSongs(endpoint);
    nowPlaying(endpoint, 1);  // unmeasured: the scan's last files and the first calls
    const auto idle = nowPlaying(endpoint, seconds);

    std::atomic<bool> done{false};
    std::vector<double> changes;  // each play_songs's own time
    std::thread changer([&] {
      auto next = Clock::now();
      for (std::size_t at = 0; !done; ++at) {
        const std::string body =
            toolCall(at + 1, "play_songs", {{"ids", {songs[at % songs.size()]}}});
        const auto start = Clock::now();
        const std::string answer = post(endpoint, body);
        changes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        toolText(answer, "play_songs");
        next += std::chrono::milliseconds(200);
        std::this_thread::sleep_until(next);
      }
    });
    const auto changing = nowPlaying(endpoint, seconds);
    done = true;
    changer.join();

    print("idle player", idle);
    print("track change every 200 ms", changing);
    print("the play_songs changing it", changes);
  } catch (const std::exception& error) {
    std::cerr << "melodock-bench-track-changes: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
