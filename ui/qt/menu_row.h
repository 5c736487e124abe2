// The panel's building blocks: a row with an icon square, title and subtitle; a
// collapsible section's header; the info button with its popover; a switch; a divider.
// Each is a button a keyboard reaches with Tab and a screen reader names by its text.
#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <string>

namespace melodock::qt {

class MenuRow : public QAbstractButton {
 public:
  explicit MenuRow(QWidget* parent = nullptr);

  // `icon` is a symbol name; `prominent` fills its square with the accent colour.
  void set(const std::string& icon, const QString& title, const QString& subtitle = {},
           bool prominent = false);
  // A short text on the right, such as a shortcut.
  void setAccessory(const QString& accessory);
  [[nodiscard]] QString title() const { return text(); }
  [[nodiscard]] QString subtitle() const { return subtitle_; }
  [[nodiscard]] const std::string& icon() const { return icon_; }

  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override { return {100, sizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  std::string icon_;
  QString subtitle_;
  QString accessory_;
  bool prominent_ = false;
  bool hovering_ = false;
};

// A row with a title and a chevron: right while collapsed, down while expanded.
class SectionHeader : public QAbstractButton {
 public:
  explicit SectionHeader(const QString& title, QWidget* parent = nullptr);

  void setExpanded(bool expanded);
  [[nodiscard]] bool expanded() const { return expanded_; }
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool expanded_ = false;
  bool hovering_ = false;
};

// An "info.circle" button; a click shows `text` in a popover, a second click hides it.
class InfoButton : public QAbstractButton {
 public:
  InfoButton(const QString& text, const QString& accessibleName, QWidget* parent = nullptr);

  [[nodiscard]] bool shown() const;
  [[nodiscard]] QSize sizeHint() const override { return {18, 18}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void toggle();

  QString text_;
  QPointer<QFrame> popover_;
};

// An on/off switch drawn as a capsule; its label is the accessible name only.
class Switch : public QAbstractButton {
 public:
  explicit Switch(const QString& accessibleName, QWidget* parent = nullptr);
  [[nodiscard]] QSize sizeHint() const override { return {32, 18}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A thin separator.
class Divider : public QFrame {
 public:
  explicit Divider(QWidget* parent = nullptr);
};

// A label in the panel's small secondary style (11 px).
[[nodiscard]] QLabel* secondaryLabel(const QString& text, QWidget* parent);
// The panel's text sizes are in pixels, as the panel's measures are.
[[nodiscard]] QFont pixelFont(const QFont& base, int pixels, int weight = -1);

}  // namespace melodock::qt
