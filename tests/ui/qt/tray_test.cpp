#include "ui/qt/tray.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <string>
#include <vector>

#include "ui/qt/panel_window.h"

namespace melodock::qt {
namespace {

TEST(Tray, TheMenuOpensThePanelAndReachesThePlayer) {
  std::vector<std::string> calls;
  PanelWindow panel(
      {.request = [](const std::function<void(PanelSnapshot)>& deliver) { deliver({}); }},
      PanelWindow::Mode::popover);
  Tray tray(panel, {.playPause = [&] { calls.emplace_back("playPause"); },
                    .next = [&] { calls.emplace_back("next"); },
                    .quit = [&] { calls.emplace_back("quit"); }});
  std::vector<QString> texts;
  for (QAction* action : tray.menu().actions()) {
    if (!action->isSeparator()) texts.push_back(action->text());
  }
  ASSERT_EQ(texts, (std::vector<QString>{"Open Melodock", "Play/Pause", "Next", "Quit Melodock"}));
  const QList<QAction*> actions = tray.menu().actions();
  actions[1]->trigger();
  actions[2]->trigger();
  actions[4]->trigger();
  EXPECT_EQ(calls, (std::vector<std::string>{"playPause", "next", "quit"}));
  EXPECT_FALSE(panel.isVisible());
  actions[0]->trigger();
  EXPECT_TRUE(panel.isVisible());
}

}  // namespace
}  // namespace melodock::qt
