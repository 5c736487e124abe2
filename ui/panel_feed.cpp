#include "ui/panel_feed.h"

#include <utility>

namespace melodock {

PanelFeed::PanelFeed(Sources sources)
    : sources_(std::move(sources)), appSettings_(sources_.settings) {
  sources_.music.observe([this] { changed(); });
  sources_.network.observe([this] { changed(); });
  // The player tells before it changes: the snapshot is taken after the change.
  sources_.player.observe([this] { changed(); });
  settingsChanged_ = sources_.settings.observe([this] { changed(); });
}

PanelFeed::~PanelFeed() {
  settingsChanged_ = {};
  *alive_ = false;
}

void PanelFeed::onChange(std::function<void()> listener) {
  const std::lock_guard lock(mutex_);
  listeners_.push_back(std::move(listener));
}

void PanelFeed::changed() {
  std::vector<std::function<void()>> listeners;
  {
    const std::lock_guard lock(mutex_);
    listeners = listeners_;
  }
  for (const auto& listener : listeners) listener();
}

void PanelFeed::onMain(std::function<void()> work) {
  asio::post(sources_.main.strand(), [alive = std::weak_ptr<bool>(alive_), work = std::move(work)] {
    const auto live = alive.lock();
    if (live && *live) work();
  });
}

void PanelFeed::request(std::function<void(PanelSnapshot)> deliver) {
  onMain([this, deliver = std::move(deliver)] { deliver(take()); });
}

PanelSnapshot PanelFeed::take() {
  PanelSnapshot snapshot;
  if (sources_.host) {
    Host host = sources_.host();
    snapshot.running = host.running;
    snapshot.problem = std::move(host.problem);
    snapshot.lastClient = std::move(host.lastClient);
  }
  snapshot.port = appSettings_.port();
  if (snapshot.port == 0) snapshot.port = AppSettings::kDefaultPort;
  MusicService& music = sources_.music;
  snapshot.authorization = music.authorization();
  snapshot.canPlayCatalog = music.canPlayCatalog();
  snapshot.lowDataMode = sources_.network.isLowDataMode();
  snapshot.nowPlaying = NowPlayingSnapshot::of(
      sources_.player, [&music](const MusicPlayer::Entry& entry) { return music.songFor(entry); },
      music.note());
  snapshot.sharePersonalData = appSettings_.get(setting::kSharePersonalData);
  snapshot.allowLibraryChanges = appSettings_.get(setting::kAllowLibraryChanges);
  snapshot.hasConnectedClient = appSettings_.get(setting::kHasConnectedClient);
  snapshot.connectSection = appSettings_.get(setting::kConnectSection);
  snapshot.client = ClientSetup::fromRawValue(appSettings_.get(setting::kConnectClient))
                        .value_or(ClientSetup::claudeCode);
  snapshot.setupPrompt = ClientSetup::setupPrompt(sources_.command, appSettings_);
  for (const ClientSetup client : ClientSetup::allCases()) {
    snapshot.snippets.at(client.value()) = client.snippet(sources_.command, appSettings_);
  }
  if (sources_.update) snapshot.update = sources_.update();
  return snapshot;
}

void PanelFeed::playPause() {
  onMain([this] {
    MusicPlayer& player = sources_.player;
    try {
      player.status() == MusicPlayer::Status::playing ? player.pause() : player.play();
    } catch (const PlayerError&) {
    }
  });
}

void PanelFeed::next() {
  onMain([this] {
    try {
      sources_.player.skipToNextEntry();
    } catch (const PlayerError&) {
    }
  });
}

void PanelFeed::previous() {
  onMain([this] {
    try {
      sources_.player.skipToPreviousEntry();
    } catch (const PlayerError&) {
    }
  });
}

void PanelFeed::seek(double seconds) {
  onMain([this, seconds] { sources_.player.setPlaybackTime(seconds); });
}

void PanelFeed::jump(std::string entryID) {
  onMain([this, entryID = std::move(entryID)] {
    MusicPlayer& player = sources_.player;
    try {
      const MusicPlayer::Entry* current = player.currentEntry();
      if (current != nullptr && current->id == entryID) return;
      player.setCurrentEntry(entryID);
      if (player.status() != MusicPlayer::Status::playing) player.play();
    } catch (const PlayerError&) {
    }
  });
}

void PanelFeed::set(SettingChange change) {
  onMain([this, change = std::move(change)] { appSettings_.apply(change); });
}

}  // namespace melodock
