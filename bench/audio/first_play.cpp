// The first play_songs of a song from a file, through the running app's MCP endpoint:
//
//   melodock-bench-first-play PORT TOKEN            waits (up to 60 s) until the scan
//                                                   put a song into the library; prints
//                                                   its id
//   melodock-bench-first-play PORT TOKEN SONG_ID    times one play_songs of it (a POST
//                                                   on a fresh loopback connection, to
//                                                   the end of the answer); prints ms
//
// Fails when an answer is not a successful result, or the song is not playing after it.
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "bench/endpoint_client.h"

namespace {

using namespace melodock::bench;
using Clock = std::chrono::steady_clock;

std::string scannedSong(const Endpoint& endpoint) {
  const std::string search =
      toolCall(1, "search_library", {{"query", ""}, {"type", "songs"}, {"limit", 1}});
  for (int tries = 0; tries < 600; ++tries) {
    const auto found = nlohmann::json::parse(toolText(post(endpoint, search), "search_library"));
    if (!found.empty()) return found.at(0).at("id").get<std::string>();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  throw std::runtime_error("no song was scanned into the library");
}

double firstPlay(const Endpoint& endpoint, const std::string& id) {
  const std::string body = toolCall(1, "play_songs", {{"ids", {id}}});
  const auto start = Clock::now();
  const std::string answer = post(endpoint, body);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const auto result = nlohmann::json::parse(toolText(answer, "play_songs"));
  if (result.value("status", "") != "playing") {
    throw std::runtime_error("play_songs did not play: " + result.dump());
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: melodock-bench-first-play PORT TOKEN [SONG_ID]\n";
    return 2;
  }
  try {
    const Endpoint endpoint{static_cast<unsigned short>(std::stoul(argv[1])), argv[2]};
    if (argc == 3) {
      std::printf("%s\n", scannedSong(endpoint).c_str());
    } else {
      std::printf("%.1f\n", firstPlay(endpoint, argv[3]));
    }
  } catch (const std::exception& error) {
    std::cerr << "melodock-bench-first-play: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
