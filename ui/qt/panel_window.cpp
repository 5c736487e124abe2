#include "ui/qt/panel_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <string_view>

#include "platform/app_settings.h"
#include "ui/product.h"
#include "ui/qt/symbols.h"
#include "ui/support_mail.h"

namespace melodock::qt {
namespace {

constexpr int kPadding = 10;

QString qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPixmap dot(const QColor& color, qreal ratio) {
  QPixmap pixmap(QSize(7, 7) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawEllipse(QRectF(0, 0, 7, 7));
  return pixmap;
}

// A symbol and a wrapped text on one line, in the small secondary style.
QWidget* symbolLine(std::string_view symbol, const QColor& color, std::string_view text,
                    QWidget* parent) {
  auto* line = new QWidget(parent);
  auto* layout = new QHBoxLayout(line);
  layout->setContentsMargins(6, 2, 6, 2);
  layout->setSpacing(6);
  auto* icon = new QLabel(line);
  icon->setPixmap(symbolPixmap(symbol, 12, color, line->devicePixelRatioF()));
  layout->addWidget(icon, 0, Qt::AlignTop);
  QLabel* label = secondaryLabel(qs(text), line);
  label->setAccessibleName(label->text());
  layout->addWidget(label, 1);
  return line;
}

QPushButton* button(std::string_view title, QWidget* parent) {
  auto* push = new QPushButton(qs(title), parent);
  push->setAccessibleName(push->text());
  return push;
}

}  // namespace

PanelWindow::PanelWindow(PanelActions actions, Mode mode, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)), mode_(mode) {
  setWindowTitle(qs(panel::kTitle));
  setWindowIcon(appIcon());
  setAccessibleName(qs(panel::kTitle));
  setFixedWidth(kWidth);
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &PanelWindow::refresh);
  build();
  setMode(mode);
  render();
}

PanelWindow::~PanelWindow() { alive_.reset(); }

void PanelWindow::setMode(Mode mode) {
  mode_ = mode;
  const bool shown = isVisible();
  setWindowFlags(mode == Mode::popover
                     ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                     : Qt::Window);
  if (shown) show();
}

