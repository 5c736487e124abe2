#include "ui/qt/welcome_window.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/app_settings.h"
#include "ui/panel_model.h"
#include "ui/welcome_model.h"

namespace melodock::qt {
namespace {

constexpr int kWidth = 500;
constexpr int kWelcomeIconSize = 96;
constexpr int kStepSymbol = 28;
constexpr int kAccessorySymbol = 22;
constexpr int kDoneWidth = 260;
constexpr std::string_view kCheckmark = "checkmark.circle.fill";
constexpr std::string_view kGreen = "#34c759";

QString text(std::string_view view) {
  return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

// Sizes are given against a 13-point system font; the desktop's own font sets the scale.
QFont scaled(const QFont& base, qreal points, bool bold = false) {
  QFont font = base;
  font.setPointSizeF(base.pointSizeF() * points / 13.0);
  font.setBold(bold);
  return font;
}

QLabel* label(std::string_view value, QWidget* parent) {
  auto* made = new QLabel(text(value), parent);
  made->setTextFormat(Qt::PlainText);
  made->setWordWrap(true);
  return made;
}

// The small spinning indicator of the waiting line; it turns only while shown.
class Spinner final : public QWidget {
 public:
  explicit Spinner(QWidget* parent) : QWidget(parent) {
    setFixedSize(14, 14);
    timer_.setInterval(80);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      step_ = (step_ + 1) % kTicks;
      update();
    });
    setAccessibleName(QStringLiteral("Waiting"));
  }

 protected:
  void showEvent(QShowEvent* /*event*/) override { timer_.start(); }
  void hideEvent(QHideEvent* /*event*/) override { timer_.stop(); }
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    QColor color = palette().color(QPalette::WindowText);
    for (int tick = 0; tick < kTicks; ++tick) {
      const auto age = static_cast<float>((tick - step_ + kTicks) % kTicks);
      color.setAlphaF(0.15F + 0.85F * age / (kTicks - 1.0F));
      painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(0, -3.5), QPointF(0, -6));
      painter.rotate(360.0 / kTicks);
    }
  }

 private:
  static constexpr int kTicks = 8;
  QTimer timer_;
  int step_ = 0;
};

void secondary(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
  label->setPalette(palette);
}

}  // namespace

struct WelcomeWindow::Link {
  std::mutex mutex;
  QObject* gui = nullptr;  // guarded by mutex; gone with the window
  std::atomic<bool> visible = false;
  View* view = nullptr;  // GUI thread only
};

