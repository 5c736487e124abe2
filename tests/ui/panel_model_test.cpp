#include "ui/panel_model.h"

#include <gtest/gtest.h>

#include "ui/welcome_model.h"

namespace melodock {
namespace {

TEST(PanelModel, TheConnectSectionOpensUntilAClientConnects) {
  struct Row {
    const char* name;
    bool connected;
    std::string stored;
    bool expanded;
  };
  const std::vector<Row> rows = {
      {"first launch", false, "", true},
      {"a client connected, nothing chosen", true, "", false},
      {"a client connected, the user opened it", true, "open", true},
      {"the user closed it before any client", false, "closed", false},
      {"closed, then a client connected", true, "closed", false},
      {"an unknown stored value", false, "tools", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PanelModel model({.hasConnectedClient = row.connected, .connectSection = row.stored});
    EXPECT_EQ(model.connectExpanded(), row.expanded);
    EXPECT_EQ(model.toggledConnectSection(), row.expanded ? "closed" : "open");
  }
}

TEST(PanelModel, AClientConnectingWhileOpenClosesTheSectionAtTheNextOpening) {
  PanelModel model({.hasConnectedClient = false});
  ASSERT_TRUE(model.connectExpanded());
  model.update({.hasConnectedClient = true});
  EXPECT_TRUE(model.connectExpanded()) << "not folded away under the user";
  model.opened();
  EXPECT_FALSE(model.connectExpanded());
}

TEST(PanelModel, AClickShowsAtOnceAndHoldsUntilStored) {
  PanelModel model({.hasConnectedClient = true});
  model.connectSectionStored(model.toggledConnectSection());
  EXPECT_TRUE(model.connectExpanded());
  model.update({.hasConnectedClient = true, .connectSection = "open"});
  EXPECT_TRUE(model.connectExpanded());
  model.update({.hasConnectedClient = true, .connectSection = "closed"});
  EXPECT_FALSE(model.connectExpanded()) << "another process's choice wins once stored";
}

// Copying and resetting as a user clicks are the panel window's tests; here, what they
// cannot reach.
TEST(PanelModel, CopyMarksAndTheNewTokenLineGoWhenTheyNoLongerApply) {
  PanelModel model({.client = ClientSetup::cursor});
  EXPECT_EQ(model.promptRow().icon, "doc.on.doc");
  model.copied("cursor");
  model.choose(ClientSetup::codex);
  EXPECT_EQ(model.settingsRow().title, "Copy Settings") << "another client's row";
  EXPECT_EQ(model.copyText("notAClient"), "");
  model.copied("prompt");
  model.askToReset();
  model.cancelReset();
  EXPECT_FALSE(model.showsNewTokenLine());
  model.askToReset();
  model.tokenReset();
  EXPECT_EQ(model.promptRow().title, "Copy Setup Prompt") << "the copy mark goes";
  model.update({});
  EXPECT_TRUE(model.showsNewTokenLine()) << "until the view is built again";
  EXPECT_FALSE(PanelModel().showsNewTokenLine());
}

TEST(PanelModel, TheMusicAreaFollowsTheAccess) {
  using Status = MusicAuthorization::Status;
  struct Row {
    const char* name;
    Status status;
    bool canPlay;
    PanelModel::MusicArea area;
    bool warning;
  };
  const std::vector<Row> rows = {
      {"not asked", Status::notDetermined, false, PanelModel::MusicArea::setUp, false},
      {"denied", Status::denied, false, PanelModel::MusicArea::denied, false},
      {"restricted", Status::restricted, false, PanelModel::MusicArea::setUp, false},
      {"allowed", Status::authorized, true, PanelModel::MusicArea::nowPlaying, false},
      {"no subscription", Status::authorized, false, PanelModel::MusicArea::nowPlaying, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const PanelModel model({.authorization = row.status, .canPlayCatalog = row.canPlay});
    EXPECT_EQ(model.musicArea(), row.area);
    EXPECT_EQ(model.showsSubscriptionWarning(), row.warning);
  }
  EXPECT_EQ(welcome::accessAccessory(Status::denied), welcome::AccessAccessory::denied);
  EXPECT_EQ(welcome::accessAccessory(Status::authorized), welcome::AccessAccessory::checkmark);
}

TEST(PanelModel, TheHeaderSaysWhatTheHostDoes) {
  struct Row {
    const char* name;
    PanelSnapshot snapshot;
    const char* status;
  };
  const std::vector<Row> rows = {
      {"running, nobody yet", {.running = true}, "Ready for your AI"},
      {"running, a client",
       {.running = true, .lastClient = "Claude Code"},
       "Connected: Claude Code"},
      {"stopped", {.running = false, .lastClient = "Claude Code"}, "Not running"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PanelModel(row.snapshot).statusText(), row.status);
  }
  EXPECT_EQ(PanelModel({.port = 8080}).listeningText(), "Listening on 127.0.0.1:8080");
  EXPECT_EQ(PanelModel().listeningText(), std::nullopt);
}

}  // namespace
}  // namespace melodock
