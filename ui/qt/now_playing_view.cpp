#include "ui/qt/now_playing_view.h"

#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QUrl>

#include "ui/qt/menu_row.h"
#include "ui/qt/symbols.h"

namespace melodock::qt {
namespace {

constexpr int kCollapsedArtwork = 40;
constexpr int kExpandedArtwork = 112;
constexpr int kQueueArtwork = 28;
constexpr int kTransportFrame = 20;

QString qs(const std::string& text) { return QString::fromStdString(text); }

QColor withAlpha(QColor color, float alpha) {
  color.setAlphaF(alpha);
  return color;
}

// The song block: a click anywhere on it that no button takes, or Space or Return while
// it has the focus, expands or collapses the row.
class ClickArea : public QWidget {
 public:
  ClickArea(std::function<void()> clicked, QWidget* parent)
      : QWidget(parent), clicked_(std::move(clicked)) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) clicked_();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
      clicked_();
      return;
    }
    QWidget::keyPressEvent(event);
  }
  void paintEvent(QPaintEvent* /*event*/) override {
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(palette().color(QPalette::WindowText), 0.06F));
    painter.drawRoundedRect(rect(), 6, 6);
  }

 private:
  std::function<void()> clicked_;
};

QToolButton* transportButton(const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setFixedSize(kTransportFrame + 4, kTransportFrame + 4);
  button->setIconSize(QSize(14, 14));
  button->setAccessibleName(name);
  button->setToolTip(name);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

QLabel* timeLabel(QWidget* parent) {
  auto* label = secondaryLabel(QStringLiteral("00:00"), parent);
  label->setWordWrap(false);
  QFont font = label->font();
  font.setFamily(QStringLiteral("monospace"));
  font.setStyleHint(QFont::Monospace);
  label->setFont(font);
  return label;
}

}  // namespace

ArtworkView::ArtworkView(int side, QWidget* parent) : QWidget(parent), side_(side) {
  setFixedSize(side, side);
}

void ArtworkView::setSide(int side) {
  side_ = side;
  setFixedSize(side, side);
  update();
}

void ArtworkView::setURL(const std::string& url) {
  if (url == url_) return;
  url_ = url;
  picture_ = {};
  const QUrl parsed(qs(url));
  // Only the scanner's cover files are drawn: nothing here reaches off the machine.
  if (parsed.isLocalFile()) {
    QImageReader reader(parsed.toLocalFile());
    reader.setScaledSize(QSize(224, 224));
    const QImage image = reader.read();
    if (!image.isNull()) picture_ = QPixmap::fromImage(image);
  }
  update();
}

void ArtworkView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const qreal radius = side_ >= kExpandedArtwork ? 8 : 5;
  QPainterPath clip;
  clip.addRoundedRect(QRectF(rect()), radius, radius);
  painter.setClipPath(clip);
  if (!picture_.isNull()) {
    painter.drawPixmap(rect(), picture_);
    return;
  }
  painter.fillRect(rect(), withAlpha(palette().color(QPalette::WindowText), 0.12F));
  const int symbol = side_ < kCollapsedArtwork ? 12 : 17;
  const QPixmap note =
      symbolPixmap("music.note", symbol, withAlpha(palette().color(QPalette::WindowText), 0.55F),
                   devicePixelRatioF());
  painter.drawPixmap((side_ - symbol) / 2, (side_ - symbol) / 2, note);
}

ProgressTrack::ProgressTrack(std::function<void(double, double)> clicked, QWidget* parent)
    : QWidget(parent), clicked_(std::move(clicked)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(12);
  setCursor(Qt::PointingHandCursor);
  setAccessibleName(QStringLiteral("Playback position"));
}

void ProgressTrack::setFraction(double fraction) {
  if (fraction == fraction_) return;
  fraction_ = fraction;
  update();
}

void ProgressTrack::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track(0, (height() - 4) / 2.0, width(), 4);
  painter.setPen(Qt::NoPen);
  painter.setBrush(withAlpha(palette().color(QPalette::WindowText), 0.15F));
  painter.drawRoundedRect(track, 2, 2);
  if (fraction_ <= 0) return;
  painter.setBrush(palette().color(QPalette::Highlight));
  painter.drawRoundedRect(QRectF(track.x(), track.y(), track.width() * fraction_, track.height()),
                          2, 2);
}

void ProgressTrack::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) clicked_(event->position().x(), width());
}