class WelcomeWindow::View final : public QWidget {
 public:
  View(const Art& art, const Actions& actions, bool hasTray, std::function<void()> onClosed)
      : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint),
        art_(art),
        onClosed_(std::move(onClosed)) {
    setWindowTitle(text(welcome::kTitle));
    setAccessibleName(text(welcome::kTitle));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(28, 20, 28, 24);
    stack->setSpacing(16);

    // The header.
    if (!art.appIcon.isNull()) {
      auto* icon = new QLabel(this);
      icon->setPixmap(art.appIcon.pixmap(kWelcomeIconSize, kWelcomeIconSize));
      icon->setFixedSize(kWelcomeIconSize, kWelcomeIconSize);
      icon->setAccessibleName(QStringLiteral("Melodock"));
      stack->addWidget(icon, 0, Qt::AlignHCenter);
    }
    auto* title = label(welcome::kTitle, this);
    title->setFont(scaled(font(), 26, true));
    title->setAlignment(Qt::AlignHCenter);
    stack->addWidget(title);
    auto* line = label(welcome::kLine, this);
    line->setAlignment(Qt::AlignHCenter);
    secondary(line);
    stack->addWidget(line);

    // The three steps: symbol, title over detail, accessory on the trailing side.
    auto* steps = new QGridLayout();
    steps->setHorizontalSpacing(14);
    steps->setVerticalSpacing(18);
    steps->setColumnStretch(1, 1);
    int row = 0;
    for (const welcome::Step& step : welcome::kSteps) {
      auto* symbol = new QLabel(this);
      symbol->setPixmap(symbolPixmap(step.symbol, kStepSymbol, QColor(text(step.color))));
      symbol->setFixedSize(kStepSymbol, kStepSymbol);
      steps->addWidget(symbol, row, 0, Qt::AlignTop);
      auto* words = new QVBoxLayout();
      words->setSpacing(2);
      auto* stepTitle = label(step.title, this);
      stepTitle->setFont(scaled(font(), 13, true));
      words->addWidget(stepTitle);
      auto* detail = label(step.detail, this);
      detail->setFont(scaled(font(), 11));
      secondary(detail);
      words->addWidget(detail);
      steps->addLayout(words, row, 1);
      ++row;
    }
    stack->addLayout(steps);

    // Step 1's accessories.
    continue_ = new QPushButton(text(welcome::kContinue), this);
    connect(continue_, &QPushButton::clicked, this, [run = actions.setUpAppleMusic] {
      if (run) run();
    });
    checkmark_ = new QLabel(this);
    checkmark_->setPixmap(symbolPixmap(kCheckmark, kAccessorySymbol, QColor(text(kGreen))));
    checkmark_->setAccessibleName(QStringLiteral("Apple Music access granted"));
    auto* access = new QVBoxLayout();
    access->addWidget(continue_, 0, Qt::AlignRight);
    access->addWidget(checkmark_, 0, Qt::AlignRight);
    steps->addLayout(access, 0, 2, Qt::AlignTop | Qt::AlignRight);
    // Under step 1 once access was denied.
    denied_ = new QWidget(this);
    auto* deniedRow = new QVBoxLayout(denied_);
    deniedRow->setContentsMargins(0, 0, 0, 0);
    auto* deniedText = label(panel::kDenied, denied_);
    deniedText->setFont(scaled(font(), 11));
    deniedRow->addWidget(deniedText);
    auto* openAccess = new QPushButton(text(panel::kOpenAccess), denied_);
    connect(openAccess, &QPushButton::clicked, this, [run = actions.openAccess] {
      if (run) run();
    });
    deniedRow->addWidget(openAccess, 0, Qt::AlignLeft);
    auto* step1 = qobject_cast<QVBoxLayout*>(steps->itemAtPosition(0, 1)->layout());
    step1->addWidget(denied_);

    // Step 2's accessory: the copy button and the connection line under it.
    copy_ = new QPushButton(text(welcome::kCopyPrompt), this);
    connect(copy_, &QPushButton::clicked, this, [this] { copyPrompt(); });
    waiting_ = new Spinner(this);
    connection_ = label("", this);
    connection_->setFont(scaled(font(), 11));
    connection_->setWordWrap(false);
    connectedMark_ = new QLabel(this);
    connectedMark_->setPixmap(symbolPixmap(kCheckmark, 14, QColor(text(kGreen))));
    auto* status = new QHBoxLayout();
    status->setSpacing(6);
    status->addWidget(waiting_);
    status->addWidget(connectedMark_);
    status->addWidget(connection_);
    auto* connectSide = new QVBoxLayout();
    connectSide->addWidget(copy_, 0, Qt::AlignRight);
    connectSide->addLayout(status);
    steps->addLayout(connectSide, 1, 2, Qt::AlignTop | Qt::AlignRight);

    // Where the app lives, and Done.
    auto* lives = new QHBoxLayout();
    lives->addStretch();
    if (!art.trayIcon.isNull()) {
      auto* tray = new QLabel(this);
      tray->setPixmap(art.trayIcon.pixmap(18, 18));
      lives->addWidget(tray);
    }
    auto* livesText = label(welcome::livesIn(hasTray), this);
    livesText->setWordWrap(false);
    secondary(livesText);
    lives->addWidget(livesText);
    lives->addStretch();
    stack->addSpacing(4);
    stack->addLayout(lives);
    auto* done = new QPushButton(text(welcome::kDone), this);
    done->setMinimumWidth(kDoneWidth);
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QWidget::close);
    stack->addWidget(done, 0, Qt::AlignHCenter);

    for (QPushButton* button : findChildren<QPushButton*>()) {
      button->setAccessibleName(button->text());
    }
    setFixedWidth(kWidth);
    apply(snapshot_);
  }

  void apply(PanelSnapshot snapshot) {
    snapshot_ = std::move(snapshot);
    const welcome::AccessAccessory accessory = welcome::accessAccessory(snapshot_.authorization);
    checkmark_->setVisible(accessory == welcome::AccessAccessory::checkmark);
    continue_->setVisible(accessory == welcome::AccessAccessory::continueButton);
    denied_->setVisible(accessory == welcome::AccessAccessory::denied);
    const std::optional<std::string> connected = welcome::connectedText(snapshot_.lastClient);
    waiting_->setVisible(!connected);
    connectedMark_->setVisible(connected.has_value());
    connection_->setText(connected ? QString::fromStdString(*connected) : text(welcome::kWaiting));
    copy_->setText(text(copied_ ? welcome::kCopied : welcome::kCopyPrompt));
    copy_->setAccessibleName(copy_->text());
    // 500 wide; as tall as the wrapped texts need.
    layout()->activate();
    setFixedHeight(layout()->hasHeightForWidth() ? layout()->heightForWidth(kWidth)
                                                 : sizeHint().height());
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (onClosed_) onClosed_();
    event->accept();
  }

 private:
  QPixmap symbolPixmap(std::string_view symbol, int size, const QColor& color) const {
    QPixmap drawn = art_.symbol ? art_.symbol(symbol, size, color) : QPixmap();
    if (!drawn.isNull()) return drawn;
    // No drawing: a dot in the step's colour keeps the layout and the colour.
    drawn = QPixmap(size, size);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(size * 0.15, size * 0.15, size * 0.7, size * 0.7));
    return drawn;
  }

  void copyPrompt() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(snapshot_.setupPrompt));
    copied_ = true;
    apply(snapshot_);
  }

  Art art_;
  std::function<void()> onClosed_;
  PanelSnapshot snapshot_;
  bool copied_ = false;
  QPushButton* continue_;
  QLabel* checkmark_;
  QWidget* denied_;
  QPushButton* copy_;
  QWidget* waiting_;
  QLabel* connectedMark_;
  QLabel* connection_;
};

