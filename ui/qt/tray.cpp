#include "ui/qt/tray.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

#include "ui/panel_model.h"
#include "ui/qt/panel_window.h"
#include "ui/qt/symbols.h"

namespace melodock::qt {

bool Tray::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

Tray::Tray(PanelWindow& panel, Actions actions) : panel_(panel), actions_(std::move(actions)) {
  menu_.addAction(QStringLiteral("Open Melodock"), [this] { openPanel(); });
  menu_.addAction(QStringLiteral("Play/Pause"), [this] { actions_.playPause(); });
  menu_.addAction(QStringLiteral("Next"), [this] { actions_.next(); });
  menu_.addSeparator();
  menu_.addAction(QString::fromUtf8(panel::kQuit.data(), panel::kQuit.size()),
                  [this] { actions_.quit(); });
  // The tray's own colour is not known; the application's palette is the best guess.
  const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
  icon_.setIcon(trayIcon(dark));
  icon_.setToolTip(QStringLiteral("Melodock"));
  icon_.setContextMenu(&menu_);
  QObject::connect(&icon_, &QSystemTrayIcon::activated, &panel_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger) togglePanel();
                   });
  icon_.show();
}

void Tray::togglePanel() {
  if (panel_.justLostFocus()) return;
  if (panel_.isVisible() && panel_.isActiveWindow()) {
    panel_.hide();
  } else {
    openPanel();
  }
}

void Tray::openPanel() {
  // The icon's place is known on X11; a Wayland shell places the window itself.
  const QRect place = icon_.geometry();
  if (place.isValid() && !place.isEmpty()) {
    const QScreen* screen = QGuiApplication::screenAt(place.center());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const QSize size = panel_.size();
    int x = place.center().x() - size.width() / 2;
    int y = place.center().y() < area.center().y() ? place.bottom() + 4
                                                   : place.top() - 4 - size.height();
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - size.height()));
    panel_.move(x, y);
  }
  panel_.show();
  panel_.raise();
  panel_.activateWindow();
}

}  // namespace melodock::qt
