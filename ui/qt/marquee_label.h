// One line of text that scrolls sideways when it does not fit (the Marquee model decides
// when and how); still and clipped when it fits. It animates only while it is visible.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace melodock::qt {

class MarqueeLabel : public QWidget {
 public:
  explicit MarqueeLabel(QWidget* parent = nullptr);

  // A new text starts a new cycle; the same text keeps the running one.
  void setText(const QString& text);
  [[nodiscard]] const QString& text() const { return text_; }
  [[nodiscard]] bool scrolling() const { return timer_.isActive(); }

  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  [[nodiscard]] int textWidth() const;
  void restart();

  QString text_;
  QTimer timer_;
  QElapsedTimer elapsed_;
};

}  // namespace melodock::qt