UpNextRow::UpNextRow(const QueueRow& row, QWidget* parent)
    : QAbstractButton(parent), row_(row), artwork_(new ArtworkView(kQueueArtwork, this)) {
  setText(qs(row.title));
  setAccessibleName(qs(row.title));
  setAccessibleDescription(qs(row.subtitle));
  setFocusPolicy(Qt::StrongFocus);
  setFixedHeight(static_cast<int>(nowplaying::kRowHeight));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  artwork_->setURL(row.artworkURL);
  artwork_->move(8, (height() - kQueueArtwork) / 2);
  // The artwork is part of the row's picture, not something to click on its own.
  artwork_->setAttribute(Qt::WA_TransparentForMouseEvents);
  if (row.isPlayed) {
    auto* dim = new QGraphicsOpacityEffect(this);
    dim->setOpacity(0.5);
    setGraphicsEffect(dim);
  }
}

QSize UpNextRow::sizeHint() const { return {200, static_cast<int>(nowplaying::kRowHeight)}; }

void UpNextRow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (hovering_ || hasFocus()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(palette().color(QPalette::WindowText), 0.1F));
    painter.drawRoundedRect(rect(), 6, 6);
  }
  const int left = 8 + kQueueArtwork + 10;
  const QFont titleFont = pixelFont(font(), 12, row_.isCurrent ? QFont::DemiBold : -1);
  const QFont subtitleFont = pixelFont(font(), 11);
  const int titleHeight = QFontMetrics(titleFont).height();
  const int subtitleHeight = QFontMetrics(subtitleFont).height();
  const int top = (height() - titleHeight - subtitleHeight) / 2;
  painter.setFont(titleFont);
  painter.setPen(palette().color(QPalette::WindowText));
  const int textWidth = width() - left - 8;
  painter.drawText(QRect(left, top, textWidth, titleHeight), Qt::AlignLeft,
                   QFontMetrics(titleFont).elidedText(text(), Qt::ElideRight, textWidth));
  painter.setFont(subtitleFont);
  painter.setPen(withAlpha(palette().color(QPalette::WindowText), 0.6F));
  painter.drawText(
      QRect(left, top + titleHeight, textWidth, subtitleHeight), Qt::AlignLeft,
      QFontMetrics(subtitleFont).elidedText(qs(row_.subtitle), Qt::ElideRight, textWidth));
}

void UpNextRow::enterEvent(QEnterEvent* /*event*/) {
  hovering_ = true;
  update();
}

void UpNextRow::leaveEvent(QEvent* /*event*/) {
  hovering_ = false;
  update();
}

