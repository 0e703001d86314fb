// SPDX-License-Identifier: Apache-2.0
#include "ui/updater_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "app/control_ids.h"
#include "ui/app_icon.h"
#include "ui/baud_list.h"
#include "ui/control_table.h"
#include "ui/eliding_label.h"
#include "ui/focus_ring.h"
#include "ui/text_field.h"
#include "ui/up_down_control.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quillmont::ui {

namespace {

int TemplateLogTopDlu() {
  for (const ControlSpec& spec : MainWindowControls()) {
    if (spec.id == kLogPane)
      return spec.y;
  }
  return kMainClientHeightDlu;
}

}  // namespace

UpdaterDialog::UpdaterDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("UpdaterDialog"));
  setWindowTitle(QLatin1String(kMainCaption));
  setWindowIcon(AppIcon());
  setFont(DialogFont());
  base_units_ = MeasureBaseUnits(font());
  template_size_ = QSize(DluToPixelsX(kMainClientWidthDlu, base_units_),
                         DluToPixelsY(kMainClientHeightDlu, base_units_));
  CreateControls();

  about_action_ = new QAction(QLatin1String(kAboutMenuText), this);
  connect(about_action_, &QAction::triggered, this, [this] { emit SystemCommand(kAboutCommand); });
  AddSystemMenuEntry();
  AddHelpEntry();
  MakeLayout();
  focus_ring_ = new FocusRing(this);
  AddRigShortcut();
}

// The rows above the log pane as the template places them, with the strip of the progress bar:
// the window may be resized down to where they still fit above a log of a few lines.
void UpdaterDialog::MakeLayout() {
  std::vector<QRect> rows;
  for (const Placed& placed : placed_) {
    if (placed.widget->isVisibleTo(this))
      rows.push_back(placed.rect);
  }
  const LayoutMeasures measures{template_size_, Control(kLogPane)->geometry(), kProgressStripPixels,
                                DluToPixelsY(kLeastRowGapDlu, base_units_),
                                DluToPixelsY(kLogPaneLeastHeightDlu, base_units_)};
  layout_.emplace(measures, rows);
  setMinimumSize(layout_->minimum_client());
  resize(InitialSize());
  PlaceControls();
}

// The template's size where the screen has room for it and its frame; otherwise as much of the
// screen's free area as there is (never below the least size).
QSize UpdaterDialog::InitialSize() const {
  QSize room = template_size_;
  if (const QScreen* shown_on = screen()) {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    room = shown_on->availableGeometry().size() - QSize(2 * frame, title + 2 * frame);
  }
  return template_size_.boundedTo(room).expandedTo(minimumSize());
}

void UpdaterDialog::PlaceControls() {
  if (!layout_)
    return;
  layout_->set_step(WindowLayout::StepFor(devicePixelRatioF()));
  for (const Placed& placed : placed_) {
    placed.widget->setGeometry(
        layout_->Place(placed.rect, size(), placed.widget == Control(kFrameView)));
  }
  Control(kLogPane)->setGeometry(layout_->PlaceLog(size()));
}

void UpdaterDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceControls();
}

// Ctrl+R opens the Rig dialog as the Rig button (Alt+R) does, while the button is enabled.
void UpdaterDialog::AddRigShortcut() {
  auto* rig = new QAction(this);
  rig->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  rig->setShortcutContext(Qt::WindowShortcut);
  connect(rig, &QAction::triggered, this, [this] {
    if (QWidget* button = Control(kRigButton); button != nullptr && button->isEnabled())
      emit ButtonClicked(kRigButton);
  });
  addAction(rig);
}

// The window menu is out of reach under many window managers: the About box is also on F1 and
// on a small "?" button in the free space left of Exit.
void UpdaterDialog::AddHelpEntry() {
  about_action_->setShortcut(QKeySequence(Qt::Key_F1));
  about_action_->setShortcutContext(Qt::WindowShortcut);
  addAction(about_action_);

  auto* help = new QToolButton(this);
  help->setObjectName(QStringLiteral("HelpButton"));
  help->setText(QStringLiteral("?"));
  help->setToolTip(QStringLiteral("About Quillmont (F1)"));
  const QRect rect = DluRectToPixels(kHelpButtonXDlu, kHelpButtonYDlu, kHelpButtonSizeDlu,
                                     kHelpButtonSizeDlu, base_units_);
  help->setGeometry(rect);
  placed_.push_back(Placed{help, rect});
  connect(help, &QToolButton::clicked, about_action_, &QAction::trigger);
  help_button_ = help;
}

