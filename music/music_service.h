// The one music service: what every music tool goes through and what the panel
// observes. It holds the app's music authorization, whether the account can play
// catalog songs, the agent's set note and the songs it last queued, and builds the
// now-playing, queue-entry and song objects the tools answer with. Everything runs on
// the main actor.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <asio.hpp>
#include <nlohmann/json.hpp>

#include "mcp/value.h"
#include "music/music_operations.h"
#include "music/network_status.h"
#include "music/permission_prompt.h"
#include "platform/actor.h"
#include "platform/app_settings.h"
#include "platform/clock.h"
#include "platform/music/authorization.h"
#include "platform/music/catalog/catalog.h"
#include "platform/music/items.h"
#include "platform/music/library/library.h"
#include "platform/music/library/recommendations.h"
#include "platform/music/playback/music_player.h"
#include "platform/music/web_api/web_api_client.h"
#include "platform/music/web_api/web_api_url.h"
#include "platform/settings.h"

namespace melodock {

class MusicService : public MusicOperations {
 public:
  struct Parts {
    const MainActor& main;
    MusicPlayer& player;
    Settings& settings;
    PermissionPrompt& prompt;
    // The user's cloud library: playlists, recently added, heavy rotation, changes.
    WebAPIClient& webAPI;
    NetworkStatus& network;
    Clock& clock;
    Catalog& catalog;
    Library& library;
    // Told true while music plays and false when it stops: the keep-awake activity.
    std::function<void(bool)> keepAwake;
  };

  // Every part must outlive the service, which is created and used on `parts.main`.
  explicit MusicService(Parts parts);
  ~MusicService() override;

  [[nodiscard]] MusicAuthorization::Status authorization() const { return authorization_; }
  void setAuthorization(MusicAuthorization::Status status);
  [[nodiscard]] bool canPlayCatalog() const { return canPlayCatalog_; }
  [[nodiscard]] const std::optional<std::string>& note() const { return note_; }
  // Called after each change of an observed field (authorization, catalog, note, reloads).
  void observe(std::function<void()> observer);

  // Re-reads whether the account can play catalog songs; never fails.
  asio::awaitable<void> refreshSubscription();

  // The consent gates: return when the operation may go ahead, else throw a ToolError.
  asio::awaitable<void> requirePersonalData();
  asio::awaitable<void> requireLibraryChanges();

  [[nodiscard]] mcp::Value::Object nowPlayingObject();
  [[nodiscard]] mcp::Value::Object entryDict(const MusicPlayer::Entry& entry);
  [[nodiscard]] static mcp::Value::Object songDict(const Song& song);
  // The song behind a queue entry, or nothing.
  [[nodiscard]] std::optional<Song> songFor(const MusicPlayer::Entry& entry);
  // The best known version of a queued song; a song without artwork is looked up again
  // in the background, at most once every 15 seconds.
  [[nodiscard]] Song complete(const Song& song);

  asio::awaitable<mcp::Value> nowPlayingDict() override;
  asio::awaitable<std::string> playback(std::string action) override;
  asio::awaitable<std::string> seek(double seconds) override;
  asio::awaitable<std::string> setModes(std::optional<bool> shuffle,
                                        std::optional<std::string> repeatMode) override;
  asio::awaitable<void> applyNote(std::optional<std::string> text) override;

  // Catalog discovery: the public catalog only, no consent needed, but authorization.
  // A search limit is clamped to 1...25 per type, a chart limit to 1...50.
  asio::awaitable<std::string> searchCatalog(std::string query, std::int64_t limit) override;
  asio::awaitable<std::string> artistInfo(std::string id) override;
  // The album's songs in track order; its music videos are left out.
  asio::awaitable<std::string> albumSongs(std::string id) override;
  asio::awaitable<std::string> charts(std::int64_t limit) override;

  // Starts ("replace"), inserts ("next") or appends ("queue") the songs with these ids.
  asio::awaitable<std::string> playSongs(std::vector<std::string> ids, std::string mode,
                                         std::optional<std::string> note) override;
  // Replaces the queue with an album, a playlist or a station.
  asio::awaitable<std::string> playCollection(std::string type, std::string id, bool shuffle,
                                              std::optional<std::string> note) override;
  // The queue's entries, the current one marked; needs no authorization.
  asio::awaitable<std::string> queue() override;

  // The songs with these ids, in their order; ids of no song are left out, a repeated
  // id gives its song again. Library ids ("i.") pass the personal-data gate first.
  asio::awaitable<std::vector<Song>> resolveSongs(std::vector<std::string> ids);
  // The user's album or playlist with this id, or nothing; both pass the personal-data
  // gate first.
  asio::awaitable<std::optional<Album>> libraryAlbum(std::string id);
  asio::awaitable<std::optional<Playlist>> libraryPlaylist(std::string id);