NowPlayingView::NowPlayingView(Actions actions, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);

  songBlock_ = new ClickArea([this] { toggleExpanded(); }, this);
  auto* block = new QHBoxLayout(songBlock_);
  block->setContentsMargins(8, 4, 8, 4);
  block->setSpacing(10);
  artwork_ = new ArtworkView(kCollapsedArtwork, songBlock_);
  block->addWidget(artwork_, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  auto* titleLine = new QHBoxLayout;
  titleLine->setSpacing(4);
  title_ = new MarqueeLabel(songBlock_);
  titleLine->addWidget(title_, 1);
  waveform_ = new QLabel(songBlock_);
  waveform_->setAccessibleName(QStringLiteral("Playing"));
  titleLine->addWidget(waveform_);
  texts->addLayout(titleLine);
  subtitle_ = secondaryLabel({}, songBlock_);
  subtitle_->setFont(pixelFont(subtitle_->font(), 12));
  subtitle_->setWordWrap(false);
  subtitle_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  texts->addWidget(subtitle_);
  auto* transport = new QHBoxLayout;
  transport->setSpacing(4);
  previous_ = transportButton(QStringLiteral("Previous"), songBlock_);
  playPause_ = transportButton(QStringLiteral("Play"), songBlock_);
  next_ = transportButton(QStringLiteral("Next"), songBlock_);
  transport->addWidget(previous_);
  transport->addWidget(playPause_);
  transport->addWidget(next_);
  transport->addStretch(1);
  texts->addLayout(transport);
  auto* progress = new QHBoxLayout;
  progress->setSpacing(6);
  elapsed_ = timeLabel(songBlock_);
  track_ = new ProgressTrack(
      [this](double x, double width) {
        const QueueItem* item = nowplaying::currentItem(snapshot_);
        if (item == nullptr || item->duration <= 0) return;
        actions_.seek(nowplaying::seekTime(x, width, item->duration));
      },
      songBlock_);
  total_ = timeLabel(songBlock_);
  progress->addWidget(elapsed_);
  progress->addWidget(track_, 1);
  progress->addWidget(total_);
  texts->addLayout(progress);
  block->addLayout(texts, 1);
  layout->addWidget(songBlock_);

  connect(previous_, &QToolButton::clicked, this, [this] { actions_.previous(); });
  connect(playPause_, &QToolButton::clicked, this, [this] { actions_.playPause(); });
  connect(next_, &QToolButton::clicked, this, [this] { actions_.next(); });

  noteLine_ = new QWidget(this);
  auto* note = new QHBoxLayout(noteLine_);
  note->setContentsMargins(8, 0, 8, 0);
  note->setSpacing(5);
  auto* sparkle = new QLabel(noteLine_);
  sparkle->setPixmap(
      symbolPixmap("sparkle", 9, palette().color(QPalette::Highlight), devicePixelRatioF()));
  note->addWidget(sparkle);
  note_ = new MarqueeLabel(noteLine_);
  note_->setFont(pixelFont(font(), 11));
  note->addWidget(note_, 1);
  layout->addWidget(noteLine_);

  queue_ = new QScrollArea(this);
  queue_->setFrameShape(QFrame::NoFrame);
  queue_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  queue_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  queue_->setWidgetResizable(true);
  queue_->setFocusPolicy(Qt::NoFocus);
  queue_->setFixedHeight(static_cast<int>(nowplaying::kRowHeight * nowplaying::kVisibleRows));
  queue_->setAccessibleName(QStringLiteral("Queue"));
  auto* rows = new QWidget(queue_);
  queueLayout_ = new QVBoxLayout(rows);
  queueLayout_->setContentsMargins(0, 0, 0, 0);
  queueLayout_->setSpacing(0);
  queueLayout_->addStretch(1);
  queue_->setWidget(rows);
  // The list reaches 8 points past the row on either side.
  layout->addWidget(queue_);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* hint = new QToolButton(this);
  hint->setAutoRaise(true);
  hint->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  hint->setText(qs(std::string(nowplaying::kLowDataModeHint)));
  hint->setAccessibleName(hint->text());
  hint->setFont(pixelFont(font(), 11));
  hint->setIcon(symbolIcon("exclamationmark.triangle", QColor(0xd9, 0x7a, 0x00), 12));
  hint->setIconSize(QSize(12, 12));
  connect(hint, &QToolButton::clicked, this, &NowPlayingView::showLowDataModePopover);
  lowDataHint_ = hint;
  layout->addWidget(lowDataHint_, 0, Qt::AlignLeft);

  present(snapshot_, false);
}

std::vector<UpNextRow*> NowPlayingView::queueRows() const {
  const QList<UpNextRow*> rows =
      queue_->widget()->findChildren<UpNextRow*>(QString(), Qt::FindDirectChildrenOnly);
  return {rows.begin(), rows.end()};
}

void NowPlayingView::toggleExpanded() {
  expanded_ = !expanded_;
  scrolledTo_.reset();
  present(snapshot_, lowDataHint_->isVisibleTo(this));
}

