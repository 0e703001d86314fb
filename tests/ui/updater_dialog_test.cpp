// SPDX-License-Identifier: Apache-2.0
// The main window's template realised in Qt: controls, IDs, texts, geometry in dialog units,
// tab order, and the keys and clicks the dialog reports.
#include "ui/updater_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include "app/control_ids.h"
#include "ui/control_table.h"
#include "ui/dialog_units.h"
#include "ui/focus_ring.h"
#include "ui/text_field.h"
#include "ui/up_down_control.h"

using namespace quillmont;
using namespace quillmont::ui;

namespace {

// The shown controls of the window, the "?" button included.
std::vector<QWidget*> ShownControls(UpdaterDialog& dialog) {
  std::vector<QWidget*> shown;
  for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isVisible() && child != dialog.focus_ring())
      shown.push_back(child);
  }
  return shown;
}

// Every shown control inside the window and clear of every other, the frame view clear of the
// progress bar's strip, the log pane a few lines high at least.
void CheckEveryControlHasItsPlace(UpdaterDialog& dialog) {
  const std::vector<QWidget*> shown = ShownControls(dialog);
  QVERIFY(shown.size() >= 19);
  for (QWidget* control : shown) {
    QVERIFY2(dialog.rect().contains(control->geometry()), qPrintable(control->objectName()));
    for (QWidget* other : shown) {
      QVERIFY2(control == other || !control->geometry().intersects(other->geometry()),
               qPrintable(control->objectName() + QStringLiteral(" / ") + other->objectName()));
    }
  }
  const QRect log = dialog.Control(kLogPane)->geometry();
  QVERIFY(dialog.Control(kFrameView)->geometry().bottom() < log.top() - kProgressStripPixels);
  QVERIFY(log.height() >= DluToPixelsY(kLogPaneLeastHeightDlu, dialog.base_units()));
}

}  // namespace

class UpdaterDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void DialogUnitsRoundLikeMulDiv() {
    const DialogBaseUnits units{6, 13};
    QCOMPARE(DluToPixelsX(347, units), 521);  // 520.5 rounds up
    QCOMPARE(DluToPixelsY(284, units), 462);  // 461.5 rounds up
    QCOMPARE(DluToPixelsX(45, units), 68);    // 67.5
    QCOMPARE(DluToPixelsY(14, units), 23);    // 22.75
    QCOMPARE(DluToPixelsY(8, units), 13);
    QCOMPARE(MulDivRound(-3, 6, 4), -5);  // -4.5 rounds away from zero
    QCOMPARE(DluRectToPixels(120, 35, 75, 14, units), QRect(180, 57, 113, 23));
  }

  void EveryControlHasItsIdNameTextAndPlace() {
    UpdaterDialog dialog;
    const DialogBaseUnits units = MeasureBaseUnits(dialog.font());
    QVERIFY(units.x > 0 && units.y > 0);
    QCOMPARE(dialog.base_units().x, units.x);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillmont - V3.20"));
    QCOMPARE(dialog.size(), QSize(DluToPixelsX(347, units), DluToPixelsY(284, units)));
    QCOMPARE(dialog.font().pointSize(), 8);

    int with_id = 0;
    for (const ControlSpec& spec : MainWindowControls()) {
      auto* widget = dialog.findChild<QWidget*>(QLatin1String(spec.name));
      QVERIFY2(widget != nullptr, spec.name);
      QCOMPARE(widget->property(kControlIdProperty).toInt(), spec.id);
      if (spec.id != 0) {
        QCOMPARE(dialog.Control(spec.id), widget);
        ++with_id;
      }
      const QRect expected = DluRectToPixels(spec.x, spec.y, spec.width, spec.height, units);
      QCOMPARE(widget->pos(), expected.topLeft());
      if (spec.id == kModelLabel || spec.id == kVersionLabel) {
        QCOMPARE(widget->width(), DluToPixelsX(kDeviceLabelShownWidthDlu, units));
      } else {
        QCOMPARE(widget->width(), expected.width());
      }
      if (spec.id == kStatusLine) {
        QCOMPARE(widget->height(), DluToPixelsY(kStatusLineShownHeightDlu, units));
      } else if (spec.id == kFrameView) {
        // Whole lines of text, as many as fit its shown height.
        const int line = widget->fontMetrics().lineSpacing();
        QCOMPARE(widget->height() % line, 0);
        QVERIFY(widget->height() <= DluToPixelsY(kFrameViewShownHeightDlu, units));
        QVERIFY(widget->height() + line > DluToPixelsY(kFrameViewShownHeightDlu, units));
      } else if (spec.kind != ControlKind::ComboDropDown) {
        QCOMPARE(widget->height(), expected.height());
      }
      QCOMPARE(widget->isVisibleTo(&dialog), spec.visible);
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), WithMnemonic(QLatin1String(spec.text)));
      }
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), QLatin1String(spec.text));
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask,
                 spec.alignment & Qt::AlignHorizontal_Mask);
      }
    }
    QCOMPARE(with_id, 19);
    QVERIFY(qobject_cast<QPushButton*>(dialog.Control(kExitButton))->isDefault());
    QVERIFY(!dialog.Control(kCancelButton)->isVisibleTo(&dialog));
    QVERIFY(qobject_cast<QLabel*>(dialog.Control(kStatusLine))->alignment() & Qt::AlignHCenter);
    QVERIFY(qobject_cast<QLabel*>(dialog.Control(kSubDeviceLabel))->alignment() & Qt::AlignRight);
    QCOMPARE(dialog.findChild<QLabel*>("SubDeviceCaption")->text(), QStringLiteral("SubDevice"));
    QCOMPARE(dialog.findChild<QLabel*>("DmxAddressCaption")->text(), QStringLiteral("Dmx Addr:"));

    // The closed baud box is one line high; the template's 100 units include its list.
    auto* combo = dialog.Combo(kBaudCombo);
    QVERIFY(!combo->isEditable());  // a rate is chosen in the list, never typed
    QVERIFY(combo->completer() == nullptr);
    QVERIFY(combo->height() < DluToPixelsY(100, units));
    QVERIFY(dialog.Field(kLogPane)->isReadOnly());
    QVERIFY(!dialog.Field(kUidEdit)->isReadOnly());
    QCOMPARE(dialog.Field(kUidEdit)->lineWrapMode(), QTextEdit::NoWrap);
    QVERIFY(!dialog.windowIcon().isNull());
  }

  void WindowHasNoMinimiseOrMaximiseBox() {
    UpdaterDialog dialog;
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
  }

  void TabOrderFollowsTheTemplate() {
    UpdaterDialog dialog;
    QStringList expected;
    for (const ControlSpec& spec : MainWindowControls()) {
      if (spec.kind != ControlKind::Static)
        expected << QLatin1String(spec.name);
    }
    QStringList chain;
    QWidget* first = dialog.Control(kExitButton);
    QWidget* widget = first;
    do {
      if (widget->parentWidget() == &dialog && widget->property(kControlIdProperty).isValid() &&
          widget->focusPolicy() != Qt::NoFocus) {
        chain << widget->objectName();
      }
      widget = widget->nextInFocusChain();
    } while (widget != first && chain.size() < 100);
    QCOMPARE(chain, expected);
  }

  void ButtonsEnterAndEscapeReportTheirIds() {
    UpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy clicks(&dialog, &UpdaterDialog::ButtonClicked);

    QTest::mouseClick(dialog.Control(kIdentifyButton), Qt::LeftButton);
    QCOMPARE(clicks.takeFirst().at(0).toInt(), kIdentifyButton);

    // Escape goes through the hidden Cancel button.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(clicks.takeFirst().at(0).toInt(), kCancelButton);

    // Enter in the baud box presses Exit; on a push button it presses that button.
    dialog.Combo(kBaudCombo)->setFocus();
    QTest::keyClick(dialog.Combo(kBaudCombo), Qt::Key_Return);
    QCOMPARE(clicks.size(), 1);
    QCOMPARE(clicks.takeFirst().at(0).toInt(), kExitButton);
    dialog.Control(kRefreshButton)->setFocus();
    QTest::keyClick(dialog.Control(kRefreshButton), Qt::Key_Return);
    QCOMPARE(clicks.takeFirst().at(0).toInt(), kRefreshButton);

    // In the UID and address fields Enter is a line break.
    for (int id : {kUidEdit, kDmxAddressEdit}) {
      TextField* field = dialog.Field(id);
      field->setFocus();
      QTest::keyClicks(field, "12");
      QTest::keyClick(field, Qt::Key_Return);
      QVERIFY(clicks.isEmpty());
      QCOMPARE(field->Text(), std::string("12\r\n"));
    }
  }

  void OnlyTheOperatorsEditsOfTheUidAreReported() {
    UpdaterDialog dialog;
    QSignalSpy edits(&dialog, &UpdaterDialog::UidEditedByOperator);
    TextField* uid = dialog.Field(kUidEdit);
    uid->SetText("4F 4C 00 00 00 00");
    uid->AppendText(" 01");
    QCOMPARE(edits.size(), 0);
    QCOMPARE(uid->Text(), std::string("4F 4C 00 00 00 00 01"));
    QTest::keyClick(uid, Qt::Key_A);
    QCOMPARE(edits.size(), 1);
    uid->selectAll();
    uid->cut();
    QCOMPARE(edits.size(), 2);
    // Edits of the address field are not UID edits.
    QTest::keyClick(dialog.Field(kDmxAddressEdit), Qt::Key_1);
    QCOMPARE(edits.size(), 2);
  }

  void UpDownReportsUpAsNegativeAndDownAsPositive() {
    UpdaterDialog dialog;
    QSignalSpy deltas(&dialog, &UpdaterDialog::SubDeviceDelta);
    QWidget* spin = dialog.Control(kSubDeviceSpin);
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Down);
    QTest::mouseClick(spin->findChild<QToolButton*>("UpArrow"), Qt::LeftButton);
    QTest::mouseClick(spin->findChild<QToolButton*>("DownArrow"), Qt::LeftButton);
    QCOMPARE(deltas.size(), 4);
    QCOMPARE(deltas.at(0).at(0).toInt(), -1);
    QCOMPARE(deltas.at(1).at(0).toInt(), 1);
    QCOMPARE(deltas.at(2).at(0).toInt(), -1);
    QCOMPARE(deltas.at(3).at(0).toInt(), 1);
    QVERIFY(spin->focusPolicy() & Qt::TabFocus);
  }

  void CloseBoxAndAboutEntryAreReportedNotActedOn() {
    UpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy closes(&dialog, &UpdaterDialog::CloseRequested);
    QSignalSpy commands(&dialog, &UpdaterDialog::SystemCommand);
    dialog.close();
    QCOMPARE(closes.size(), 1);
    QVERIFY(dialog.isVisible());  // only the core ends the window

    QCOMPARE(dialog.about_action()->text(), QStringLiteral("&About Peltrix..."));
    dialog.about_action()->trigger();
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0).at(0).toInt(), kAboutCommand);
  }

  // Also run on a 1024x600 screen at 150 % (the test "updater_dialog_small_screen").
  void TheWindowFitsItsScreenTheLogGivingWayFirst() {
    UpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect available = dialog.screen()->availableGeometry();
    QVERIFY(available.contains(dialog.frameGeometry()));
    const QSize full = dialog.template_size();
    const int least_log = DluToPixelsY(kLogPaneLeastHeightDlu, dialog.base_units());
    const int full_log = DluToPixelsY(96, dialog.base_units());
    const auto check_log_gave_way = [&] {
      // The log pane takes all of a change in height until it is at its least; only then do the
      // rows above it move up. At 150 % the moves are whole device pixels (even logical ones).
      const int slack = WindowLayout::StepFor(dialog.devicePixelRatioF()) - 1;
      const QRect log = dialog.Control(kLogPane)->geometry();
      const int expected = std::max(least_log, full_log - (full.height() - dialog.height()));
      QVERIFY2(log.height() <= expected && log.height() >= expected - slack,
               qPrintable(QStringLiteral("%1 %2").arg(log.height()).arg(expected)));
      const int margin = full.height() - DluToPixelsY(276, dialog.base_units());
      QVERIFY(log.bottom() <= dialog.height() - 1 - margin);
      QVERIFY(log.bottom() >= dialog.height() - 1 - margin - 2 * slack);
      QCOMPARE(log.width(), DluToPixelsX(335, dialog.base_units()) + dialog.width() - full.width());
      CheckEveryControlHasItsPlace(dialog);
    };
    if (available.height() > full.height() + 40) {
      QCOMPARE(dialog.size(), full);
    } else {
      QVERIFY(dialog.height() < full.height());
    }
    check_log_gave_way();

    // At its least size the window, frame included, fits a 1000x560 area of a screen at 150 %.
    const QSize least = dialog.minimumSize();
    const qreal ratio = std::max<qreal>(1.5, dialog.devicePixelRatioF());
    QVERIFY(least.width() * ratio <= 1000);
    QVERIFY(least.height() * ratio + 40 <= 560);
    // The bar stays in the strip above the log pane when the window is resized.
    QRect log = dialog.Control(kLogPane)->geometry();
    dialog.ShowBar(QRect(log.left(), log.top() - kProgressStripPixels, log.width() / 2, 25),
                   Qt::black, Qt::green);
    dialog.resize(least);
    QCOMPARE(dialog.size(), least);
    check_log_gave_way();
    log = dialog.Control(kLogPane)->geometry();
    QCOMPARE(dialog.bar_rect(),
             QRect(log.left(), log.top() - kProgressStripPixels, log.width() / 2, 25));
    dialog.resize(full.width() + 100, full.height() + 100);
    check_log_gave_way();
    log = dialog.Control(kLogPane)->geometry();
    QCOMPARE(dialog.bar_rect().top(), log.top() - kProgressStripPixels);
    QCOMPARE(dialog.bar_rect().width(), log.width() / 2);
  }

  void EveryControlShowsAFocusMark() {
    UpdaterDialog dialog;
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QColor mark = dialog.palette().color(QPalette::Active, QPalette::Highlight);
    const auto marked = [&](QWidget* control) {
      const QImage shot = dialog.grab().toImage();
      const QRect around = control->geometry().adjusted(-1, -1, 1, 1);
      const auto at = [&](int x, int y) {  // the middle of a pixel, at any scale
        return shot.pixelColor(static_cast<int>((x + 0.5) * shot.devicePixelRatio()),
                               static_cast<int>((y + 0.5) * shot.devicePixelRatio()));
      };
      return at(around.center().x(), around.top()) == mark &&
             at(around.left(), around.center().y()) == mark &&
             at(around.center().x(), around.bottom()) == mark;
    };
    QWidget* before = nullptr;
    int controls = 0;
    for (QWidget* control : ShownControls(dialog)) {
      if (control->focusPolicy() == Qt::NoFocus)
        continue;
      control->setFocus(Qt::TabFocusReason);
      QVERIFY2(marked(control), qPrintable(control->objectName()));
      if (before != nullptr)
        QVERIFY2(!marked(before), qPrintable(before->objectName()));
      before = control;
      ++controls;
    }
    // While a box the window opens has the focus, no control of the window is marked.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("quillmont"), QStringLiteral("text"),
                    QMessageBox::Ok, &dialog);
    bool marked_meanwhile = true;
    QTimer::singleShot(100, &box, [&] {
      marked_meanwhile = dialog.focus_ring()->isVisible();
      box.done(0);
    });
    box.exec();
    QVERIFY(!marked_meanwhile);
    // Every button, edit, list and arrow of the template that is shown, and the "?" button.
    const auto& table = MainWindowControls();
    QCOMPARE(controls, 1 + std::count_if(table.begin(), table.end(), [](const ControlSpec& spec) {
                         return spec.visible && spec.kind != ControlKind::Static;
                       }));
  }

  void OperatorsBaudChoiceIsReported() {
    UpdaterDialog dialog;
    QComboBox* combo = dialog.Combo(kBaudCombo);
    combo->addItems({"9600", "250000"});
    QSignalSpy chosen(&dialog, &UpdaterDialog::BaudSelected);
    combo->setCurrentIndex(0);  // the system's own selection
    QCOMPARE(chosen.size(), 0);
    combo->setFocus();
    // The closed list takes no step, no typing and no wheel.
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClicks(combo, "2");
    QWheelEvent wheel(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo, &wheel);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(chosen.size(), 0);
    // The operator's choice in the dropped list.
    QTest::keyClick(combo, Qt::Key_F4);
    QVERIFY(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Down);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    QCOMPARE(combo->currentIndex(), 1);
    QCOMPARE(chosen.size(), 1);
  }
};

QTEST_MAIN(UpdaterDialogTest)
#include "updater_dialog_test.moc"
