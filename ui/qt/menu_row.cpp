#include "ui/qt/menu_row.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/qt/symbols.h"

namespace melodock::qt {
namespace {

constexpr int kSquare = 26;
constexpr int kMenuIconSize = 12;
constexpr int kRadius = 6;

void paintHover(QPainter& painter, const QWidget& widget, bool hovering) {
  if (!hovering && !widget.hasFocus()) return;
  QColor hover = widget.palette().color(QPalette::WindowText);
  hover.setAlphaF(0.1F);
  painter.setPen(Qt::NoPen);
  painter.setBrush(hover);
  painter.drawRoundedRect(widget.rect(), kRadius, kRadius);
}

QColor secondary(const QWidget& widget) {
  QColor color = widget.palette().color(QPalette::WindowText);
  color.setAlphaF(0.6F);
  return color;
}

}  // namespace

QFont pixelFont(const QFont& base, int pixels, int weight) {
  QFont font = base;
  font.setPixelSize(pixels);
  if (weight >= 0) font.setWeight(static_cast<QFont::Weight>(weight));
  return font;
}

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(pixelFont(label->font(), 11));
  label->setWordWrap(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, secondary(*label));
  label->setPalette(palette);
  return label;
}

MenuRow::MenuRow(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MenuRow::set(const std::string& icon, const QString& title, const QString& subtitle,
                  bool prominent) {
  icon_ = icon;
  setText(title);
  subtitle_ = subtitle;
  prominent_ = prominent;
  setAccessibleName(title);
  setAccessibleDescription(subtitle);
  updateGeometry();
  update();
}

void MenuRow::setAccessory(const QString& accessory) {
  accessory_ = accessory;
  update();
}

QSize MenuRow::sizeHint() const {
  if (subtitle_.isEmpty()) return {200, kSquare + 8};
  // The subtitle wraps within the row's width beside the square.
  const QFontMetrics metrics(pixelFont(font(), 11));
  const int textWidth = std::max(100, (width() > 0 ? width() : 300) - kSquare - 20);
  const QRect bounds =
      metrics.boundingRect(QRect(0, 0, textWidth, 1000), Qt::TextWordWrap, subtitle_);
  return {200, std::max(kSquare + 8,
                        8 + QFontMetrics(pixelFont(font(), 13)).height() + bounds.height())};
}

void MenuRow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  paintHover(painter, *this, hovering_);
  const int top = (height() - kSquare) / 2;
  const QRect square(4, subtitle_.isEmpty() ? top : 4, kSquare, kSquare);
  QColor fill =
      prominent_ ? palette().color(QPalette::Highlight) : palette().color(QPalette::WindowText);
  if (!prominent_) fill.setAlphaF(0.08F);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(square, kRadius, kRadius);
  const QColor iconColor = prominent_ ? palette().color(QPalette::HighlightedText)
                                      : palette().color(QPalette::WindowText);
  const QPixmap icon = symbolPixmap(icon_, kMenuIconSize, iconColor, devicePixelRatioF());
  painter.drawPixmap(square.x() + (kSquare - kMenuIconSize) / 2,
                     square.y() + (kSquare - kMenuIconSize) / 2, icon);

  const int left = square.right() + 9;
  int right = width() - 6;
  if (!accessory_.isEmpty()) {
    painter.setFont(pixelFont(font(), 11));
    painter.setPen(secondary(*this));
    const int accessoryWidth = painter.fontMetrics().horizontalAdvance(accessory_);
    painter.drawText(QRect(right - accessoryWidth, 0, accessoryWidth, height()), Qt::AlignVCenter,
                     accessory_);
    right -= accessoryWidth + 6;
  }
  const QFont titleFont = pixelFont(font(), 13);
  painter.setFont(titleFont);
  QColor titleColor = palette().color(QPalette::WindowText);
  if (!isEnabled()) titleColor.setAlphaF(0.5F);
  painter.setPen(titleColor);
  const int titleHeight = QFontMetrics(titleFont).height();
  if (subtitle_.isEmpty()) {
    painter.drawText(QRect(left, 0, right - left, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     text());
    return;
  }
  painter.drawText(QRect(left, 4, right - left, titleHeight), Qt::AlignLeft, text());
  painter.setFont(pixelFont(font(), 11));
  painter.setPen(secondary(*this));
  painter.drawText(QRect(left, 4 + titleHeight, right - left, height() - titleHeight - 4),
                   Qt::AlignLeft | Qt::TextWordWrap, subtitle_);
}

void MenuRow::enterEvent(QEnterEvent* /*event*/) {
  hovering_ = true;
  update();
}

void MenuRow::leaveEvent(QEvent* /*event*/) {
  hovering_ = false;
  update();
}

SectionHeader::SectionHeader(const QString& title, QWidget* parent) : QAbstractButton(parent) {
  setText(title);
  setAccessibleName(title);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SectionHeader::setExpanded(bool expanded) {
  expanded_ = expanded;
  setAccessibleDescription(expanded ? QStringLiteral("expanded") : QStringLiteral("collapsed"));
  update();
}

QSize SectionHeader::sizeHint() const { return {200, 28}; }

void SectionHeader::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  paintHover(painter, *this, hovering_);
  painter.setFont(pixelFont(font(), 13, QFont::DemiBold));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(rect().adjusted(6, 0, -28, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
  const QPixmap chevron = symbolPixmap(expanded_ ? "chevron.down" : "chevron.right", 10,
                                       secondary(*this), devicePixelRatioF());
  painter.drawPixmap(width() - 18, (height() - 10) / 2, chevron);
}

void SectionHeader::enterEvent(QEnterEvent* /*event*/) {
  hovering_ = true;
  update();
}

void SectionHeader::leaveEvent(QEvent* /*event*/) {
  hovering_ = false;
  update();
}

InfoButton::InfoButton(const QString& text, const QString& accessibleName, QWidget* parent)
    : QAbstractButton(parent), text_(text) {
  setAccessibleName(accessibleName);
  setToolTip(accessibleName);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  connect(this, &QAbstractButton::clicked, this, &InfoButton::toggle);
}

bool InfoButton::shown() const { return popover_ && popover_->isVisible(); }

void InfoButton::toggle() {
  if (shown()) {
    popover_->hide();
    return;
  }
  if (!popover_) {
    popover_ = new QFrame(this, Qt::Popup);
    popover_->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popover_);
    layout->setContentsMargins(12, 12, 12, 12);
    auto* label = new QLabel(text_, popover_);
    label->setFont(pixelFont(label->font(), 12));
    label->setWordWrap(true);
    label->setFixedWidth(240 - 24);
    layout->addWidget(label);
  }
  popover_->adjustSize();
  QPoint where = mapToGlobal(QPoint(width() / 2 - popover_->width() / 2, height() + 4));
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    where.setX(std::clamp(where.x(), area.left(),
                          std::max(area.left(), area.right() - popover_->width())));
  }
  popover_->move(where);
  popover_->show();
}

void InfoButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  QColor color = palette().color(QPalette::WindowText);
  color.setAlphaF(hasFocus() ? 1.0F : 0.6F);
  const QPixmap icon = symbolPixmap("info.circle", 12, color, devicePixelRatioF());
  painter.drawPixmap((width() - 12) / 2, (height() - 12) / 2, icon);
}

Switch::Switch(const QString& accessibleName, QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setAccessibleName(accessibleName);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void Switch::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
  QColor off = palette().color(QPalette::WindowText);
  off.setAlphaF(0.2F);
  painter.setPen(hasFocus() ? QPen(palette().color(QPalette::Highlight), 1.5) : Qt::NoPen);
  painter.setBrush(isChecked() ? palette().color(QPalette::Highlight) : off);
  painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
  const qreal knob = track.height() - 4;
  const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

Divider::Divider(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::HLine);
  setFrameShadow(QFrame::Plain);
  QPalette palette = this->palette();
  QColor line = palette.color(QPalette::WindowText);
  line.setAlphaF(0.15F);
  palette.setColor(QPalette::WindowText, line);
  setPalette(palette);
  setFixedHeight(9);
  setContentsMargins(0, 4, 0, 4);
}

}  // namespace melodock::qt