void UpdaterDialog::SetUpdateRunning(bool running) {
  if (update_running_ == running)
    return;
  update_running_ = running;
  for (const int id : {kDiscoverButton, kIdentifyButton, kStopIdentifyButton, kRefreshButton,
                       kSetAddressButton, kRigButton, kUidEdit, kDmxAddressEdit, kBaudCombo}) {
    if (QWidget* control = Control(id))
      control->setEnabled(!running);
  }
}

void UpdaterDialog::SetLineLent(bool lent) {
  for (const int id :
       {kUpdateButton, kDiscoverButton, kIdentifyButton, kStopIdentifyButton, kRefreshButton,
        kSetAddressButton, kRigButton, kUidEdit, kDmxAddressEdit, kBaudCombo, kSubDeviceSpin}) {
    if (QWidget* control = Control(id))
      control->setEnabled(!lent);
  }
}

void UpdaterDialog::CreateControls() {
  QWidget* previous = nullptr;
  for (const ControlSpec& spec : MainWindowControls()) {
    QWidget* widget = MakeControl(spec);
    widget->setObjectName(QLatin1String(spec.name));
    widget->setProperty(kControlIdProperty, spec.id);
    const QRect rect = ShownRect(spec, widget);
    widget->setGeometry(rect);
    widget->setVisible(spec.visible);
    if (spec.id != kLogPane)
      placed_.push_back(Placed{widget, rect});
    if (spec.id != 0)
      controls_[spec.id] = widget;
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previous != nullptr)
        setTabOrder(previous, widget);
      previous = widget;
    }
  }
}

QWidget* UpdaterDialog::MakeControl(const ControlSpec& spec) {
  const QString text = QString::fromLatin1(spec.text);
  switch (spec.kind) {
    case ControlKind::PushButton: {
      auto* button = new QPushButton(WithMnemonic(text), this);
      const int id = spec.id;
      if (id == kUpdateButton)
        button->installEventFilter(this);
      connect(button, &QPushButton::clicked, this, [this, id] { emit ButtonClicked(id); });
      if (id == kExitButton)
        button->setDefault(true);
      return button;
    }
    case ControlKind::Edit: {
      auto* field = new TextField(TextField::Role::Centred, this);
      if (spec.id == kUidEdit)
        connect(field, &TextField::EditedByOperator, this, &UpdaterDialog::UidEditedByOperator);
      return field;
    }
    case ControlKind::LogEdit:
      return new TextField(TextField::Role::Log, this);
    case ControlKind::Static: {
      if (spec.id == kModelLabel || spec.id == kVersionLabel) {
        auto* label = new ElidingLabel(this);
        label->setAlignment(spec.alignment);
        label->SetFullText(text);
        return label;
      }
      auto* label = new QLabel(text, this);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(spec.alignment);
      label->setWordWrap(true);
      return label;
    }
    case ControlKind::UpDown: {
      auto* spin = new UpDownControl(this);
      connect(spin, &UpDownControl::DeltaProposed, this, &UpdaterDialog::SubDeviceDelta);
      return spin;
    }
    case ControlKind::ComboDropDown: {
      auto* combo = new BaudList(this);
      connect(combo, &QComboBox::activated, this, [this] { emit BaudSelected(); });
      return combo;
    }
  }
  return nullptr;
}

// A control's rectangle at the template's size: its dialog units in pixels, with the few sizes
// the window shows otherwise.
QRect UpdaterDialog::ShownRect(const ControlSpec& spec, const QWidget* widget) const {
  QRect rect = DluRectToPixels(spec.x, spec.y, spec.width, spec.height, base_units_);
  if (spec.kind == ControlKind::ComboDropDown) {
    // The template's height includes the dropped list; the closed box is as high as a line.
    rect.setHeight(widget->sizeHint().height());
  }
  if (spec.id == kStatusLine) {
    // The longest status ("No RDM Device available. ...") needs two lines at this width; the
    // strip below the line is free up to the row of Discover Node.
    rect.setHeight(DluToPixelsY(kStatusLineShownHeightDlu, base_units_));
  }
  if (spec.id == kFrameView) {
    // Its last line stays clear of the progress bar's strip, whose height is in pixels, with
    // whatever font: at least a row gap lies between them.
    const int log_top = DluToPixelsY(TemplateLogTopDlu(), base_units_);
    const int room =
        log_top - kProgressStripPixels - DluToPixelsY(kLeastRowGapDlu, base_units_) - rect.top();
    const int height = std::min(DluToPixelsY(kFrameViewShownHeightDlu, base_units_), room);
    // Whole lines: a long frame that does not fit ends with a whole line, not half of one.
    const int line = widget->fontMetrics().lineSpacing();
    rect.setHeight(std::max(line, height / line * line));
  }
  if (spec.id == kModelLabel || spec.id == kVersionLabel)
    rect.setWidth(DluToPixelsX(kDeviceLabelShownWidthDlu, base_units_));
  return rect;
}