namespace {

// Asks the feed for a snapshot and hands it to the view on the GUI thread.
void refresh(PanelFeed& feed, const std::shared_ptr<WelcomeWindow::Link>& link) {
  feed.request([link](PanelSnapshot snapshot) {
    const std::lock_guard lock(link->mutex);
    if (link->gui == nullptr) return;
    QMetaObject::invokeMethod(
        link->gui,
        [link, snapshot = std::move(snapshot)]() mutable {
          if (link->view != nullptr) link->view->apply(std::move(snapshot));
        },
        Qt::QueuedConnection);
  });
}

}  // namespace

WelcomeWindow::WelcomeWindow(PanelFeed& feed, Art art, Actions actions, bool hasTray)
    : feed_(feed),
      art_(std::move(art)),
      actions_(std::move(actions)),
      hasTray_(hasTray),
      link_(std::make_shared<Link>()),
      gui_(std::make_unique<QObject>()) {
  link_->gui = gui_.get();
  feed_.onChange([&feed, weak = std::weak_ptr<Link>(link_)] {
    const auto link = weak.lock();
    // Hidden, the window reads nothing: show() reads afresh.
    if (link && link->visible) refresh(feed, link);
  });
}

WelcomeWindow::~WelcomeWindow() {
  {
    // Snapshots on their way find no window from here on.
    const std::lock_guard lock(link_->mutex);
    link_->gui = nullptr;
  }
  link_->view = nullptr;
}

void WelcomeWindow::show() {
  if (!view_) {
    view_ = std::make_unique<View>(art_, actions_, hasTray_, [this] {
      link_->visible = false;
      feed_.set(AppSettings::change(setting::kHasSeenWelcome, true));
    });
    link_->view = view_.get();
    link_->view->adjustSize();
    if (const QScreen* screen = link_->view->screen()) {
      const QRect area = screen->availableGeometry();
      link_->view->move(area.center() -
                        QPoint(link_->view->width() / 2, link_->view->height() / 2));
    }
  }
  link_->visible = true;
  refresh(feed_, link_);
  link_->view->show();
  link_->view->raise();
  link_->view->activateWindow();
}

QWidget* WelcomeWindow::widget() const { return view_.get(); }

}  // namespace melodock::qt
