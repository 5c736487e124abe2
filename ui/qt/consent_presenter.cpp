#include "ui/qt/consent_presenter.h"

#include <utility>

#include <QPointer>

#include "ui/qt/permission_window.h"

namespace melodock::qt {
namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

// The window of one question. GUI thread only, but made on the presenter's caller.
struct WindowSlot {
  QPointer<PermissionWindow> window;
  bool closed = false;  // taken away, maybe before the window was made
};

}  // namespace

class ConsentPresenter::Shown final : public PermissionPrompt::Presentation {
 public:
  Shown(QObject* gui, std::shared_ptr<WindowSlot> slot,
        std::unique_ptr<DesktopNotifications::Shown> notification)
      : gui_(gui), slot_(std::move(slot)), notification_(std::move(notification)) {}
  ~Shown() override { close(); }
  Shown(const Shown&) = delete;
  Shown& operator=(const Shown&) = delete;

  void close() override {
    notification_.reset();
    if (!slot_) return;
    QMetaObject::invokeMethod(
        gui_,
        [slot = std::move(slot_)] {
          slot->closed = true;
          if (slot->window) slot->window->dismiss();
        },
        Qt::QueuedConnection);
  }

 private:
  QObject* gui_;
  std::shared_ptr<WindowSlot> slot_;
  std::unique_ptr<DesktopNotifications::Shown> notification_;
};

ConsentPresenter::ConsentPresenter(DesktopNotifications* notifications, QIcon appIcon)
    : notifications_(notifications),
      appIcon_(std::move(appIcon)),
      gui_(std::make_unique<QObject>()) {}

ConsentPresenter::~ConsentPresenter() = default;

std::unique_ptr<PermissionPrompt::Presentation> ConsentPresenter::present(
    PermissionPrompt::Question question) {
  auto slot = std::make_shared<WindowSlot>();
  QObject* gui = gui_.get();
  auto toFront = [gui, slot] {
    QMetaObject::invokeMethod(
        gui,
        [slot] {
          if (slot->window) slot->window->bringToFront();
        },
        Qt::QueuedConnection);
  };

  std::unique_ptr<DesktopNotifications::Shown> notification;
  if (notifications_ != nullptr) {
    std::vector<DesktopNotifications::Action> actions = {
        {"default", ""},  // a click on the body: no button of its own
        {kNotNowAction, std::string(PermissionPrompt::kNotNow)},
        {kTurnOnAction, std::string(PermissionPrompt::kTurnOn)},
    };
    notification =
        notifications_->show({.summary = question.title,
                              .body = question.explanation,
                              .actions = std::move(actions),
                              .waitsForAnswer = true},
                             {.onAction =
                                  [onAnswer = question.onAnswer, toFront](const std::string& key) {
                                    if (key == kTurnOnAction) onAnswer(true);
                                    if (key == kNotNowAction) onAnswer(false);
                                    if (key == "default") toFront();
                                  },
                              // A notification swept away answers nothing: the window still asks.
                              .onClosed = {}});
  }

  QMetaObject::invokeMethod(
      gui,
      [slot, icon = appIcon_, question = std::move(question)] {
        if (slot->closed) return;
        slot->window = new PermissionWindow(text(question.title), text(question.explanation), icon,
                                            question.onAnswer);
        slot->window->bringToFront();
      },
      Qt::QueuedConnection);
  return std::make_unique<Shown>(gui, std::move(slot), std::move(notification));
}

}  // namespace melodock::qt
