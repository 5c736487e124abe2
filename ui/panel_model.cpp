#include "ui/panel_model.h"

namespace melodock {

UpdateRow updateRow(const UpdateState& state) {
  constexpr std::string_view kCheck = "Check for Updates…";
  constexpr std::string_view kCheckIcon = "arrow.triangle.2.circlepath";
  switch (state.kind) {
    case UpdateState::Kind::idle:
      return {std::string(kCheck), "", std::string(kCheckIcon), UpdateRow::Click::check};
    case UpdateState::Kind::checking:
      return {"Checking for Updates…", "", std::string(kCheckIcon), UpdateRow::Click::nothing};
    case UpdateState::Kind::current:
      return {std::string(kCheck), "Melodock is up to date.", std::string(kCheckIcon),
              UpdateRow::Click::check};
    case UpdateState::Kind::failed:
      return {std::string(kCheck), "Couldn't check. Try again later.", std::string(kCheckIcon),
              UpdateRow::Click::check};
    case UpdateState::Kind::available:
      return {"Update Available",
              "Version " + state.version + " is ready. Click to open the download page.",
              "arrow.down.circle", UpdateRow::Click::openPage};
  }
  return {std::string(kCheck), "", std::string(kCheckIcon), UpdateRow::Click::check};
}

PanelModel::PanelModel(PanelSnapshot snapshot) : snapshot_(std::move(snapshot)) { opened(); }

void PanelModel::update(PanelSnapshot snapshot) {
  snapshot_ = std::move(snapshot);
  if (connectSection_ == snapshot_.connectSection) connectSection_.reset();
  if (chosen_ == snapshot_.client) chosen_.reset();
}

void PanelModel::opened() { connectedAtOpen_ = snapshot_.hasConnectedClient; }

std::string PanelModel::statusText() const {
  if (!snapshot_.running) return std::string(panel::kNotRunning);
  if (!snapshot_.lastClient || snapshot_.lastClient->empty()) return std::string(panel::kReady);
  return std::string(panel::kConnected) + *snapshot_.lastClient;
}

std::optional<std::string> PanelModel::listeningText() const {
  if (!snapshot_.port) return std::nullopt;
  return "Listening on 127.0.0.1:" + std::to_string(*snapshot_.port);
}

PanelModel::MusicArea PanelModel::musicArea() const {
  switch (snapshot_.authorization) {
    case MusicAuthorization::Status::authorized:
      return MusicArea::nowPlaying;
    case MusicAuthorization::Status::denied:
      return MusicArea::denied;
    default:
      return MusicArea::setUp;
  }
}

bool PanelModel::showsSubscriptionWarning() const {
  return musicArea() == MusicArea::nowPlaying && !snapshot_.canPlayCatalog;
}

bool PanelModel::connectExpanded() const {
  const std::string& stored = connectSection_ ? *connectSection_ : snapshot_.connectSection;
  if (stored == "open") return true;
  if (stored.empty()) return !connectedAtOpen_;
  return false;
}

std::string PanelModel::toggledConnectSection() const {
  return connectExpanded() ? "closed" : "open";
}

void PanelModel::connectSectionStored(std::string value) { connectSection_ = std::move(value); }

PanelModel::CopyRow PanelModel::copyRow(std::string_view title, std::string_view subtitle,
                                        std::string_view key) const {
  if (copied_ == key) return {std::string(panel::kCopied), std::string(subtitle), "checkmark"};
  return {std::string(title), std::string(subtitle), "doc.on.doc"};
}

PanelModel::CopyRow PanelModel::promptRow() const {
  return copyRow(panel::kCopySetupPrompt, panel::kCopySetupPromptSubtitle, panel::kPromptKey);
}

PanelModel::CopyRow PanelModel::settingsRow() const {
  return copyRow(panel::kCopySettings, "", client().rawValue());
}

std::string PanelModel::copyText(std::string_view key) const {
  if (key == panel::kPromptKey) return snapshot_.setupPrompt;
  const std::optional<ClientSetup> client = ClientSetup::fromRawValue(key);
  if (!client) return {};
  return snapshot_.snippets.at(client->value());
}

void PanelModel::tokenReset() {
  copied_.reset();
  confirmingReset_ = false;
  tokenWasReset_ = true;
}

}  // namespace melodock
