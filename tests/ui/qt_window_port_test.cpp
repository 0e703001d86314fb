// SPDX-License-Identifier: Apache-2.0
// QtWindowPort: the core's user-interface operations on the real dialog (offscreen): texts,
// the log's fast append, combo box, timer, modal boxes during which ticks go on, the file-open
// dialog, control rectangles, the progress bar's pixels, and ending the window.
#include "ui/qt_window_port.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>

#include "app/control_ids.h"
#include "ui/about_box.h"
#include "ui/dialog_units.h"
#include "ui/text_field.h"
#include "ui/updater_dialog.h"

using namespace quillmont;
using namespace quillmont::ui;

namespace {

std::string LogOfLines(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i)
    text += "Programming $" + std::to_string(0x4000 + i) + "\r\n";
  return text;
}

}  // namespace

class QtWindowPortTest : public QObject {
  Q_OBJECT

 private slots:
  void TextsReachTheirControlsAndComeBack() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    port.SetControlText(kStatusLine, "Connected,  Device's Rdm_ID  =  4F 4C 00 00 00 01");
    QCOMPARE(qobject_cast<QLabel*>(dialog.Control(kStatusLine))->text(),
             QStringLiteral("Connected,  Device's Rdm_ID  =  4F 4C 00 00 00 01"));
    port.SetControlText(kFrameView, "21 00C0 Len 4\r\nCC 01 ");
    QCOMPARE(qobject_cast<QLabel*>(dialog.Control(kFrameView))->text(),
             QStringLiteral("21 00C0 Len 4\nCC 01 "));
    QCOMPARE(port.GetControlText(kFrameView), std::string("21 00C0 Len 4\r\nCC 01 "));
    port.SetControlText(kUpdateButton, "Abort Operation");
    // Shown with its Alt-letter, given back as the core wrote it.
    QCOMPARE(qobject_cast<QPushButton*>(dialog.Control(kUpdateButton))->text(),
             QStringLiteral("&Abort Operation"));
    QCOMPARE(port.GetControlText(kUpdateButton), std::string("Abort Operation"));
    port.SetControlText(kUidEdit, "01 23\r\n45");
    QCOMPARE(dialog.Field(kUidEdit)->toPlainText(), QStringLiteral("01 23\n45"));
    QCOMPARE(port.GetControlText(kUidEdit), std::string("01 23\r\n45"));
    QCOMPARE(port.GetControlText(9999), std::string());
    port.SetControlText(9999, "nothing there");  // an unknown ID is ignored
  }

  void LogAppendTouchesOnlyTheTailAndMatchesAFullRewrite() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    const std::string long_log = LogOfLines(5000);
    port.SetControlText(kLogPane, long_log);
    QTextDocument* doc = dialog.Field(kLogPane)->document();
    const int length_before = doc->characterCount();

    QSignalSpy changes(doc, &QTextDocument::contentsChange);
    const std::string longer = long_log + "\r\n VERY WELL DONE !\r\n\r\n";
    port.SetControlText(kLogPane, longer);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.at(0).at(0).toInt(), length_before - 1);  // at the end
    QCOMPARE(changes.at(0).at(1).toInt(), 0);                  // nothing removed

    TextField rewritten(TextField::Role::Log);
    rewritten.SetText(longer);
    QCOMPARE(dialog.Field(kLogPane)->toPlainText(), rewritten.toPlainText());
    QCOMPARE(port.GetControlText(kLogPane), longer);

    // A text that does not extend the shown one replaces it.
    port.SetControlText(kLogPane, "Reading a.srec2\r\n");
    QCOMPARE(dialog.Field(kLogPane)->toPlainText(), QStringLiteral("Reading a.srec2\n"));
    QCOMPARE(port.GetControlText(kLogPane), std::string("Reading a.srec2\r\n"));
  }

  // The core writes the UID and address fields again with every log line; the same text must
  // not disturb the field (no change reported, the operator's cursor stays), a new one replaces it.
  void RewritingAnUnchangedFieldLeavesItAlone() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    port.SetControlText(kUidEdit, "4F 4C 12 34 56 78");
    TextField* uid = dialog.Field(kUidEdit);
    QTextCursor cursor = uid->textCursor();
    cursor.setPosition(5);
    uid->setTextCursor(cursor);
    QSignalSpy changes(uid->document(), &QTextDocument::contentsChange);

    port.SetControlText(kUidEdit, "4F 4C 12 34 56 78");
    QCOMPARE(changes.size(), 0);
    QCOMPARE(uid->textCursor().position(), 5);

    port.SetControlText(kUidEdit, "4F 4C 00 00 00 01");
    QVERIFY(changes.size() > 0);
    QCOMPARE(port.GetControlText(kUidEdit), std::string("4F 4C 00 00 00 01"));
  }

  void ScrollLogToEndShowsTheLastLine() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    port.SetControlText(kLogPane, LogOfLines(200));
    port.ScrollLogToEnd();
    auto* bar = dialog.Field(kLogPane)->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
  }

  void ComboOperationsSelectWithoutReportingAChoice() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    QSignalSpy chosen(&dialog, &UpdaterDialog::BaudSelected);
    for (const char* rate : {"150", "9600", "250000"})
      port.ComboAddString(kBaudCombo, rate);
    QCOMPARE(port.ComboGetCurSel(kBaudCombo), -1);
    QCOMPARE(port.ComboFindStringExact(kBaudCombo, "250000"), 2);
    QCOMPARE(port.ComboFindStringExact(kBaudCombo, "25000"), -1);
    QCOMPARE(port.ComboFindStringExact(kBaudCombo, "960000"), -1);
    port.ComboSetCurSel(kBaudCombo, 1);
    QCOMPARE(port.ComboGetCurSel(kBaudCombo), 1);
    QCOMPARE(dialog.Combo(kBaudCombo)->currentText(), QStringLiteral("9600"));
    QCOMPARE(port.ComboGetItemText(kBaudCombo, 2), std::string("250000"));
    QCOMPARE(port.ComboGetItemText(kBaudCombo, 3), std::string());
    QCOMPARE(port.ComboGetItemText(kBaudCombo, -1), std::string());
    port.ComboSetCurSel(kBaudCombo, 7);
    QCOMPARE(port.ComboGetCurSel(kBaudCombo), -1);
    QCOMPARE(chosen.size(), 0);
  }

  void ControlRectIsInClientCoordinates() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    const DialogBaseUnits units = dialog.base_units();
    const Rect log = port.GetControlRect(kLogPane);
    QCOMPARE(log.left, DluToPixelsX(5, units));
    QCOMPARE(log.top, DluToPixelsY(180, units));
    QCOMPARE(log.right, DluToPixelsX(5, units) + DluToPixelsX(335, units));
    QCOMPARE(log.bottom, DluToPixelsY(180, units) + DluToPixelsY(96, units));
  }

  void ProgressBarIsPaintedUntilInvalidated() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QColor background = dialog.grab().toImage().pixelColor(300, 260);
    const QColor white(255, 255, 255);
    const QColor orange(155, 100, 0);
    port.FillRect(Rect{10, 250, 110, 275}, Rgb{255, 255, 255}, Rgb{155, 100, 0});

    for (int repaint = 0; repaint < 2; ++repaint) {
      dialog.repaint();  // an ordinary repaint keeps the bar
      const QImage image = dialog.grab().toImage();
      QCOMPARE(image.pixelColor(10, 250), white);   // outline, top left
      QCOMPARE(image.pixelColor(109, 274), white);  // outline, bottom right (exclusive edges)
      QCOMPARE(image.pixelColor(60, 250), white);
      QCOMPARE(image.pixelColor(11, 251), orange);  // brush inside
      QCOMPARE(image.pixelColor(108, 273), orange);
      QCOMPARE(image.pixelColor(110, 260), background);
      QCOMPARE(image.pixelColor(60, 275), background);
      QCOMPARE(image.pixelColor(60, 249), background);
    }

    port.Invalidate();
    const QImage erased = dialog.grab().toImage();
    QCOMPARE(erased.pixelColor(10, 250), background);
    QCOMPARE(erased.pixelColor(60, 260), background);
  }

  void MessageBoxHasOneOkNoIconAndTicksGoOn() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    int ticks = 0;
    QString caption, text;
    int buttons = 0;
    QMessageBox::Icon icon = QMessageBox::Information;
    port.SetTickHandler([&] {
      if (++ticks != 3)
        return;
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      caption = box->windowTitle();
      text = box->text();
      buttons = static_cast<int>(box->buttons().size());
      icon = box->icon();
      box->button(QMessageBox::Ok)->click();
    });
    QCOMPARE(port.StartTimer(kTickTimerId, kTickPeriodMs), kTickTimerId);
    port.ShowMessageBox("No Devices Discovered yet");
    QCOMPARE(ticks, 3);
    QCOMPARE(caption, QStringLiteral("qt_window_port_test"));
    QCOMPARE(text, QStringLiteral("No Devices Discovered yet"));
    QCOMPARE(buttons, 1);
    QCOMPARE(icon, QMessageBox::NoIcon);
    port.StopTimer(kTickTimerId);
  }

  void AboutBoxShowsNameIconAndOkWhileTicksGoOn() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    int ticks = 0;
    QString caption, text;
    QSize size;
    bool ok_default = false, has_icon = false;
    port.SetTickHandler([&] {
      if (++ticks != 2)
        return;
      auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      caption = box->windowTitle();
      text = box->findChild<QLabel*>("AboutText")->text();
      has_icon = !box->findChild<QLabel*>("AboutIcon")->pixmap().isNull();
      ok_default = box->findChild<QPushButton*>("OkButton")->isDefault();
      size = box->size();
      QTest::keyClick(box, Qt::Key_Escape);
    });
    port.StartTimer(kTickTimerId, kTickPeriodMs);
    port.ShowAboutBox();
    QCOMPARE(ticks, 2);
    QCOMPARE(caption, QStringLiteral("Quillmont"));
    QCOMPARE(text, QStringLiteral("Quillmont 3.20"));
    QVERIFY(has_icon);
    QVERIFY(ok_default);
    const DialogBaseUnits units = MeasureBaseUnits(DialogFont());
    QCOMPARE(size, QSize(DluToPixelsX(235, units), DluToPixelsY(59, units)));
  }

  void FileDialogAsksForAnExistingSrec2File() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString firmware = dir.filePath("fixture.srec2");
    QFile file(firmware);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("S00600004844521B\n");
    file.close();

    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    QString title;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QString directory;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      title = box->windowTitle();
      filters = box->nameFilters();
      mode = box->fileMode();
      directory = box->directory().absolutePath();
      box->selectFile(firmware);
      QMetaObject::invokeMethod(box, "accept");
    });
    const std::optional<std::string> chosen = port.OpenFileDialog(FileDialogRequest{});
    QVERIFY(chosen.has_value());
    QCOMPARE(QString::fromStdString(*chosen), firmware);
    QCOMPARE(title, QStringLiteral("Load Firmware File"));
    QCOMPARE(filters, (QStringList{QStringLiteral("SREC2 *.srec2 (*.srec2)"),
                                   QStringLiteral("All files (*)")}));
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(directory, QDir::currentPath());

    // Cancelled, or a path that does not fit the dialog's buffer: nothing is chosen.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    QVERIFY(!port.OpenFileDialog(FileDialogRequest{}).has_value());
    FileDialogRequest small;
    small.buffer_size = static_cast<size_t>(firmware.size());
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      box->selectFile(firmware);
      QMetaObject::invokeMethod(box, "accept");
    });
    QVERIFY(!port.OpenFileDialog(small).has_value());
  }

  void EndDialogEndsWithTheResult() {
    UpdaterDialog dialog;
    QtWindowPort port(dialog);
    QTimer::singleShot(0, [&] { port.EndDialog(kResultCancel); });
    QCOMPARE(dialog.exec(), kResultCancel);
    QVERIFY(!dialog.isVisible());
  }
};

QTEST_MAIN(QtWindowPortTest)
#include "qt_window_port_test.moc"
