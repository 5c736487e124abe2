#include "ui/qt/permission_window.h"

#include <utility>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "music/permission_prompt.h"

namespace melodock::qt {
namespace {

constexpr int kPermissionIconSize = 64;
constexpr int kButtonHeight = 32;  // a large control

// Sizes are given against a 13-point system font; the desktop's own font sets the scale.
QFont scaled(const QFont& base, qreal points, bool bold) {
  QFont font = base;
  font.setPointSizeF(base.pointSizeF() * points / 13.0);
  font.setBold(bold);
  return font;
}

QLabel* wrapping(const QString& text, const QFont& font, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setFixedWidth(PermissionWindow::kContentWidth);
  label->setTextFormat(Qt::PlainText);
  label->setAccessibleName(text);
  return label;
}

QString text(std::string_view view) {
  return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

}  // namespace

PermissionWindow::PermissionWindow(const QString& title, const QString& explanation,
                                   const QIcon& appIcon, std::function<void(bool)> onAnswer,
                                   const QString& yes)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      onAnswer_(std::move(onAnswer)),
      turnOn_(new QPushButton(yes.isEmpty() ? text(PermissionPrompt::kTurnOn) : yes, this)),
      notNow_(new QPushButton(text(PermissionPrompt::kNotNow), this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setAccessibleName(title);
  setAccessibleDescription(explanation);

  auto* stack = new QVBoxLayout(this);
  stack->setSizeConstraint(QLayout::SetFixedSize);
  stack->setContentsMargins(20, 8, 20, 18);
  stack->setSpacing(12);

  auto* icon = new QLabel(this);
  icon->setPixmap(appIcon.pixmap(kPermissionIconSize, kPermissionIconSize));
  icon->setFixedSize(kPermissionIconSize, kPermissionIconSize);
  icon->setAccessibleName(QStringLiteral("Melodock"));
  stack->addWidget(icon, 0, Qt::AlignHCenter);
  stack->addWidget(wrapping(title, scaled(font(), 13, true), this));
  stack->addWidget(wrapping(explanation, scaled(font(), 11, false), this));

  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(10);
  for (QPushButton* button : {notNow_, turnOn_}) {
    button->setMinimumHeight(kButtonHeight);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setAccessibleName(button->text());
    buttons->addWidget(button, 1);
  }
  // Return always means "Turn On", whichever button has the focus.
  notNow_->setAutoDefault(false);
  turnOn_->setAutoDefault(false);
  turnOn_->setDefault(true);
  stack->addSpacing(6);
  stack->addLayout(buttons);

  connect(turnOn_, &QPushButton::clicked, this, [this] { answer(true); });
  connect(notNow_, &QPushButton::clicked, this, [this] { answer(false); });
}

void PermissionWindow::bringToFront() {
  if (!placed_) {
    // Centred once; where the user moves it afterwards, it stays.
    placed_ = true;
    adjustSize();
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(width() / 2, height() / 2));
    }
  }
  show();
  raise();
  activateWindow();
  turnOn_->setFocus();
}

void PermissionWindow::dismiss() {
  onAnswer_ = {};
  close();
}

void PermissionWindow::reject() { answer(false); }

void PermissionWindow::answer(bool yes) {
  // Taken out first: closing comes back through reject().
  auto onAnswer = std::exchange(onAnswer_, {});
  if (onAnswer) onAnswer(yes);
  QDialog::done(yes ? Accepted : Rejected);
  close();
}

}  // namespace melodock::qt