  // The user's library (after the personal-data gate), and its changes (after the
  // library-changes gate). A search limit is clamped to 1...100, recently added to 1...25.
  asio::awaitable<std::string> searchLibrary(std::string query, std::string type,
                                             std::int64_t limit) override;
  asio::awaitable<std::string> recentlyAdded(std::int64_t limit) override;
  asio::awaitable<std::string> libraryPlaylists() override;
  // Recently played (30), heavy rotation (left empty when its request fails) and at most
  // 8 recommendations of at most 8 items.
  asio::awaitable<std::string> listeningHistory() override;
  // The playlist and its songs: track objects for a "p." playlist, song objects for a
  // catalog ("pl.") or library playlist. Authorization is checked first for every form.
  asio::awaitable<std::string> playlistSongs(std::string id) override;
  asio::awaitable<std::string> createPlaylist(std::string name,
                                              std::optional<std::string> description,
                                              std::vector<std::string> songIDs) override;
  asio::awaitable<std::string> addToPlaylist(std::string playlistID,
                                             std::vector<std::string> songIDs) override;
  asio::awaitable<std::string> addToLibrary(std::string type,
                                            std::vector<std::string> ids) override;
  asio::awaitable<std::string> rate(std::string id, std::string kind, std::string rating) override;

  // Waits, 20 checks at most with 100 ms between, until the player shows the effect of
  // `action` against the state seen before it.
  struct Snapshot {
    MusicPlayer::Status status;
    std::optional<std::string> entryID;
  };
  asio::awaitable<void> settle(std::string action, Snapshot before);
  // The same, until the player plays with at least `queueLength` entries queued.
  asio::awaitable<void> settle(std::size_t queueLength);

  // The web API. A request waits at most this long for its answer.
  static constexpr std::chrono::seconds kWebAPITimeout{60};
  // Listing caps: the page that reaches one is kept whole.
  static constexpr std::size_t kCloudPlaylistCap = 1000;
  static constexpr std::size_t kPlaylistTrackCap = 500;

  struct CloudPlaylist {
    std::string id;
    std::string name;
    bool canEdit = false;

    bool operator==(const CloudPlaylist&) const = default;
  };

  // One web API request: `path` (beginning with "/") follows the client's base URL;
  // `query`, when not empty, replaces the path's own query; `body` goes as JSON with
  // "Content-Type: application/json". Returns the body of a 2xx answer. Throws a
  // ToolError "Apple Music API error (<status>): <title>. <detail>" for any other
  // status, a ToolError when the path makes no valid URL, and the transport's
  // WebAPIError when no answer came.
  asio::awaitable<std::string> appleMusicAPI(std::string method, std::string path,
                                             QueryItems query = {},
                                             std::optional<nlohmann::json> body = std::nullopt);
  // The resource objects of a list answer's `data`; empty for anything else.
  [[nodiscard]] static std::vector<mcp::Value::Object> resources(std::string_view data);
  [[nodiscard]] static mcp::Value::Object resourceDict(const nlohmann::json& element);
  // All the user's library playlists, at most about kCloudPlaylistCap; never fails: a
  // failed page ends the listing.
  asio::awaitable<std::vector<CloudPlaylist>> cloudPlaylists();
  // The track objects of a library playlist, at most about kPlaylistTrackCap, after the
  // personal-data gate; a failed page fails the whole call.
  asio::awaitable<std::vector<mcp::Value::Object>> cloudPlaylistTracks(std::string id);
  // {"id", "type"} per id: "library-songs" for "i." ids, "songs" for any other.
  [[nodiscard]] static nlohmann::json trackReferences(const std::vector<std::string>& ids);
  // The songs among `tracks`, in order; none without tracks.
  [[nodiscard]] static std::vector<Song> songs(const std::optional<std::vector<Track>>& tracks);

  // The songs this service last put in the player's queue, in queue order, and the
  // count of queue replacements.
  std::vector<Song> queuedSongs;
  std::uint64_t queueSet = 0;

 protected:
  // Throws the not-authorized ToolError unless the app is authorized.
  void requireAuthorized() const;

 private:
  asio::awaitable<void> requireConsent(SettingKey<bool> key, PermissionPrompt::Kind kind,
                                       const char* refusal);
  asio::awaitable<void> settleUntil(std::function<bool()> settled);
  asio::awaitable<void> reload(std::string id, std::weak_ptr<bool> alive);
  // Puts songs into the queue: "replace", "next" or "queue".
  asio::awaitable<void> enqueue(std::vector<Song> songs, std::string mode);
  // Finds the collection, queues it and starts it: what playCollection does between its
  // bookkeeping and its note. Returns the now-playing object.
  asio::awaitable<mcp::Value::Object> queueCollection(std::string type, std::string id,
                                                      bool shuffle);
  // The songs (or tracks) as given, each catalog song that a file of the user's music
  // plays carrying that file, so that it sounds from the file.
  asio::awaitable<std::vector<Song>> withMusicFiles(std::vector<Song> songs);
  asio::awaitable<std::vector<Track>> withMusicFiles(std::vector<Track> tracks);
  // What fills `queuedSongs` once a whole album or playlist is queued.
  using TrackLoad = std::function<asio::awaitable<std::vector<Song>>()>;
  void fillQueuedSongs(TrackLoad load);
  asio::awaitable<void> fill(TrackLoad load, std::uint64_t set, std::weak_ptr<bool> alive);
  void playerWillChange();
  void changed();

  Parts parts_;
  Recommendations recommendations_{parts_.library, parts_.catalog};
  MusicAuthorization::Status authorization_;
  bool canPlayCatalog_ = false;
  std::optional<std::string> note_;
  std::map<std::string, Song> reloaded_;
  std::set<std::string> reloading_;
  bool activityHeld_ = false;
  std::vector<std::function<void()>> observers_;
  // Background work checks this before touching the service after a wait.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace melodock
