// Puts the consent question to the desktop's user two ways at once: the permission
// window, and a desktop notification with the same title, explanation and both
// answers as actions (Wayland shells may keep a window the user did not ask for behind
// others). The first answer from either is the answer, and it takes both away.
#pragma once

#include <memory>

#include <QIcon>
#include <QObject>

#include "music/permission_prompt.h"
#include "platform/desktop_notifications.h"

namespace melodock::qt {

class ConsentPresenter final : public PermissionPrompt::Presenter {
 public:
  // The action keys the notification carries; "default" is a click on its body, which
  // brings the window to the front.
  static constexpr const char* kTurnOnAction = "turn-on";
  static constexpr const char* kNotNowAction = "not-now";

  // Built on the GUI thread. `notifications` may be null (only the window shows); it
  // and the presenter must outlive every presentation, so the permission prompt goes
  // first.
  ConsentPresenter(DesktopNotifications* notifications, QIcon appIcon);
  ~ConsentPresenter() override;
  ConsentPresenter(const ConsentPresenter&) = delete;
  ConsentPresenter& operator=(const ConsentPresenter&) = delete;

  // Any thread (the prompt calls it on the main actor): the window is made on the GUI
  // thread, the notification on the bus's strand.
  [[nodiscard]] std::unique_ptr<PermissionPrompt::Presentation> present(
      PermissionPrompt::Question question) override;

 private:
  class Shown;

  DesktopNotifications* notifications_;
  QIcon appIcon_;
  // Lives on the GUI thread; queued calls from other threads go through it.
  std::unique_ptr<QObject> gui_;
};

}  // namespace melodock::qt
