// A MusicOperations whose every operation fails with a ToolError saying that its tool
// is not available yet: for tests of what sits in front of the tools, which override
// only what they look at.
#pragma once

#include "music/music_operations.h"

namespace melodock {

class NullMusicOperations : public MusicOperations {
 public:
  asio::awaitable<mcp::Value> nowPlayingDict() override;
  asio::awaitable<std::string> playback(std::string action) override;
  asio::awaitable<std::string> seek(double seconds) override;
  asio::awaitable<std::string> setModes(std::optional<bool> shuffle,
                                        std::optional<std::string> repeatMode) override;
  asio::awaitable<std::string> playSongs(std::vector<std::string> ids, std::string mode,
                                         std::optional<std::string> note) override;
  asio::awaitable<std::string> playCollection(std::string type, std::string id, bool shuffle,
                                              std::optional<std::string> note) override;
  asio::awaitable<void> applyNote(std::optional<std::string> text) override;
  asio::awaitable<std::string> queue() override;
  asio::awaitable<std::string> searchCatalog(std::string query, std::int64_t limit) override;
  asio::awaitable<std::string> artistInfo(std::string id) override;
  asio::awaitable<std::string> albumSongs(std::string id) override;
  asio::awaitable<std::string> charts(std::int64_t limit) override;
  asio::awaitable<std::string> recentlyAdded(std::int64_t limit) override;
  asio::awaitable<std::string> searchLibrary(std::string query, std::string type,
                                             std::int64_t limit) override;
  asio::awaitable<std::string> libraryPlaylists() override;
  asio::awaitable<std::string> playlistSongs(std::string id) override;
  asio::awaitable<std::string> createPlaylist(std::string name,
                                              std::optional<std::string> description,
                                              std::vector<std::string> songIDs) override;
  asio::awaitable<std::string> addToPlaylist(std::string playlistID,
                                             std::vector<std::string> songIDs) override;
  asio::awaitable<std::string> addToLibrary(std::string type,
                                            std::vector<std::string> ids) override;
  asio::awaitable<std::string> rate(std::string id, std::string kind, std::string rating) override;
  asio::awaitable<std::string> listeningHistory() override;
};

}  // namespace melodock
