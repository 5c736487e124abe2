// What the panel shows, decided without a toolkit: the header's status, the music area,
// the Connect section's open/closed rule, the copy rows, the token-reset flow, the
// consent switches and the update row. It holds the panel's view state over the last
// snapshot the main actor published; the view renders it and posts actions back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/music/authorization.h"
#include "ui/client_setup.h"
#include "ui/now_playing_model.h"
#include "ui/update_state.h"

namespace melodock {

// Everything the panel reads, as the main actor saw it.
struct PanelSnapshot {
  // The host.
  bool running = false;
  std::optional<std::string> problem;
  std::optional<std::string> lastClient;
  std::optional<std::int64_t> port;
  // The music service and the network.
  MusicAuthorization::Status authorization = MusicAuthorization::Status::notDetermined;
  bool canPlayCatalog = false;
  bool lowDataMode = false;
  NowPlayingSnapshot nowPlaying;
  // The stored settings.
  bool sharePersonalData = false;
  bool allowLibraryChanges = false;
  bool hasConnectedClient = false;
  std::string connectSection;  // "open", "closed" or empty
  ClientSetup client = ClientSetup::claudeCode;
  // The copy texts: the setup prompt and each client's snippet in ClientSetup order.
  std::string setupPrompt;
  std::array<std::string, 9> snippets;
  UpdateState update;
};

namespace panel {

inline constexpr std::string_view kTitle = "Melodock";
inline constexpr std::string_view kReady = "Ready for your AI";
inline constexpr std::string_view kConnected = "Connected: ";
inline constexpr std::string_view kNotRunning = "Not running";
inline constexpr std::string_view kSetUpTitle = "Set Up Apple Music";
inline constexpr std::string_view kSetUpSubtitle =
    "Lets your AI search Apple Music and play songs on this computer.";
inline constexpr std::string_view kDenied = "Access was denied. Turn it on in Apple Music Access.";
inline constexpr std::string_view kOpenAccess = "Open Apple Music Access";
inline constexpr std::string_view kNeedsSubscription =
    "An Apple Music subscription is needed to play songs.";
inline constexpr std::string_view kConnectYourAI = "Connect Your AI";
inline constexpr std::string_view kCopySetupPrompt = "Copy Setup Prompt";
inline constexpr std::string_view kCopySetupPromptSubtitle =
    "Paste it into your AI agent, and it connects itself.";
inline constexpr std::string_view kCopied = "Copied";
inline constexpr std::string_view kNewToken =
    "New access token created. Paste the setup prompt into your AI apps again.";
inline constexpr std::string_view kManualSetup = "Manual Setup";
inline constexpr std::string_view kCopySettings = "Copy Settings";
inline constexpr std::string_view kResetToken = "Reset Access Token…";
inline constexpr std::string_view kResetTokenSubtitle =
    "Disconnects every AI app until you give it the new settings";
inline constexpr std::string_view kResetQuestion = "Reset the access token?";
inline constexpr std::string_view kResetExplanation =
    "Every connected AI app is disconnected until you give it the new settings.";
inline constexpr std::string_view kCancel = "Cancel";
inline constexpr std::string_view kReset = "Reset";
inline constexpr std::string_view kShareTitle = "Share Library & History";
inline constexpr std::string_view kShareExplanation =
    "Lets your AI see your songs, playlists and recently played music so it picks music you "
    "like. Your AI's provider receives this data.";
inline constexpr std::string_view kChangesTitle = "Allow Library Changes";
inline constexpr std::string_view kChangesExplanation =
    "Lets your AI create playlists and add music to your library. It can't delete anything.";
inline constexpr std::string_view kSetupGuide = "Setup Guide…";
inline constexpr std::string_view kAbout = "About Melodock";
inline constexpr std::string_view kQuit = "Quit Melodock";
inline constexpr std::string_view kPromptKey = "prompt";

}  // namespace panel

// The update row for one state of the check.
struct UpdateRow {
  enum class Click { check, nothing, openPage };
  std::string title;
  std::string subtitle;  // empty for none
  std::string icon;      // a symbol name
  Click click = Click::check;
};
[[nodiscard]] UpdateRow updateRow(const UpdateState& state);

class PanelModel {
 public:
  enum class MusicArea { nowPlaying, setUp, denied };

  struct CopyRow {
    std::string title;
    std::string subtitle;
    std::string icon;  // "doc.on.doc", or "checkmark" once copied
  };

  explicit PanelModel(PanelSnapshot snapshot = {});

  // A newer snapshot; the view state stays.
  void update(PanelSnapshot snapshot);
  [[nodiscard]] const PanelSnapshot& snapshot() const { return snapshot_; }

  // The panel opens: the Connect section's default is taken from what is known now, so
  // a client that connects while the panel is open does not fold it away under the user.
  void opened();

  [[nodiscard]] std::string statusText() const;
  // "Listening on 127.0.0.1:<port>" once the port is known.
  [[nodiscard]] std::optional<std::string> listeningText() const;
  [[nodiscard]] MusicArea musicArea() const;
  [[nodiscard]] bool showsSubscriptionWarning() const;

  // Open when "open" is stored; with nothing stored, open exactly while no client has
  // ever connected; closed for anything else.
  [[nodiscard]] bool connectExpanded() const;
  // What a click on the section's header stores: "open" or "closed".
  [[nodiscard]] std::string toggledConnectSection() const;
  // The stored choice as the click left it, until the settings catch up.
  void connectSectionStored(std::string value);

  [[nodiscard]] CopyRow copyRow(std::string_view title, std::string_view subtitle,
                                std::string_view key) const;
  [[nodiscard]] CopyRow promptRow() const;
  [[nodiscard]] CopyRow settingsRow() const;
  // The text of the row with `key` ("prompt" or a client's raw name); empty for none.
  [[nodiscard]] std::string copyText(std::string_view key) const;
  // The text went on the clipboard: only this row reads "Copied" now.
  void copied(std::string key) { copied_ = std::move(key); }

  [[nodiscard]] bool showsManualSetup() const { return showManualSetup_; }
  void toggleManualSetup() { showManualSetup_ = !showManualSetup_; }
  // The client shown under Manual Setup, until the settings catch up with a choice.
  [[nodiscard]] ClientSetup client() const { return chosen_.value_or(snapshot_.client); }
  void choose(ClientSetup client) { chosen_ = client; }

  [[nodiscard]] bool confirmingReset() const { return confirmingReset_; }
  void askToReset() { confirmingReset_ = true; }
  void cancelReset() { confirmingReset_ = false; }
  // The new token is stored: the copy marks go, and the new-token line shows until the
  // panel's view is built again.
  void tokenReset();
  [[nodiscard]] bool showsNewTokenLine() const { return tokenWasReset_; }

  [[nodiscard]] UpdateRow updateRow() const { return melodock::updateRow(snapshot_.update); }

 private:
  PanelSnapshot snapshot_;
  bool connectedAtOpen_ = false;
  std::optional<std::string> connectSection_;  // a click's value, until stored
  std::optional<std::string> copied_;
  std::optional<ClientSetup> chosen_;
  bool showManualSetup_ = false;
  bool confirmingReset_ = false;
  bool tokenWasReset_ = false;
};

}  // namespace melodock