void PanelWindow::build() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setWidgetResizable(true);
  scroll_->setFocusPolicy(Qt::NoFocus);
  outer->addWidget(scroll_);
  content_ = new QWidget(scroll_);
  content_->setAutoFillBackground(true);
  scroll_->setWidget(content_);
  content_->installEventFilter(this);
  auto* layout = new QVBoxLayout(content_);
  layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  layout->setSpacing(2);

  // The header: title, status dot and status text.
  header_ = new QWidget(content_);
  auto* header = new QHBoxLayout(header_);
  header->setContentsMargins(6, 2, 6, 2);
  header->setSpacing(6);
  title_ = new QLabel(qs(panel::kTitle), header_);
  title_->setFont(pixelFont(font(), 13, QFont::Bold));
  title_->setToolTip(QStringLiteral("Version ") + QString::fromStdString(Product::built().version));
  header->addWidget(title_);
  header->addStretch(1);
  dot_ = new QLabel(header_);
  header->addWidget(dot_);
  status_ = secondaryLabel({}, header_);
  status_->setWordWrap(false);
  header->addWidget(status_);
  layout->addWidget(header_);
  layout->addWidget(new Divider(content_));

  // The music area.
  nowPlaying_ =
      new NowPlayingView({.playPause = [this] { actions_.playPause(); },
                          .next = [this] { actions_.next(); },
                          .previous = [this] { actions_.previous(); },
                          .seek = [this](double seconds) { actions_.seek(seconds); },
                          .jump = [this](std::string id) { actions_.jump(std::move(id)); },
                          .openNetworkSettings = [this] { openNetworkSettings(); }},
                         content_);
  layout->addWidget(nowPlaying_);
  subscriptionWarning_ = symbolLine("exclamationmark.triangle", QColor(0xd9, 0x7a, 0x00),
                                    panel::kNeedsSubscription, content_);
  layout->addWidget(subscriptionWarning_);
  setUpRow_ = new MenuRow(content_);
  setUpRow_->set("music.note", qs(panel::kSetUpTitle), qs(panel::kSetUpSubtitle), true);
  connect(setUpRow_, &QAbstractButton::clicked, this, [this] { actions_.setUpAppleMusic(); });
  layout->addWidget(setUpRow_);
  deniedBox_ = new QWidget(content_);
  {
    auto* denied = new QVBoxLayout(deniedBox_);
    denied->setContentsMargins(6, 4, 6, 4);
    QLabel* text = secondaryLabel(qs(panel::kDenied), deniedBox_);
    text->setFont(pixelFont(text->font(), 12));
    text->setAccessibleName(text->text());
    denied->addWidget(text);
    QPushButton* open = button(panel::kOpenAccess, deniedBox_);
    connect(open, &QPushButton::clicked, this, [this] { actions_.setUpAppleMusic(); });
    denied->addWidget(open, 0, Qt::AlignLeft);
  }
  layout->addWidget(deniedBox_);
  layout->addWidget(new Divider(content_));

  // The Connect section.
  connectHeader_ = new SectionHeader(qs(panel::kConnectYourAI), content_);
  connect(connectHeader_, &QAbstractButton::clicked, this, &PanelWindow::toggleConnect);
  layout->addWidget(connectHeader_);
  connectBody_ = new QWidget(content_);
  auto* body = new QVBoxLayout(connectBody_);
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(2);
  promptRow_ = new MenuRow(connectBody_);
  connect(promptRow_, &QAbstractButton::clicked, this,
          [this] { copy(std::string(panel::kPromptKey)); });
  body->addWidget(promptRow_);
  newTokenLine_ =
      symbolLine("checkmark.circle", QColor(0x28, 0xa7, 0x45), panel::kNewToken, connectBody_);
  body->addWidget(newTokenLine_);
  manualHeader_ = new SectionHeader(qs(panel::kManualSetup), connectBody_);
  connect(manualHeader_, &QAbstractButton::clicked, this, [this] {
    model_.toggleManualSetup();
    render();
  });
  body->addWidget(manualHeader_);
  manualBody_ = new QWidget(connectBody_);
  {
    auto* manual = new QVBoxLayout(manualBody_);
    manual->setContentsMargins(6, 0, 0, 0);
    manual->setSpacing(4);
    picker_ = new QComboBox(manualBody_);
    picker_->setAccessibleName(QStringLiteral("AI app"));
    for (const ClientSetup client : ClientSetup::allCases()) picker_->addItem(qs(client.name()));
    connect(picker_, &QComboBox::activated, this, [this](int index) {
      const ClientSetup client = ClientSetup::allCases().at(static_cast<std::size_t>(index));
      model_.choose(client);
      actions_.set(AppSettings::change(setting::kConnectClient, client.rawValue()));
      render();
    });
    manual->addWidget(picker_);
    hint_ = secondaryLabel({}, manualBody_);
    manual->addWidget(hint_);
    settingsRow_ = new MenuRow(manualBody_);
    connect(settingsRow_, &QAbstractButton::clicked, this,
            [this] { copy(std::string(model_.client().rawValue())); });
    manual->addWidget(settingsRow_);
    resetRow_ = new MenuRow(manualBody_);
    resetRow_->set("key", qs(panel::kResetToken), qs(panel::kResetTokenSubtitle));
    connect(resetRow_, &QAbstractButton::clicked, this, [this] {
      model_.askToReset();
      render();
    });
    manual->addWidget(resetRow_);
    resetConfirm_ = new QWidget(manualBody_);
    auto* confirm = new QVBoxLayout(resetConfirm_);
    confirm->setContentsMargins(6, 4, 6, 4);
    auto* question = new QLabel(qs(panel::kResetQuestion), resetConfirm_);
    question->setFont(pixelFont(font(), 13, QFont::DemiBold));
    confirm->addWidget(question);
    QLabel* explanation = secondaryLabel(qs(panel::kResetExplanation), resetConfirm_);
    confirm->addWidget(explanation);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* cancel = button(panel::kCancel, resetConfirm_);
    connect(cancel, &QPushButton::clicked, this, [this] {
      model_.cancelReset();
      render();
    });
    QPushButton* reset = button(panel::kReset, resetConfirm_);
    connect(reset, &QPushButton::clicked, this, &PanelWindow::resetToken);
    buttons->addWidget(cancel);
    buttons->addWidget(reset);
    confirm->addLayout(buttons);
    manual->addWidget(resetConfirm_);
  }
  body->addWidget(manualBody_);

  // The consent switches.
  auto privacyRow = [this, body](std::string_view title, std::string_view explanation,
                                 SettingKey<bool> key) {
    auto* row = new QWidget(connectBody_);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(6, 4, 6, 4);
    line->setSpacing(6);
    auto* label = new QLabel(qs(title), row);
    label->setFont(pixelFont(font(), 13));
    line->addWidget(label);
    line->addWidget(new InfoButton(qs(explanation), QStringLiteral("About ") + qs(title), row));
    line->addStretch(1);
    auto* toggle = new Switch(qs(title), row);
    connect(toggle, &QAbstractButton::clicked, this,
            [this, key](bool on) { actions_.set(AppSettings::change(key, on)); });
    line->addWidget(toggle);
    body->addWidget(row);
    return toggle;
  };
  shareSwitch_ =
      privacyRow(panel::kShareTitle, panel::kShareExplanation, setting::kSharePersonalData);
  changesSwitch_ =
      privacyRow(panel::kChangesTitle, panel::kChangesExplanation, setting::kAllowLibraryChanges);
  layout->addWidget(connectBody_);
  layout->addWidget(new Divider(content_));

  // The footer.
  auto* guide = new MenuRow(content_);
  guide->set("book", qs(panel::kSetupGuide));
  connect(guide, &QAbstractButton::clicked, this, [this] {
    if (actions_.showWelcome) actions_.showWelcome();
  });
  layout->addWidget(guide);
  updateRow_ = new MenuRow(content_);
  connect(updateRow_, &QAbstractButton::clicked, this, &PanelWindow::updateClicked);
  layout->addWidget(updateRow_);
  auto* about = new MenuRow(content_);
  about->set("info.circle", qs(panel::kAbout));
  connect(about, &QAbstractButton::clicked, this, &PanelWindow::showAbout);
  layout->addWidget(about);
  auto* quitRow = new MenuRow(content_);
  quitRow->set("power", qs(panel::kQuit));
  const QKeySequence quitKeys(Qt::CTRL | Qt::Key_Q);
  quitRow->setAccessory(quitKeys.toString(QKeySequence::NativeText));
  connect(quitRow, &QAbstractButton::clicked, this, &PanelWindow::quit);
  layout->addWidget(quitRow);
  auto* quitShortcut = new QShortcut(quitKeys, this);
  connect(quitShortcut, &QShortcut::activated, this, &PanelWindow::quit);
  layout->addStretch(1);
}

