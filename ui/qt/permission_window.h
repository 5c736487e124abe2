// The consent question as a small floating window: the app's icon, the question, what
// it means, and "Not Now" beside "Turn On". Return is "Turn On", Escape "Not Now"; the
// close button answers no as well. The time-out is the prompt's, not the window's.
#pragma once

#include <functional>

#include <QDialog>
#include <QIcon>
#include <QString>

class QPushButton;

namespace melodock::qt {

class PermissionWindow : public QDialog {
 public:
  static constexpr int kContentWidth = 280;

  // `onAnswer` is called at most once, on the GUI thread: true for "Turn On", false for
  // "Not Now", Escape or a close by the user. The window deletes itself once closed.
  // `yes`, when given, is the text of the button that answers true instead of "Turn On".
  PermissionWindow(const QString& title, const QString& explanation, const QIcon& appIcon,
                   std::function<void(bool)> onAnswer, const QString& yes = {});

  // In front of other windows and focused; centred on its screen the first time.
  void bringToFront();
  // Takes the window away without answering (someone answered elsewhere).
  void dismiss();

  [[nodiscard]] QPushButton* turnOnButton() const { return turnOn_; }
  [[nodiscard]] QPushButton* notNowButton() const { return notNow_; }

 protected:
  // Escape and the close button end here.
  void reject() override;

 private:
  void answer(bool yes);

  std::function<void(bool)> onAnswer_;
  QPushButton* turnOn_;
  QPushButton* notNow_;
  bool placed_ = false;
};

}  // namespace melodock::qt
