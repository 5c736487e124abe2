// The panel's now-playing area: artwork, marquee titles, transport buttons, the progress
// track with click-to-seek, the note line, the Low Data Mode hint and, expanded, the
// queue list. It renders NowPlayingSnapshot values and hands clicks to its actions.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/now_playing_model.h"
#include "ui/qt/marquee_label.h"

namespace melodock::qt {

// A song's artwork from a file:// URL, rounded; a "music.note" on a neutral fill when
// there is none or the file cannot be read.
class ArtworkView : public QWidget {
 public:
  explicit ArtworkView(int side, QWidget* parent = nullptr);
  void setSide(int side);
  void setURL(const std::string& url);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int side_;
  std::string url_;
  QPixmap picture_;
};

// The capsule track: its fill follows the playback; a click seeks.
class ProgressTrack : public QWidget {
 public:
  explicit ProgressTrack(std::function<void(double x, double width)> clicked,
                         QWidget* parent = nullptr);
  void setFraction(double fraction);
  [[nodiscard]] double fraction() const { return fraction_; }
  [[nodiscard]] QSize sizeHint() const override { return {100, 12}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::function<void(double, double)> clicked_;
  double fraction_ = 0;
};

// One entry in the queue list.
class UpNextRow : public QAbstractButton {
 public:
  explicit UpNextRow(const QueueRow& row, QWidget* parent = nullptr);
  [[nodiscard]] const QueueRow& row() const { return row_; }
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QueueRow row_;
  ArtworkView* artwork_;
  bool hovering_ = false;
};

class NowPlayingView : public QWidget {
 public:
  struct Actions {
    std::function<void()> playPause;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void(double seconds)> seek;
    std::function<void(std::string entryID)> jump;
    std::function<void()> openNetworkSettings;
  };

  explicit NowPlayingView(Actions actions, QWidget* parent = nullptr);

  void present(const NowPlayingSnapshot& snapshot, bool lowDataMode);
  [[nodiscard]] bool expanded() const { return expanded_; }
  // As a click on the song block does.
  void toggleExpanded();

  // For tests and the keyboard.
  [[nodiscard]] QWidget* songBlock() const { return songBlock_; }
  [[nodiscard]] QToolButton* playPauseButton() const { return playPause_; }
  [[nodiscard]] QToolButton* nextButton() const { return next_; }
  [[nodiscard]] QToolButton* previousButton() const { return previous_; }
  [[nodiscard]] ProgressTrack* progressTrack() const { return track_; }
  [[nodiscard]] MarqueeLabel* titleLabel() const { return title_; }
  [[nodiscard]] QLabel* subtitleLabel() const { return subtitle_; }
  [[nodiscard]] MarqueeLabel* noteLabel() const { return note_; }
  [[nodiscard]] QScrollArea* queueList() const { return queue_; }
  [[nodiscard]] QAbstractButton* lowDataModeHint() const { return lowDataHint_; }
  [[nodiscard]] std::vector<UpNextRow*> queueRows() const;

 private:
  void renderQueue();
  void showLowDataModePopover();

  Actions actions_;
  NowPlayingSnapshot snapshot_;
  bool expanded_ = false;
  std::optional<std::size_t> scrolledTo_;
  std::vector<QueueRow> rows_;

  QWidget* songBlock_;
  ArtworkView* artwork_;
  MarqueeLabel* title_;
  QLabel* waveform_;
  QLabel* subtitle_;
  QToolButton* previous_;
  QToolButton* playPause_;
  QToolButton* next_;
  ProgressTrack* track_;
  QLabel* elapsed_;
  QLabel* total_;
  QWidget* noteLine_;
  MarqueeLabel* note_;
  QScrollArea* queue_;
  QVBoxLayout* queueLayout_;
  QAbstractButton* lowDataHint_;
  QPointer<QFrame> lowDataPopover_;
};

}  // namespace melodock::qt