void PanelWindow::present(PanelSnapshot snapshot) {
  model_.update(std::move(snapshot));
  if (reopened_) {
    model_.opened();
    reopened_ = false;
  }
  render();
}

void PanelWindow::render() {
  const PanelSnapshot& snapshot = model_.snapshot();
  dot_->setPixmap(dot(snapshot.running ? QColor(0x34, 0xc7, 0x59) : QColor(0xff, 0x95, 0x00),
                      devicePixelRatioF()));
  // A long client name is elided rather than widening the panel past its edge.
  const QString status = QString::fromStdString(model_.statusText());
  const QMargins margins = header_->layout()->contentsMargins();
  const int room = kWidth - 2 * kPadding - margins.left() - margins.right() -
                   title_->sizeHint().width() - dot_->sizeHint().width() -
                   3 * header_->layout()->spacing();
  status_->setText(status_->fontMetrics().elidedText(status, Qt::ElideRight, room));
  status_->setAccessibleName(status);
  dot_->setAccessibleName(snapshot.running ? QStringLiteral("Running")
                                           : QStringLiteral("Not running"));
  const std::optional<std::string> listening = model_.listeningText();
  header_->setToolTip(listening ? QString::fromStdString(*listening) : QString());

  const PanelModel::MusicArea area = model_.musicArea();
  nowPlaying_->setVisible(area == PanelModel::MusicArea::nowPlaying);
  if (area == PanelModel::MusicArea::nowPlaying) {
    nowPlaying_->present(snapshot.nowPlaying, snapshot.lowDataMode);
  }
  subscriptionWarning_->setVisible(model_.showsSubscriptionWarning());
  setUpRow_->setVisible(area == PanelModel::MusicArea::setUp);
  deniedBox_->setVisible(area == PanelModel::MusicArea::denied);

  const bool expanded = model_.connectExpanded();
  connectHeader_->setExpanded(expanded);
  connectBody_->setVisible(expanded);
  const PanelModel::CopyRow prompt = model_.promptRow();
  promptRow_->set(prompt.icon, QString::fromStdString(prompt.title),
                  QString::fromStdString(prompt.subtitle));
  newTokenLine_->setVisible(model_.showsNewTokenLine());
  manualHeader_->setExpanded(model_.showsManualSetup());
  manualBody_->setVisible(model_.showsManualSetup());
  const ClientSetup client = model_.client();
  picker_->setCurrentIndex(client.value());
  hint_->setText(qs(client.hint()));
  const PanelModel::CopyRow settings = model_.settingsRow();
  settingsRow_->set(settings.icon, QString::fromStdString(settings.title),
                    QString::fromStdString(settings.subtitle));
  resetRow_->setVisible(!model_.confirmingReset());
  resetConfirm_->setVisible(model_.confirmingReset());
  shareSwitch_->setChecked(snapshot.sharePersonalData);
  changesSwitch_->setChecked(snapshot.allowLibraryChanges);

  const UpdateRow update = model_.updateRow();
  updateRow_->set(update.icon, QString::fromStdString(update.title),
                  QString::fromStdString(update.subtitle));
  fitHeight();
}

