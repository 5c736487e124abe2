// The views' symbols by their SF Symbol names: the icon theme's counterpart where the
// theme has one, else a drawing of our own tinted to the colour asked for; and the
// app's and the tray's icons.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <string_view>

namespace melodock::qt {

// The freedesktop icon name standing in for `symbol`; empty when there is none.
[[nodiscard]] QString themeName(std::string_view symbol);
// Whether the running icon theme draws `symbol`; our drawing is used otherwise.
[[nodiscard]] bool themeHas(std::string_view symbol);

// `symbol` at `size` logical pixels. Our drawings take `color`; a theme's icon keeps its
// own. A name we do not know draws nothing (a transparent pixmap).
[[nodiscard]] QPixmap symbolPixmap(std::string_view symbol, int size, const QColor& color,
                                   qreal devicePixelRatio = 1);
[[nodiscard]] QIcon symbolIcon(std::string_view symbol, const QColor& color, int size = 16);

[[nodiscard]] QIcon appIcon();
// The tray's "MenuBarIcon": dark strokes for a light panel, light ones for a dark panel.
[[nodiscard]] QIcon trayIcon(bool darkPanel);

}  // namespace melodock::qt
