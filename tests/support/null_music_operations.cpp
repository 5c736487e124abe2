#include "tests/support/null_music_operations.h"

#include <string_view>

#include "music/tool_error.h"

namespace melodock {
namespace {

constexpr std::string_view kNotAvailable = " is not available yet.";

// Thrown from inside each coroutine, so the failure arrives when the caller awaits.
template <typename T = void>
[[noreturn]] T unavailable(std::string_view tool) {
  throw ToolError(std::string(tool) + std::string(kNotAvailable));
}

}  // namespace

asio::awaitable<mcp::Value> NullMusicOperations::nowPlayingDict() {
  co_return unavailable<mcp::Value>("now_playing");
}
asio::awaitable<std::string> NullMusicOperations::playback(std::string /*action*/) {
  co_return unavailable<std::string>("playback");
}
asio::awaitable<std::string> NullMusicOperations::seek(double /*seconds*/) {
  co_return unavailable<std::string>("seek");
}
asio::awaitable<std::string> NullMusicOperations::setModes(
    std::optional<bool> /*shuffle*/, std::optional<std::string> /*repeatMode*/) {
  co_return unavailable<std::string>("set_modes");
}
asio::awaitable<std::string> NullMusicOperations::playSongs(std::vector<std::string> /*ids*/,
                                                            std::string /*mode*/,
                                                            std::optional<std::string> /*note*/) {
  co_return unavailable<std::string>("play_songs");
}
asio::awaitable<std::string> NullMusicOperations::playCollection(
    std::string /*type*/, std::string /*id*/, bool /*shuffle*/,
    std::optional<std::string> /*note*/) {
  co_return unavailable<std::string>("play_collection");
}
asio::awaitable<void> NullMusicOperations::applyNote(std::optional<std::string> /*text*/) {
  unavailable("set_note");
  co_return;
}
asio::awaitable<std::string> NullMusicOperations::queue() {
  co_return unavailable<std::string>("get_queue");
}
asio::awaitable<std::string> NullMusicOperations::searchCatalog(std::string /*query*/,
                                                                std::int64_t /*limit*/) {
  co_return unavailable<std::string>("search_catalog");
}
asio::awaitable<std::string> NullMusicOperations::artistInfo(std::string /*id*/) {
  co_return unavailable<std::string>("artist_info");
}
asio::awaitable<std::string> NullMusicOperations::albumSongs(std::string /*id*/) {
  co_return unavailable<std::string>("album_songs");
}
asio::awaitable<std::string> NullMusicOperations::charts(std::int64_t /*limit*/) {
  co_return unavailable<std::string>("charts");
}
asio::awaitable<std::string> NullMusicOperations::recentlyAdded(std::int64_t /*limit*/) {
  co_return unavailable<std::string>("search_library");
}
asio::awaitable<std::string> NullMusicOperations::searchLibrary(std::string /*query*/,
                                                                std::string /*type*/,
                                                                std::int64_t /*limit*/) {
  co_return unavailable<std::string>("search_library");
}
asio::awaitable<std::string> NullMusicOperations::libraryPlaylists() {
  co_return unavailable<std::string>("library_playlists");
}
asio::awaitable<std::string> NullMusicOperations::playlistSongs(std::string /*id*/) {
  co_return unavailable<std::string>("playlist_songs");
}
asio::awaitable<std::string> NullMusicOperations::createPlaylist(
    std::string /*name*/, std::optional<std::string> /*description*/,
    std::vector<std::string> /*songIDs*/) {
  co_return unavailable<std::string>("create_playlist");
}
asio::awaitable<std::string> NullMusicOperations::addToPlaylist(
    std::string /*playlistID*/, std::vector<std::string> /*songIDs*/) {
  co_return unavailable<std::string>("add_to_playlist");
}
asio::awaitable<std::string> NullMusicOperations::addToLibrary(std::string /*type*/,
                                                               std::vector<std::string> /*ids*/) {
  co_return unavailable<std::string>("add_to_library");
}
asio::awaitable<std::string> NullMusicOperations::rate(std::string /*id*/, std::string /*kind*/,
                                                       std::string /*rating*/) {
  co_return unavailable<std::string>("rate");
}
asio::awaitable<std::string> NullMusicOperations::listeningHistory() {
  co_return unavailable<std::string>("listening_history");
}

}  // namespace melodock