void NowPlayingView::present(const NowPlayingSnapshot& snapshot, bool lowDataMode) {
  snapshot_ = snapshot;
  const QueueItem* item = nowplaying::currentItem(snapshot_);
  artwork_->setSide(expanded_ ? kExpandedArtwork : kCollapsedArtwork);
  artwork_->setURL(item != nullptr ? item->artworkURL : std::string());
  title_->setFont(pixelFont(font(), expanded_ ? 14 : 13, QFont::DemiBold));
  title_->setText(qs(nowplaying::title(snapshot_)));
  const QString subtitle = qs(nowplaying::subtitle(snapshot_));
  subtitle_->setText(subtitle);
  subtitle_->setAccessibleName(subtitle);
  const QString help = qs(std::string(expanded_ ? nowplaying::kShowLess : nowplaying::kShowMore));
  songBlock_->setToolTip(help);
  songBlock_->setAccessibleName(help);
  waveform_->setVisible(snapshot_.playing && item != nullptr);
  waveform_->setPixmap(
      symbolPixmap("waveform", 12, palette().color(QPalette::Highlight), devicePixelRatioF()));

  const QColor ink = palette().color(QPalette::WindowText);
  previous_->setIcon(symbolIcon("backward.fill", ink, 14));
  playPause_->setIcon(symbolIcon(snapshot_.playing ? "pause.fill" : "play.fill", ink, 14));
  const QString playName = snapshot_.playing ? QStringLiteral("Pause") : QStringLiteral("Play");
  playPause_->setAccessibleName(playName);
  playPause_->setToolTip(playName);
  const bool hasNext = nowplaying::hasNext(snapshot_);
  next_->setEnabled(hasNext);
  next_->setIcon(symbolIcon("forward.fill", withAlpha(ink, hasNext ? 1.0F : 0.35F), 14));

  track_->setFraction(nowplaying::progress(snapshot_));
  elapsed_->setText(qs(nowplaying::formatTime(item != nullptr ? snapshot_.playbackTime : 0)));
  total_->setText(qs(nowplaying::formatTime(item != nullptr ? item->duration : 0)));

  noteLine_->setVisible(snapshot_.note.has_value());
  note_->setText(snapshot_.note ? qs(*snapshot_.note) : QString());

  queue_->setVisible(expanded_);
  if (expanded_) renderQueue();
  lowDataHint_->setVisible(lowDataMode);
  if (!lowDataMode && lowDataPopover_) lowDataPopover_->hide();
}

void NowPlayingView::renderQueue() {
  std::vector<QueueRow> rows = nowplaying::queueRows(snapshot_);
  if (rows != rows_) {
    for (UpNextRow* row : queueRows()) delete row;
    for (std::size_t index = 0; index < rows.size(); ++index) {
      auto* row = new UpNextRow(rows[index], queue_->widget());
      connect(row, &QAbstractButton::clicked, this, [this, index] {
        if (std::optional<std::string> target = nowplaying::jumpTarget(snapshot_, index)) {
          actions_.jump(std::move(*target));
        }
      });
      queueLayout_->insertWidget(static_cast<int>(index), row);
    }
    rows_ = std::move(rows);
  }
  // On appearing and whenever the current entry changes, it is brought into view.
  if (snapshot_.current != scrolledTo_) {
    scrolledTo_ = snapshot_.current;
    if (snapshot_.current && *snapshot_.current < rows_.size()) {
      queue_->widget()->adjustSize();
      const int rowHeight = static_cast<int>(nowplaying::kRowHeight);
      queue_->ensureVisible(0, static_cast<int>(*snapshot_.current) * rowHeight + rowHeight / 2, 0,
                            rowHeight);
    }
  }
}

void NowPlayingView::showLowDataModePopover() {
  if (lowDataPopover_ && lowDataPopover_->isVisible()) {
    lowDataPopover_->hide();
    return;
  }
  if (!lowDataPopover_) {
    lowDataPopover_ = new QFrame(this, Qt::Popup);
    lowDataPopover_->setFrameShape(QFrame::StyledPanel);
    lowDataPopover_->setFixedWidth(280);
    auto* layout = new QVBoxLayout(lowDataPopover_);
    layout->setContentsMargins(12, 12, 12, 12);
    auto* title = new QLabel(qs(std::string(nowplaying::kLowDataModeTitle)), lowDataPopover_);
    title->setFont(pixelFont(font(), 13, QFont::DemiBold));
    layout->addWidget(title);
    for (const std::string_view text : {nowplaying::kLowDataModeWhy, nowplaying::kLowDataModeHow}) {
      auto* label = new QLabel(qs(std::string(text)), lowDataPopover_);
      label->setFont(pixelFont(font(), 12));
      label->setWordWrap(true);
      layout->addWidget(label);
    }
    auto* open =
        new QPushButton(qs(std::string(nowplaying::kOpenNetworkSettings)), lowDataPopover_);
    open->setAccessibleName(open->text());
    connect(open, &QPushButton::clicked, this, [this] {
      if (actions_.openNetworkSettings) actions_.openNetworkSettings();
      lowDataPopover_->hide();
    });
    layout->addWidget(open, 0, Qt::AlignLeft);
  }
  lowDataPopover_->adjustSize();
  lowDataPopover_->move(lowDataHint_->mapToGlobal(QPoint(0, lowDataHint_->height() + 4)));
  lowDataPopover_->show();
}

}  // namespace melodock::qt
