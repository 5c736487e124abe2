// The music operations behind the tools, as the dispatcher calls them. Each returns its
// result as compact JSON text, except the now-playing object, which the dispatcher
// serialises itself. An operation this class does not override fails with a ToolError
// saying that its tool is not available yet; MusicService overrides them.
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
  virtual asio::awaitable<mcp::Value> nowPlayingDict();
  virtual asio::awaitable<std::string> playback(std::string action);
  virtual asio::awaitable<std::string> seek(double seconds);
  virtual asio::awaitable<std::string> setModes(std::optional<bool> shuffle,
                                                std::optional<std::string> repeatMode);
  virtual asio::awaitable<std::string> playSongs(std::vector<std::string> ids, std::string mode,
                                                 std::optional<std::string> note);
  virtual asio::awaitable<std::string> playCollection(std::string type, std::string id,
                                                      bool shuffle,
                                                      std::optional<std::string> note);
  // No text clears the note.
  virtual asio::awaitable<void> applyNote(std::optional<std::string> text);
  virtual asio::awaitable<std::string> queue();
  virtual asio::awaitable<std::string> searchCatalog(std::string query, std::int64_t limit);
  virtual asio::awaitable<std::string> artistInfo(std::string id);
  virtual asio::awaitable<std::string> albumSongs(std::string id);
  virtual asio::awaitable<std::string> charts(std::int64_t limit);
  virtual asio::awaitable<std::string> recentlyAdded(std::int64_t limit);
  virtual asio::awaitable<std::string> searchLibrary(std::string query, std::string type,
                                                     std::int64_t limit);
  virtual asio::awaitable<std::string> libraryPlaylists();
  virtual asio::awaitable<std::string> playlistSongs(std::string id);
  virtual asio::awaitable<std::string> createPlaylist(std::string name,
                                                      std::optional<std::string> description,
                                                      std::vector<std::string> songIDs);
  virtual asio::awaitable<std::string> addToPlaylist(std::string playlistID,
                                                     std::vector<std::string> songIDs);
  virtual asio::awaitable<std::string> addToLibrary(std::string type, std::vector<std::string> ids);
  virtual asio::awaitable<std::string> rate(std::string id, std::string kind, std::string rating);
  virtual asio::awaitable<std::string> listeningHistory();
};

}  // namespace melodock