QWidget* UpdaterDialog::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

TextField* UpdaterDialog::Field(int id) const {
  return qobject_cast<TextField*>(Control(id));
}

QComboBox* UpdaterDialog::Combo(int id) const {
  return qobject_cast<QComboBox*>(Control(id));
}

// While an update runs, Enter, Space and the Alt-letter on the Update button (which then reads
// "Abort Operation") do not abort at once: the window asks first. A mouse click still aborts.
bool UpdaterDialog::eventFilter(QObject* watched, QEvent* event) {
  if (!update_running_ || watched != Control(kUpdateButton))
    return QDialog::eventFilter(watched, event);
  if (event->type() == QEvent::Shortcut) {
    emit ButtonKeyed(kUpdateButton);
    return true;
  }
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
        emit ButtonKeyed(kUpdateButton);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void UpdaterDialog::SetProgressText(const QString& text) {
  progress_text_ = text;
  update();
}

void UpdaterDialog::ShowBar(const QRect& rect, QColor pen, QColor brush) {
  const QRect log = Control(kLogPane)->geometry();
  const double share = log.width() > 0 ? static_cast<double>(rect.width()) / log.width() : 0;
  bar_ = Bar{rect.topLeft() - log.topLeft(), share, rect.height(), pen, brush};
  update();
}

QRect UpdaterDialog::bar_rect() const {
  if (!bar_)
    return {};
  const QRect log = Control(kLogPane)->geometry();
  return QRect(log.topLeft() + bar_->offset,
               QSize(static_cast<int>(std::lround(bar_->width_share * log.width())), bar_->height));
}

void UpdaterDialog::ClearBar() {
  bar_.reset();
  progress_text_.clear();
  update();
}

void UpdaterDialog::reject() {
  if (auto* cancel = qobject_cast<QPushButton*>(Control(kCancelButton)))
    cancel->click();
}

void UpdaterDialog::closeEvent(QCloseEvent* event) {
  emit CloseRequested();
  if (isVisible()) {
    event->ignore();
  } else {
    event->accept();
  }
}

void UpdaterDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(about_action_);
  menu.exec(event->globalPos());
}

// The bar is painted like a GDI rectangle: the pen's 1-pixel outline on the rectangle's border,
// right and bottom exclusive, and the brush inside it.
void UpdaterDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  const QRect bar = bar_rect();
  if (!bar_ || bar.width() <= 0 || bar.height() <= 0)
    return;
  QPainter painter(this);
  painter.fillRect(bar, bar_->pen);
  const QRect inside = bar.adjusted(1, 1, -1, -1);
  if (inside.width() > 0 && inside.height() > 0)
    painter.fillRect(inside, bar_->brush);
  if (progress_text_.isEmpty())
    return;
  // The text on the strip's whole width, in the window's text colour on a light patch, so that it
  // reads over every colour of the bar.
  QWidget* log = Control(kLogPane);
  const QRect strip(log->x(), bar.top(), log->width(), bar.height());
  const QRect patch = painter.fontMetrics()
                          .boundingRect(strip, Qt::AlignCenter, progress_text_)
                          .adjusted(-6, -1, 6, 1);
  painter.fillRect(patch, palette().color(QPalette::Window));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(strip, Qt::AlignCenter, progress_text_);
}

void UpdaterDialog::AddSystemMenuEntry() {
#ifdef Q_OS_WIN
  HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
  if (menu != nullptr) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kAboutCommand,
                  reinterpret_cast<LPCWSTR>(about_action_->text().utf16()));
  }
#endif
}

#ifdef Q_OS_WIN
bool UpdaterDialog::nativeEvent(const QByteArray& event_type, void* message, qintptr* result) {
  const MSG* msg = static_cast<const MSG*>(message);
  if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand) {
    emit SystemCommand(static_cast<int>(msg->wParam));
    *result = 0;
    return true;
  }
  return QDialog::nativeEvent(event_type, message, result);
}
#endif

}  // namespace quillmont::ui