void PanelWindow::fitHeight() {
  content_->layout()->activate();
  const int wanted = content_->sizeHint().height();
  int limit = wanted;
  if (const QScreen* screen = this->screen()) {
    limit = std::min(wanted, screen->availableGeometry().height() - 40);
  }
  setFixedHeight(std::max(limit, 100));
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event) {
  // Whatever changes inside (the queue opening, a section folding) resizes the panel.
  if (watched == content_ && event->type() == QEvent::LayoutRequest) {
    QTimer::singleShot(0, this, &PanelWindow::fitHeight);
  }
  return QWidget::eventFilter(watched, event);
}

void PanelWindow::refresh() {
  if (!actions_.request) return;
  if (requesting_) {
    again_ = true;
    return;
  }
  requesting_ = true;
  QCoreApplication* app = QCoreApplication::instance();
  actions_.request([this, app, alive = std::weak_ptr<int>(alive_)](PanelSnapshot snapshot) {
    QMetaObject::invokeMethod(
        app,
        [this, alive, snapshot = std::move(snapshot)]() mutable {
          if (alive.expired()) return;
          requesting_ = false;
          present(std::move(snapshot));
          if (again_) {
            again_ = false;
            if (isVisible()) refresh();
          }
        },
        Qt::QueuedConnection);
  });
}

void PanelWindow::changed() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired() && isVisible()) refresh();
      },
      Qt::QueuedConnection);
}

void PanelWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  reopened_ = true;
  refresh();
  timer_.start();
}

void PanelWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

void PanelWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PanelWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Beside the tray the panel behaves as a popover: it goes when the user looks away,
  // unless one of its own popups took the focus.
  if (event->type() == QEvent::ActivationChange && mode_ == Mode::popover && !isActiveWindow() &&
      isVisible()) {
    const QWidget* active = QApplication::activeWindow();
    const QWidget* popup = QApplication::activePopupWidget();
    if ((active == nullptr || !isAncestorOf(active)) &&
        (popup == nullptr || !isAncestorOf(popup))) {
      lostFocus_.start();
      hide();
    }
  }
}

