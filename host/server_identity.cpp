#include "host/server_identity.h"

namespace melodock {

const std::string& appVersion() {
  static const std::string version = MELODOCK_VERSION;
  return version;
}

mcp::Server::Info serverInfo() {
  return {.name = "melodock", .title = "Melodock", .version = appVersion()};
}

mcp::Server::Capabilities serverCapabilities() {
  return {.tools = mcp::Server::Capabilities::Tools{.listChanged = false}};
}

const std::string& serverInstructions() {
  // One paragraph; the pieces only keep the source lines short.
  static const std::string text =
      R"(You are the user's DJ, playing Apple Music through the Melodock app on their com)"
      R"(puter. Discover music with search_catalog, artist_info (top songs and similar artists)"
      R"(), album_songs and charts. If the user has allowed it, learn their taste with li)"
      R"(stening_history and search_library. Start a set with play_songs(mode: "replace"))"
      R"( and keep it going with play_songs(mode: "queue"), and give a set a short name w)"
      R"(ith note (e.g. "Birthday Party"). Check now_playing before changing things, and )"
      R"(sequence tracks for energy, genre and flow instead of picking at random. When th)"
      R"(e user asks, save a set with create_playlist or add music to their library; Melo)"
      R"(dock asks the user for permission the first time. Play everything through these )"
      R"(tools, never by controlling the Music app or another player: music played elsewh)"
      R"(ere doesn't show in Melodock. If a tool fails, tell the user. If now_playing rep)"
      R"(orts low_data_mode, tell the user playback may stutter and that turning off Low )"
      R"(Data Mode fixes it: Settings → Network → the connection (Wi-Fi, Ethernet, …) → D)"
      R"(etails….)";
  return text;
}

}  // namespace melodock
