// SPDX-License-Identifier: Apache-2.0
// The Rig dialog end to end: the main window lends its line, the dialog surveys three simulated
// fixtures on it and updates the chosen ones through the station on its worker thread, on a
// virtual clock; the history records each update.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <condition_variable>
#include <mutex>

#include "app/control_ids.h"
#include "app/tick_pacer.h"
#include "app/updater_window.h"
#include "link/forwarding_driver.h"
#include "rdm/message.h"
#include "sim/simulated_line.h"
#include "station/history.h"
#include "station/window_station.h"
#include "support/simulated_line_set.h"
#include "ui/qt_window_host.h"

using namespace quillmont;
using namespace quillmont::ui;
using quillmont::testing::SimulatedLineSet;

namespace {

// The simulated line's driver, where a test can hold the first bootloader request a fixture's
// update sends until it lets it go.
class GatedDriver final : public ForwardingDriver {
 public:
  explicit GatedDriver(SimulatedLine& line) : line_(line) {}

  void Hold() { held_ = true; }
  bool holding() const { return holding_; }
  void Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    let_go_.notify_all();
  }

  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override {
    const auto* frame = static_cast<const uint8_t*>(bytes);
    if (held_ && count > kOffsetPid + 1 && frame[kOffsetPid] == (PID_BOOTLOADER >> 8) &&
        frame[kOffsetPid + 1] == (PID_BOOTLOADER & 0xFF)) {
      std::unique_lock lock(mutex_);
      holding_ = true;
      let_go_.wait(lock, [this] { return !held_; });
      holding_ = false;
    }
    return line_.FT_Write(handle, bytes, count, written);
  }

 private:
  D2xxDriver& inner() override { return line_; }
  SimulatedLine& line_;
  std::atomic<bool> held_{false};
  std::mutex mutex_;
  std::condition_variable let_go_;
  std::atomic<bool> holding_{false};
};

// With QUILLMONT_SHOTS=DIR, saves the dialog as DIR/NAME.png (scripts/screenshot-window --states).
void Snapshot(QWidget& dialog, const char* name) {
  const QString dir = qEnvironmentVariable("QUILLMONT_SHOTS");
  if (!dir.isEmpty())
    dialog.grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

FixtureConfig Fixture(uint8_t last, bool in_bootloader) {
  FixtureConfig config;
  config.uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, last};
  config.start_in_bootloader = in_bootloader;
  return config;
}

// The program's window on a line of three fixtures, the one ending 0x03 in its bootloader, its
// updates recorded in a history; the window has looked at the line.
struct RigBench {
  RigBench()
      : line(clock),
        gated((AddFixtures(), line)),
        line_set(gated, clock),
        history(dir.filePath("history.jsonl").toStdString()),
        station(line_set, settings, events),
        window(host.port(), gated, clock, diag),
        pacer(window, clock) {
    settings.program = "quillmont";  // as the program runs its window
    settings.history = &history;
    window.settings_path = dir.filePath("quillmont.cfg").toStdString();
    host.UseStation(&station);
    host.Bind(window);
    window.OnInit();
    host.qt_port().StopAllTimers();
    host.dialog().show();
    QApplication::setActiveWindow(&host.dialog());
    pacer.RunTicks(12);
  }
  ~RigBench() { host.Unbind(); }
  void AddFixtures() {
    const int adapter = line.AddAdapter();
    line.AddFixture(adapter, Fixture(0x01, false));
    line.AddFixture(adapter, Fixture(0x02, false));
    line.AddFixture(adapter, Fixture(0x03, true));
  }
  // Ctrl+R on the window; true once the dialog has listed the line.
  bool OpenRig() {
    QTest::keyClick(&host.dialog(), Qt::Key_R, Qt::ControlModifier);
    return rig() != nullptr && QTest::qWaitFor([this] { return !rig()->worker().busy(); }, 20000);
  }
  // Alt+U in the dialog, and the example file chosen in its file dialog.
  void UpdateAll() {
    const QString path =
        QString::fromUtf8(QUILLMONT_SOURCE_DIR) + QStringLiteral("/examples/fixture-app-1.1.srec2");
    WhenModalOpens([path](QWidget* modal) {
      auto* files = qobject_cast<QFileDialog*>(modal);
      QVERIFY(files != nullptr);
      files->selectFile(path);
      QMetaObject::invokeMethod(files, "accept");
    });
    QApplication::setActiveWindow(rig());
    QTest::keyClick(rig(), Qt::Key_U, Qt::AltModifier);  // clicks the button a moment later
  }
  // The update began (its summary tells) and ended.
  bool RigEnds() {
    return QTest::qWaitFor(
        [this] { return !rig()->summary_text().isEmpty() && !rig()->worker().busy(); }, 25000);
  }
  RigDialog* rig() { return host.rig_dialog(); }
  QString Cell(int row, int column) { return rig()->table()->item(row, column)->text(); }
  std::vector<HistoryRecord> Records() { return history.Read()->records; }

  static void WhenModalOpens(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && qobject_cast<RigDialog*>(modal) == nullptr) {
        poll->stop();
        poll->deleteLater();
        act(modal);
      }
    });
    poll->start(0);
  }

  VirtualClock clock;
  SimulatedLine line;
  GatedDriver gated;
  SimulatedLineSet line_set;
  QTemporaryDir dir;
  UpdateHistory history;
  RunSettings settings;
  StationEvents events;
  WindowStation station;
  std::ostringstream diag;
  QtWindowHost host;
  UpdaterWindow window;
  TickPacer pacer;
};

}  // namespace

class RigDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void CtrlRThenAltUUpdatesEveryFixtureAndRecordsEach() {
    RigBench bench;
    QVERIFY(bench.window.link != nullptr);
    QVERIFY(bench.OpenRig());
    RigDialog& rig = *bench.rig();
    QCOMPARE(rig.windowTitle(), QStringLiteral("Quillmont - Rig"));
    // The window lent its line and its commands are locked while the dialog is open.
    QVERIFY(bench.window.link == nullptr);
    QVERIFY(!bench.host.dialog().Control(kUpdateButton)->isEnabled());
    QVERIFY(!bench.host.dialog().Control(kRigButton)->isEnabled());
    QCOMPARE(rig.count_text(), QStringLiteral("3 fixtures found on the line."));
    // The fixture in its bootloader first: its bootloader's label, no model.
    QCOMPARE(bench.Cell(0, RigDialog::kUidColumn), QStringLiteral("4F 4C 12 34 56 03"));
    QCOMPARE(bench.Cell(0, RigDialog::kBootloaderColumn), QStringLiteral("yes"));
    QCOMPARE(bench.Cell(0, RigDialog::kVersionColumn),
             QStringLiteral("Quillmont Sim Bootloader 1.0"));

    Snapshot(rig, "rig-discovered");
    // The filter by model hides the bootloader, which tells none.
    auto* filter = rig.findChild<QComboBox*>(QStringLiteral("RigModelFilter"));
    QCOMPARE(filter->count(), 3);  // all, "(not told)" and the one model
    filter->setCurrentText(QStringLiteral("Quillmont Sim Spot"));
    QVERIFY(rig.table()->isRowHidden(0) && !rig.table()->isRowHidden(1));
    filter->setCurrentIndex(0);
    QVERIFY(!rig.table()->isRowHidden(0));

    bench.UpdateAll();
    QVERIFY(bench.RigEnds());
    // Each row tells the version its new application answered with.
    for (int row = 0; row < 3; ++row) {
      QCOMPARE(bench.Cell(row, RigDialog::kResultColumn), QStringLiteral("success"));
      QCOMPARE(bench.Cell(row, RigDialog::kVersionColumn),
               QStringLiteral("Quillmont demo app 1.1"));
    }
    QCOMPARE(rig.summary_text(), QStringLiteral("3 of 3 fixtures updated."));
    Snapshot(rig, "rig-updated");
    // Each update is in the history, in the order of the run, with the program's name.
    const std::vector<HistoryRecord> records = bench.Records();
    QCOMPARE(records.size(), size_t{3});
    for (size_t i = 0; i < records.size(); ++i) {
      QCOMPARE(QString::fromStdString(records[i].uid), bench.Cell(int(i), RigDialog::kUidColumn));
      QCOMPARE(records[i].result + " " + records[i].program, std::string("success quillmont"));
    }

    // Closing gives the line back: the window opens its adapter again on its next ticks.
    QTest::keyClick(&rig, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&bench] { return bench.rig() == nullptr; }));
    QVERIFY(bench.host.dialog().Control(kRigButton)->isEnabled());
    bench.pacer.RunTicks(2);
    QVERIFY(bench.window.link != nullptr);
  }

  // Abort and the close box ask (No by default); Yes stops the fixture under way as the station
  // stops an update, and the fixtures after it are not started and not touched.
  void AbortAsksAndLeavesTheRestNotStarted() {
    RigBench bench;
    QVERIFY(bench.OpenRig());
    RigDialog& rig = *bench.rig();
    bench.gated.Hold();
    bench.UpdateAll();
    QVERIFY(QTest::qWaitFor([&bench] { return bench.gated.holding(); }, 20000));
    QVERIFY(QTest::qWaitFor([&bench] {
      return bench.Cell(0, RigDialog::kResultColumn).startsWith(QStringLiteral("updating"));
    }));
    QCOMPARE(bench.Cell(2, RigDialog::kResultColumn), QStringLiteral("waiting"));
    const auto answer = [](QMessageBox::StandardButton button, QString& asked) {
      RigBench::WhenModalOpens([button, &asked](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        asked = box->text();
        box->button(button)->click();
      });
    };
    QString asked;
    answer(QMessageBox::No, asked);
    rig.close();
    QCOMPARE(asked, QLatin1String(kAbortRigQuestion));
    QVERIFY(rig.isVisible());
    QVERIFY(!rig.worker().stop_requested());
    asked.clear();
    answer(QMessageBox::Yes, asked);
    QTest::mouseClick(rig.findChild<QPushButton*>(QStringLiteral("RigAbortButton")),
                      Qt::LeftButton);
    QCOMPARE(asked, QLatin1String(kAbortRigQuestion));
    QVERIFY(rig.worker().stop_requested());
    bench.gated.Release();
    QVERIFY(bench.RigEnds());

    Snapshot(rig, "rig-aborted");
    QCOMPARE(bench.Cell(0, RigDialog::kResultColumn), QStringLiteral("aborted"));
    for (int row = 1; row < 3; ++row)
      QCOMPARE(bench.Cell(row, RigDialog::kResultColumn), QStringLiteral("not started"));
    QCOMPARE(rig.summary_text(),
             QStringLiteral("0 of 3 fixtures updated, 1 failed, 2 not started: the update was "
                            "aborted."));
    const std::vector<HistoryRecord> records = bench.Records();
    QCOMPARE(records.size(), size_t{1});
    QCOMPARE(records[0].uid, std::string("4F 4C 12 34 56 03"));
    QCOMPARE(records[0].result, std::string("aborted"));
    for (int i = 0; i < 2; ++i)
      QCOMPARE(bench.line.fixture(0, i).ApplicationLabel(), std::string("Quillmont demo app 1.0"));
  }
};

QTEST_MAIN(RigDialogTest)
#include "rig_dialog_test.moc"