void PanelWindow::copy(const std::string& key) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(QString::fromStdString(model_.copyText(key)));
  model_.copied(key);
  render();
}

void PanelWindow::toggleConnect() {
  std::string value = model_.toggledConnectSection();
  model_.connectSectionStored(value);
  actions_.set(AppSettings::change(setting::kConnectSection, value));
  render();
}

void PanelWindow::resetToken() {
  if (actions_.resetToken) actions_.resetToken();
  model_.tokenReset();
  render();
}

void PanelWindow::updateClicked() {
  const UpdateRow row = model_.updateRow();
  switch (row.click) {
    case UpdateRow::Click::check:
      if (actions_.checkForUpdates) actions_.checkForUpdates();
      break;
    case UpdateRow::Click::openPage:
      openURL(model_.snapshot().update.page);
      break;
    case UpdateRow::Click::nothing:
      break;
  }
}

void PanelWindow::showAbout() {
  if (about_) {
    about_->raise();
    about_->activateWindow();
    return;
  }
  const Product& product = Product::built();
  auto* box = new QMessageBox(this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowTitle(qs(panel::kAbout));
  box->setIconPixmap(appIcon().pixmap(64, 64));
  box->setTextFormat(Qt::RichText);
  QString version = QString::fromStdString(product.version);
  if (!product.build.empty()) version += QStringLiteral(" (%1)").arg(qs(product.build));
  QStringList credits;
  const std::string mail = support_mail::url(product, actions_.system, model_.snapshot());
  if (!mail.empty()) {
    credits << QStringLiteral("<a href=\"%1\">%2</a>")
                   .arg(qs(mail).toHtmlEscaped(), qs(product.supportAddress).toHtmlEscaped());
  }
  if (!product.siteURL.empty()) {
    const QUrl site(qs(product.siteURL));
    credits << QStringLiteral("<a href=\"%1\">%2</a>")
                   .arg(site.toString().toHtmlEscaped(), site.host().toHtmlEscaped());
  }
  QString text = QStringLiteral("<b>Melodock</b><br>Version ") + version.toHtmlEscaped();
  if (!credits.isEmpty()) {
    text += QStringLiteral("<p style=\"font-size:11px; color:palette(placeholder-text)\">") +
            credits.join(QStringLiteral("<br>")) + QStringLiteral("</p>");
  }
  box->setText(text);
  box->setStandardButtons(QMessageBox::Ok);
  box->setModal(false);
  // The links go to the desktop's handlers (the mail program, the browser); the mail's
  // details are taken again when it is written.
  box->setTextInteractionFlags(Qt::TextBrowserInteraction);
  if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    label->setOpenExternalLinks(false);
    connect(label, &QLabel::linkActivated, this, [this](const QString& link) {
      openURL(link.startsWith(QStringLiteral("mailto:"))
                  ? support_mail::url(Product::built(), actions_.system, model_.snapshot())
                  : link.toStdString());
    });
  }
  box->show();
  about_ = box;
}

void PanelWindow::openURL(const std::string& url) {
  if (url.empty()) return;
  if (actions_.openURL) {
    actions_.openURL(url);
    return;
  }
  // A missing handler is ignored.
  QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void PanelWindow::openNetworkSettings() {
  if (actions_.openNetworkSettings) {
    actions_.openNetworkSettings();
    return;
  }
  // The first of the desktops' network settings that is installed; none is fine.
  const std::pair<const char*, QStringList> programs[] = {
      {"gnome-control-center", {QStringLiteral("network")}},
      {"systemsettings", {QStringLiteral("kcm_networkmanagement")}},
      {"nm-connection-editor", {}},
  };
  for (const auto& [program, arguments] : programs) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
    if (!path.isEmpty() && QProcess::startDetached(path, arguments)) return;
  }
}

void PanelWindow::quit() {
  if (actions_.quit) {
    actions_.quit();
    return;
  }
  QCoreApplication::quit();
}

}  // namespace melodock::qt
