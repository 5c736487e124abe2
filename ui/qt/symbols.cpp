#include "ui/qt/symbols.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <array>
#include <utility>

namespace melodock::qt {
namespace {

constexpr std::array<std::pair<std::string_view, const char*>, 21> kThemeNames{{
    {"play.fill", "media-playback-start"},
    {"pause.fill", "media-playback-pause"},
    {"backward.fill", "media-skip-backward"},
    {"forward.fill", "media-skip-forward"},
    {"music.note", "audio-x-generic"},
    {"doc.on.doc", "edit-copy"},
    {"checkmark", "object-select"},
    {"checkmark.circle", "emblem-ok"},
    {"info.circle", "dialog-information"},
    {"chevron.right", "go-next"},
    {"chevron.down", "go-down"},
    {"exclamationmark.triangle", "dialog-warning"},
    {"arrow.triangle.2.circlepath", "view-refresh"},
    {"arrow.down.circle", "software-update-available"},
    {"sparkle", ""},
    {"waveform", ""},
    {"book", "help-contents"},
    {"power", "application-exit"},
    {"key", "dialog-password"},
    {"wrench", "preferences-system"},
    {"cpu", ""},
}};

QString resourcePath(std::string_view symbol) {
  return QStringLiteral(":/melodock/symbols/") +
         QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size())) +
         QStringLiteral(".svg");
}

}  // namespace

QString themeName(std::string_view symbol) {
  for (const auto& [name, theme] : kThemeNames) {
    if (name == symbol) return QString::fromLatin1(theme);
  }
  return {};
}

bool themeHas(std::string_view symbol) {
  const QString name = themeName(symbol);
  return !name.isEmpty() && QIcon::hasThemeIcon(name);
}

QPixmap symbolPixmap(std::string_view symbol, int size, const QColor& color,
                     qreal devicePixelRatio) {
  const int pixels = qRound(size * devicePixelRatio);
  if (themeHas(symbol)) {
    QPixmap pixmap = QIcon::fromTheme(themeName(symbol)).pixmap(QSize(pixels, pixels));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
  }
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(resourcePath(symbol));
  if (renderer.isValid()) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    // The drawing is a mask: everything it covers takes the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

QIcon symbolIcon(std::string_view symbol, const QColor& color, int size) {
  QIcon icon;
  icon.addPixmap(symbolPixmap(symbol, size, color, 1));
  icon.addPixmap(symbolPixmap(symbol, size, color, 2));
  return icon;
}

QIcon appIcon() {
  return QIcon::fromTheme(QStringLiteral("org.melodock.Melodock"),
                          QIcon(QStringLiteral(":/melodock/icons/org.melodock.Melodock.svg")));
}

QIcon trayIcon(bool darkPanel) {
  return QIcon(darkPanel ? QStringLiteral(":/melodock/icons/melodock-tray-for-dark-panels.svg")
                         : QStringLiteral(":/melodock/icons/melodock-tray-for-light-panels.svg"));
}

}  // namespace melodock::qt
