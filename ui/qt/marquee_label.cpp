#include "ui/qt/marquee_label.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>

#include "ui/now_playing_model.h"

namespace melodock::qt {
namespace {

constexpr int kFrameMilliseconds = 33;

}  // namespace

MarqueeLabel::MarqueeLabel(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  timer_.setInterval(kFrameMilliseconds);
  connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void MarqueeLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setAccessibleName(text);
  updateGeometry();
  restart();
}

int MarqueeLabel::textWidth() const { return fontMetrics().horizontalAdvance(text_); }

QSize MarqueeLabel::sizeHint() const { return {textWidth(), fontMetrics().height()}; }

QSize MarqueeLabel::minimumSizeHint() const { return {0, fontMetrics().height()}; }

void MarqueeLabel::restart() {
  elapsed_.start();
  const Marquee marquee(textWidth(), width());
  if (marquee.scrolls() && isVisible()) {
    timer_.start();
  } else {
    timer_.stop();
  }
  update();
}

void MarqueeLabel::showEvent(QShowEvent* /*event*/) { restart(); }

void MarqueeLabel::hideEvent(QHideEvent* /*event*/) { timer_.stop(); }

void MarqueeLabel::resizeEvent(QResizeEvent* /*event*/) { restart(); }

void MarqueeLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    updateGeometry();
    restart();
  }
  QWidget::changeEvent(event);
}

void MarqueeLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  const int width = textWidth();
  const Marquee marquee(width, this->width());
  if (!marquee.scrolls()) {
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text_);
    return;
  }
  const Marquee::Frame frame = marquee.at(static_cast<double>(elapsed_.elapsed()) / 1000.0);
  // Drawn into a layer first so the edges can be faded out of it.
  QPixmap layer(size() * devicePixelRatioF());
  layer.setDevicePixelRatio(devicePixelRatioF());
  layer.fill(Qt::transparent);
  {
    QPainter text(&layer);
    text.setFont(font());
    text.setPen(palette().color(foregroundRole()));
    const int x = -qRound(frame.offset);
    text.drawText(QRect(x, 0, width, height()), Qt::AlignLeft | Qt::AlignVCenter, text_);
    text.drawText(QRect(x + width + static_cast<int>(Marquee::kGap), 0, width, height()),
                  Qt::AlignLeft | Qt::AlignVCenter, text_);
    if (frame.fade > 0) {
      const double edge = Marquee::kFade / this->width();
      QLinearGradient mask(0, 0, this->width(), 0);
      const QColor faded(0, 0, 0, qRound(255 * (1 - frame.fade)));
      mask.setColorAt(0, faded);
      mask.setColorAt(edge, Qt::black);
      mask.setColorAt(1 - edge, Qt::black);
      mask.setColorAt(1, faded);
      text.setCompositionMode(QPainter::CompositionMode_DestinationIn);
      text.fillRect(rect(), mask);
    }
  }
  painter.drawPixmap(0, 0, layer);
}

}  // namespace melodock::qt
