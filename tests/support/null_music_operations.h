// A MusicOperations whose every operation fails with a ToolError saying that its tool
// is not available yet: for tests of what sits in front of the tools, which override
// only what they look at.
#pragma once

#include <string>

#include "music/music_operations.h"
#include "music/tool_error.h"

namespace melodock {

class NullMusicOperations : public MusicOperations {
 public:
  using Text = asio::awaitable<std::string>;
  using IDs = std::vector<std::string>;
  using MaybeText = std::optional<std::string>;

  asio::awaitable<mcp::Value> nowPlayingDict() override {
    return unavailable<mcp::Value>("now_playing");
  }
  Text playback(std::string /*action*/) override { return unavailable("playback"); }
  Text seek(double /*seconds*/) override { return unavailable("seek"); }
  Text setModes(std::optional<bool> /*shuffle*/, MaybeText /*repeatMode*/) override {
    return unavailable("set_modes");
  }
  Text playSongs(IDs /*ids*/, std::string /*mode*/, MaybeText /*note*/) override {
    return unavailable("play_songs");
  }
  Text playCollection(std::string /*type*/, std::string /*id*/, bool /*shuffle*/,
                      MaybeText /*note*/) override {
    return unavailable("play_collection");
  }
  asio::awaitable<void> applyNote(MaybeText /*text*/) override { co_await unavailable("set_note"); }
  Text queue() override { return unavailable("get_queue"); }
  Text searchCatalog(std::string /*query*/, std::int64_t /*limit*/) override {
    return unavailable("search_catalog");
  }
  Text artistInfo(std::string /*id*/) override { return unavailable("artist_info"); }
  Text albumSongs(std::string /*id*/) override { return unavailable("album_songs"); }
  Text charts(std::int64_t /*limit*/) override { return unavailable("charts"); }
  Text recentlyAdded(std::int64_t /*limit*/) override { return unavailable("search_library"); }
  Text searchLibrary(std::string /*query*/, std::string /*type*/, std::int64_t /*limit*/) override {
    return unavailable("search_library");
  }
  Text libraryPlaylists() override { return unavailable("library_playlists"); }
  Text playlistSongs(std::string /*id*/) override { return unavailable("playlist_songs"); }
  Text createPlaylist(std::string /*name*/, MaybeText /*description*/, IDs /*songIDs*/) override {
    return unavailable("create_playlist");
  }
  Text addToPlaylist(std::string /*playlistID*/, IDs /*songIDs*/) override {
    return unavailable("add_to_playlist");
  }
  Text addToLibrary(std::string /*type*/, IDs /*ids*/) override {
    return unavailable("add_to_library");
  }
  Text rate(std::string /*id*/, std::string /*kind*/, std::string /*rating*/) override {
    return unavailable("rate");
  }
  Text listeningHistory() override { return unavailable("listening_history"); }

 private:
  // Throws once awaited, so the failure arrives when the caller awaits the operation.
  template <typename T = std::string>
  static asio::awaitable<T> unavailable(std::string tool) {
    throw ToolError(tool + " is not available yet.");
    co_return T{};
  }
};

}  // namespace melodock
