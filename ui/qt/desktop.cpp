#include "ui/qt/desktop.h"

#include <QApplication>
#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "ui/panel_model.h"
#include "ui/qt/consent_presenter.h"
#include "ui/qt/panel_window.h"
#include "ui/qt/permission_window.h"
#include "ui/qt/symbols.h"
#include "ui/qt/tray.h"
#include "ui/qt/welcome_window.h"

namespace melodock {

struct Desktop::Parts {
  Parts(int& argc, char** argv) : app(argc, argv) {}

  QApplication app;
  std::unique_ptr<qt::PanelWindow> panel;
  std::optional<qt::Tray> tray;
  std::optional<qt::WelcomeWindow> welcome;
  std::optional<qt::ConsentPresenter> consent;
};

bool Desktop::displayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read before threads
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

Desktop::Desktop(int& argc, char** argv) : parts_(std::make_unique<Parts>(argc, argv)) {
  QApplication::setApplicationName(QStringLiteral("Melodock"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.melodock.Melodock"));
  QApplication::setWindowIcon(qt::appIcon());
  // The app lives in the tray or, without one, in a window that only hides.
  QApplication::setQuitOnLastWindowClosed(false);
}

Desktop::~Desktop() {
  parts_->consent.reset();
  parts_->welcome.reset();
  parts_->tray.reset();
  parts_->panel.reset();
}

void Desktop::start(PanelActions actions) {
  const bool tray = qt::Tray::available();
  qt::Tray::Actions trayActions{
      .playPause = actions.playPause,
      .next = actions.next,
      .quit = actions.quit ? actions.quit : [] { QCoreApplication::quit(); }};
  parts_->panel = std::make_unique<qt::PanelWindow>(
      std::move(actions), tray ? qt::PanelWindow::Mode::popover : qt::PanelWindow::Mode::window);
  if (tray) {
    parts_->tray.emplace(*parts_->panel, std::move(trayActions));
  } else {
    parts_->panel->show();
  }
}

PermissionPrompt::Presenter& Desktop::consent(DesktopNotifications* notifications) {
  parts_->consent.emplace(notifications, qt::appIcon());
  return *parts_->consent;
}

void Desktop::welcome(PanelFeed& feed, WelcomeActions actions) {
  const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
  parts_->welcome.emplace(
      feed,
      qt::WelcomeWindow::Art{
          .appIcon = qt::appIcon(),
          .trayIcon = qt::trayIcon(dark),
          .symbol = [](std::string_view symbol, int size,
                       const QColor& color) { return qt::symbolPixmap(symbol, size, color); }},
      qt::WelcomeWindow::Actions{.setUpAppleMusic = std::move(actions.setUpAppleMusic),
                                 .openAccess = std::move(actions.openAccess)},
      qt::Tray::available());
}

void Desktop::showWelcome() {
  QMetaObject::invokeMethod(
      &parts_->app,
      [this] {
        if (parts_->welcome) parts_->welcome->show();
      },
      Qt::QueuedConnection);
}

namespace {

QString qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog lives on the GUI thread; the question may end on any other.
class AccessQuestion final : public Desktop::Question {
 public:
  explicit AccessQuestion(QObject* gui) : gui_(gui), window_(std::make_shared<Window>()) {}
  ~AccessQuestion() override {
    QMetaObject::invokeMethod(
        gui_,
        [window = window_] {
          window->gone = true;
          if (window->shown) window->shown->dismiss();
        },
        Qt::QueuedConnection);
  }
  AccessQuestion(const AccessQuestion&) = delete;
  AccessQuestion& operator=(const AccessQuestion&) = delete;

  void show(std::function<void(bool)> answer) {
    QMetaObject::invokeMethod(
        gui_,
        [window = window_, answer = std::move(answer)]() mutable {
          if (window->gone) return;
          window->shown =
              new qt::PermissionWindow(qs(panel::kSetUpTitle), qs(panel::kSetUpSubtitle),
                                       qt::appIcon(), std::move(answer), qs(kContinue));
          window->shown->setWindowTitle(qs(kAccessTitle));
          window->shown->bringToFront();
        },
        Qt::QueuedConnection);
  }

  static constexpr std::string_view kAccessTitle = "Apple Music Access";
  static constexpr std::string_view kContinue = "Continue";

 private:
  struct Window {
    bool gone = false;  // GUI thread only, like the window
    QPointer<qt::PermissionWindow> shown;
  };

  QObject* gui_;
  std::shared_ptr<Window> window_;
};

}  // namespace

std::unique_ptr<Desktop::Question> Desktop::askToSetUp(std::function<void(bool)> answer) {
  auto question = std::make_unique<AccessQuestion>(&parts_->app);
  question->show(std::move(answer));
  return question;
}

namespace {

std::function<void()>& displayLostHandler() {
  static std::function<void()> handler;
  return handler;
}
QtMessageHandler previousHandler = nullptr;

// Qt reports a broken display connection with a warning and then ends the process; the
// warning is the last moment the app has to keep its host serving.
void watchForDisplayLoss(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
  if (previousHandler != nullptr) {
    previousHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  }
  if (type == QtWarningMsg && (message.startsWith(QLatin1String("The X11 connection broke")) ||
                               message.startsWith(QLatin1String("The Wayland connection")))) {
    if (displayLostHandler()) displayLostHandler()();
  }
}

}  // namespace

int Desktop::run(std::function<void()> displayLost) {
  displayLostHandler() = std::move(displayLost);
  previousHandler = qInstallMessageHandler(watchForDisplayLoss);
  const int code = QApplication::exec();
  qInstallMessageHandler(previousHandler);
  return code;
}

void Desktop::quit() {
  QMetaObject::invokeMethod(&parts_->app, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Desktop::changed() {
  if (parts_->panel) parts_->panel->changed();
}

void Desktop::showPanel() {
  QMetaObject::invokeMethod(
      &parts_->app,
      [this] {
        if (parts_->tray) {
          parts_->tray->openPanel();
        } else if (parts_->panel) {
          parts_->panel->show();
          parts_->panel->raise();
          parts_->panel->activateWindow();
        }
      },
      Qt::QueuedConnection);
}

bool Desktop::hasTray() const { return parts_->tray.has_value(); }

}  // namespace melodock
