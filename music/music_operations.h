// The music operations behind the tools, as the dispatcher calls them. Each returns its
// result as compact JSON text, except the now-playing object, which the dispatcher
// serialises itself. MusicService is the app's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>

#include "mcp/value.h"

namespace melodock {

// Lives on the main actor: every operation is started there and keeps its state there.
// Parameters are taken by value because each operation is a coroutine that may suspend.
class MusicOperations {
 public:
  MusicOperations() = default;
  MusicOperations(const MusicOperations&) = delete;
  MusicOperations& operator=(const MusicOperations&) = delete;
  virtual ~MusicOperations() = default;

  // An object describing the current track, position, status, modes and queue length.
  virtual asio::awaitable<mcp::Value> nowPlayingDict() = 0;
  virtual asio::awaitable<std::string> playback(std::string action) = 0;
  virtual asio::awaitable<std::string> seek(double seconds) = 0;
  virtual asio::awaitable<std::string> setModes(std::optional<bool> shuffle,
                                                std::optional<std::string> repeatMode) = 0;
  virtual asio::awaitable<std::string> playSongs(std::vector<std::string> ids, std::string mode,
                                                 std::optional<std::string> note) = 0;
  virtual asio::awaitable<std::string> playCollection(std::string type, std::string id,
                                                      bool shuffle,
                                                      std::optional<std::string> note) = 0;
  // No text clears the note.
  virtual asio::awaitable<void> applyNote(std::optional<std::string> text) = 0;
  virtual asio::awaitable<std::string> queue() = 0;
  virtual asio::awaitable<std::string> searchCatalog(std::string query, std::int64_t limit) = 0;
  virtual asio::awaitable<std::string> artistInfo(std::string id) = 0;
  virtual asio::awaitable<std::string> albumSongs(std::string id) = 0;
  virtual asio::awaitable<std::string> charts(std::int64_t limit) = 0;
  virtual asio::awaitable<std::string> recentlyAdded(std::int64_t limit) = 0;
  virtual asio::awaitable<std::string> searchLibrary(std::string query, std::string type,
                                                     std::int64_t limit) = 0;
  virtual asio::awaitable<std::string> libraryPlaylists() = 0;
  virtual asio::awaitable<std::string> playlistSongs(std::string id) = 0;
  virtual asio::awaitable<std::string> createPlaylist(std::string name,
                                                      std::optional<std::string> description,
                                                      std::vector<std::string> songIDs) = 0;
  virtual asio::awaitable<std::string> addToPlaylist(std::string playlistID,
                                                     std::vector<std::string> songIDs) = 0;
  virtual asio::awaitable<std::string> addToLibrary(std::string type,
                                                    std::vector<std::string> ids) = 0;
  virtual asio::awaitable<std::string> rate(std::string id, std::string kind,
                                            std::string rating) = 0;
  virtual asio::awaitable<std::string> listeningHistory() = 0;
};

}  // namespace melodock
