// The panel: the host's status, the music area, the Connect section and the footer, as a
// 320-pixel-wide window. It renders a PanelModel over the snapshots its actions deliver,
// re-reads them once a second only while it is visible, and posts every user action
// back through PanelActions. GUI thread only, except changed().
#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "ui/panel_model.h"
#include "ui/qt/menu_row.h"
#include "ui/qt/now_playing_view.h"
#include "ui/qt/panel_actions.h"

namespace melodock::qt {

class PanelWindow : public QWidget {
 public:
  static constexpr int kWidth = 320;
  static constexpr qint64 kFocusClickWindow = 300;  // milliseconds

  // A popover opens beside the tray and hides when it loses the focus; a window is an
  // ordinary one the shell places (no tray), and closing it only hides it.
  enum class Mode { popover, window };

  explicit PanelWindow(PanelActions actions, Mode mode = Mode::window, QWidget* parent = nullptr);
  ~PanelWindow() override;
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;

  void setMode(Mode mode);
  [[nodiscard]] Mode mode() const { return mode_; }

  // Renders `snapshot`; the view state (copy marks, confirmations, disclosures) stays.
  void present(PanelSnapshot snapshot);
  // Asks for a fresh snapshot; several asks while one is on its way make one more.
  void refresh();
  // Something the panel shows may have changed: re-read it if the panel is visible.
  // Any thread; the panel must outlive the call, and the application too.
  void changed();

  [[nodiscard]] const PanelModel& model() const { return model_; }
  [[nodiscard]] NowPlayingView* nowPlaying() const { return nowPlaying_; }
  // Everything but the scrolling frame: what a screenshot shows.
  [[nodiscard]] QWidget* content() const { return content_; }
  [[nodiscard]] bool rereading() const { return timer_.isActive(); }
  // Whether the popover went away a moment ago because it lost the focus: a click on
  // the tray icon takes the focus first, and that click means "close", not "open again".
  [[nodiscard]] bool justLostFocus() const {
    return lostFocus_.isValid() && lostFocus_.elapsed() < kFocusClickWindow;
  }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void render();
  void fitHeight();
  void copy(const std::string& key);
  void toggleConnect();
  void resetToken();
  void updateClicked();
  void showAbout();
  void openURL(const std::string& url);
  void openNetworkSettings();
  void quit();

  PanelActions actions_;
  Mode mode_;
  PanelModel model_;
  QTimer timer_;
  QElapsedTimer lostFocus_;
  bool requesting_ = false;
  bool again_ = false;
  bool reopened_ = true;  // the next snapshot is the first since the panel opened
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
  QWidget* header_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* dot_ = nullptr;
  QLabel* status_ = nullptr;
  NowPlayingView* nowPlaying_ = nullptr;
  QWidget* subscriptionWarning_ = nullptr;
  MenuRow* setUpRow_ = nullptr;
  QWidget* deniedBox_ = nullptr;
  SectionHeader* connectHeader_ = nullptr;
  QWidget* connectBody_ = nullptr;
  MenuRow* promptRow_ = nullptr;
  QWidget* newTokenLine_ = nullptr;
  SectionHeader* manualHeader_ = nullptr;
  QWidget* manualBody_ = nullptr;
  QComboBox* picker_ = nullptr;
  QLabel* hint_ = nullptr;
  MenuRow* settingsRow_ = nullptr;
  MenuRow* resetRow_ = nullptr;
  QWidget* resetConfirm_ = nullptr;
  Switch* shareSwitch_ = nullptr;
  Switch* changesSwitch_ = nullptr;
  MenuRow* updateRow_ = nullptr;
  QPointer<QWidget> about_;
};

}  // namespace melodock::qt
