// SPDX-License-Identifier: Apache-2.0
// The desktop window against the real core: the Qt dialog bound to an UpdaterWindow, with the
// simulated fixture or a scripted adapter on a virtual clock. Ticks are run one by one through a
// TickPacer, except where the real 10 ms timer has to keep ticking inside a modal box.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/control_ids.h"
#include "app/tick_pacer.h"
#include "app/updater_window.h"
#include "app/window_pacer.h"
#include "link/forwarding_driver.h"
#include "sim/simulated_line.h"
#include "station/history.h"
#include "station/window_station.h"
#include "support/scripted_driver.h"
#include "support/simulated_line_set.h"
#include "ui/about_box.h"
#include "ui/eliding_label.h"
#include "ui/qt_window_host.h"
#include "ui/text_field.h"

using namespace quillmont;
using namespace quillmont::ui;
using quillmont::testing::ScriptedDriver;
using quillmont::testing::SimulatedLineSet;

namespace {

// A window bound to the Qt dialog, its settings file in a fresh folder.
struct BoundWindow {
  explicit BoundWindow(D2xxDriver& driver, VirtualClock& clock)
      : clock(clock), window(host.port(), driver, clock, diag), pacer(window, clock) {
    window.settings_path = dir.filePath("quillmont.cfg").toStdString();
    host.Bind(window);
  }
  ~BoundWindow() { host.Unbind(); }

  // OnInit, then the timer is held so that the test runs the ticks itself.
  void InitWithoutTimer() {
    window.OnInit();
    host.qt_port().StopAllTimers();
  }
  QString Text(int id) { return QString::fromStdString(host.port().GetControlText(id)); }
  bool SettingsExist() const { return std::filesystem::exists(window.settings_path); }
  // Ticks 10 ms apart, each as the timer runs it: the core's tick, then the window follows the
  // core. True once `done` holds (tested before each tick).
  bool HostTicksUntil(const std::function<bool()>& done, int max_ticks) {
    for (int i = 0; i < max_ticks && !done(); ++i) {
      clock.AdvanceMicros(10000);
      host.qt_port().RunTimerTick();
    }
    return done();
  }

  VirtualClock& clock;
  QTemporaryDir dir;
  std::ostringstream diag;
  QtWindowHost host;
  UpdaterWindow window;
  TickPacer pacer;
};

// Every frame the window writes, in order.
class WriteRecorder final : public ForwardingDriver {
 public:
  WriteRecorder(D2xxDriver& inner, Clock& clock) : inner_(inner), clock_(clock) {}
  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override {
    const auto* first = static_cast<const uint8_t*>(bytes);
    writes.emplace_back(first, first + count);
    micros.push_back(clock_.NowMicros());
    return inner_.FT_Write(handle, bytes, count, written);
  }
  std::vector<std::vector<uint8_t>> writes;
  std::vector<uint64_t> micros;

 private:
  D2xxDriver& inner() override { return inner_; }
  D2xxDriver& inner_;
  Clock& clock_;
};

// Calls `act` with the modal box once it is open (checked every event-loop turn).
void WhenModalOpens(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      poll->stop();
      poll->deleteLater();
      act(modal);
    }
  });
  poll->start(0);
}

// With QUILLMONT_SHOTS=DIR, under a real X server (QT_QPA_PLATFORM=xcb), saves what the screen
// shows of the window and of its open modal box as DIR/NAME.png. Nothing otherwise.
void Snapshot(QWidget& window, const char* name) {
  const QString dir = qEnvironmentVariable("QUILLMONT_SHOTS");
  if (dir.isEmpty())
    return;
  QTest::qWait(200);  // lets the X server draw what was painted
  QRect area = window.frameGeometry();
  if (QWidget* modal = QApplication::activeModalWidget())
    area |= modal->frameGeometry();
  const QPixmap shot =
      window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  shot.save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

// Answers the next message box or question with `button`, keeping its text.
void AnswerNextBox(QMessageBox::StandardButton button, QString& text,
                   const char* snapshot = nullptr, QWidget* window = nullptr) {
  WhenModalOpens([&text, button, snapshot, window](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box != nullptr);
    text = box->text();
    if (snapshot != nullptr)
      Snapshot(*window, snapshot);
    box->button(button)->click();
  });
}

QString ExampleFile() {
  return QString::fromUtf8(QUILLMONT_SOURCE_DIR) +
         QStringLiteral("/examples/fixture-app-1.1.srec2");
}

const std::vector<int> kLockedDuringUpdate = {
    kDiscoverButton,   kIdentifyButton, kStopIdentifyButton, kRefreshButton,
    kSetAddressButton, kUidEdit,        kDmxAddressEdit,     kBaudCombo};

bool AllEnabled(UpdaterDialog& dialog, const std::vector<int>& ids, bool enabled) {
  return std::all_of(ids.begin(), ids.end(),
                     [&](int id) { return dialog.Control(id)->isEnabled() == enabled; });
}

// The window as the program runs it, on the simulated fixture with `config`: updates through the
// station into a history, the desktop's pacing, the dialog shown, the fixture discovered.
struct DesktopRig {
  explicit DesktopRig(Pacing pacing, const FixtureConfig& config = {})
      : line(clock),
        line_set((line.AddFixture(line.AddAdapter(), config), line), clock),
        recorder(line, clock),
        history(records.filePath("history.jsonl").toStdString()),
        station(line_set, settings, events),
        bound(recorder, clock) {
    settings.history = &history;
    bound.host.UseStation(&station);
    bound.host.UseDesktopPacing(pacing);
    bound.host.Bind(bound.window);
    bound.InitWithoutTimer();
    dialog().show();
    dialog().activateWindow();  // as a window manager does: the focus mark shows
    bound.pacer.RunTicks(12);
  }
  UpdaterDialog& dialog() { return bound.host.dialog(); }
  // Chooses `path` in the Update button's file dialog.
  void ChooseFile(const QString& path) {
    WhenModalOpens([path](QWidget* modal) {
      auto* files = qobject_cast<QFileDialog*>(modal);
      QVERIFY(files != nullptr);
      files->selectFile(path);
      QMetaObject::invokeMethod(files, "accept");
    });
    QTest::mouseClick(dialog().Control(kUpdateButton), Qt::LeftButton);
  }
  // Runs the update to its end as the desktop's timers do: under the event pacing the line is
  // looked at every millisecond between the ticks.
  void RunUpdate(Pacing pacing) {
    for (int ticks = 0; ticks < 8000 && bound.window.job.running(); ++ticks) {
      for (int look = 0; pacing == Pacing::kEvent && look < 9; ++look) {
        clock.AdvanceMicros(1000);
        bound.host.qt_port().RunLineWatch();
      }
      clock.AdvanceMicros(pacing == Pacing::kEvent ? 1000 : 10000);
      bound.host.qt_port().RunTimerTick();
    }
  }
  // The colour inside the progress bar, as painted.
  QColor BarColour() {
    const Rect& strip = bound.window.progress_rect;
    const QImage shot = dialog().grab().toImage();
    const qreal ratio = shot.devicePixelRatio();  // at a scale other than 100 %
    return shot.pixelColor(static_cast<int>((strip.left + 4) * ratio),
                           static_cast<int>((strip.top + 4) * ratio));
  }

  VirtualClock clock;
  SimulatedLine line;
  SimulatedLineSet line_set;
  WriteRecorder recorder;
  QTemporaryDir records;
  UpdateHistory history;
  RunSettings settings;
  StationEvents events;
  WindowStation station;
  BoundWindow bound;
};

}  // namespace

class DesktopWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void InitialStateAfterOnInit() {
    VirtualClock clock;
    ScriptedDriver driver(clock);
    driver.device_count = 0;
    BoundWindow bound(driver, clock);
    QVERIFY(bound.window.OnInit());
    const QTimer& timer = bound.host.qt_port().timer();
    QVERIFY(timer.isActive());
    QCOMPARE(timer.interval(), kTickPeriodMs);
    QCOMPARE(timer.timerType(), Qt::PreciseTimer);
    bound.host.qt_port().StopAllTimers();

    QComboBox* combo = bound.host.dialog().Combo(kBaudCombo);
    QCOMPARE(combo->count(), 14);
    QCOMPARE(combo->itemText(0), QStringLiteral("150"));
    QCOMPARE(combo->itemText(13), QStringLiteral("1000000"));
    QCOMPARE(combo->currentIndex(), 11);
    QCOMPARE(combo->currentText(), QStringLiteral("250000"));
    QCOMPARE(bound.Text(kUidEdit), QStringLiteral("4F 4C 00 00 00 00"));
    QCOMPARE(bound.Text(kDmxAddressEdit), QStringLiteral("0"));
    QCOMPARE(bound.Text(kStatusLine), QStringLiteral("Not Connected"));
    QCOMPARE(bound.Text(kSubDeviceLabel), QStringLiteral("0"));
    QCOMPARE(bound.window.manual_uid, 0);

    // The progress strip is the 30 pixels above the log pane.
    const QRect log = bound.host.dialog().Control(kLogPane)->geometry();
    QCOMPARE(bound.window.progress_rect.left, log.left());
    QCOMPARE(bound.window.progress_rect.top, log.top() - 30);
    QCOMPARE(bound.window.progress_rect.right, log.left() + log.width());
    QCOMPARE(bound.window.progress_rect.bottom, log.top() + log.height());
  }

  void DiscoveryFillsTheWindowAndIsNotAnOperatorEdit() {
    VirtualClock clock;
    SimulatedLine line(clock);
    line.AddFixture(line.AddAdapter());
    BoundWindow bound(line, clock);
    bound.InitWithoutTimer();
    UpdaterDialog& dialog = bound.host.dialog();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(bound.window.manual_uid, 0);  // showing and laying out the fields is no edit

    bound.pacer.RunTicks(1);
    QCOMPARE(bound.Text(kStatusLine), QStringLiteral("Connected"));
    bound.pacer.RunTicks(5);
    QCOMPARE(bound.Text(kStatusLine),
             QStringLiteral("Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78"));
    QCOMPARE(dialog.Field(kUidEdit)->toPlainText(), QStringLiteral("4F 4C 12 34 56 78"));
    bound.pacer.RunTicks(6);
    QCOMPARE(bound.Text(kModelLabel), QStringLiteral("Quillmont Sim Spot"));
    QCOMPARE(bound.Text(kVersionLabel), QStringLiteral("Quillmont demo app 1.0"));
    QCOMPARE(dialog.Field(kDmxAddressEdit)->toPlainText(), QStringLiteral("1"));
    QVERIFY(bound.Text(kFrameView).startsWith(QStringLiteral("21 00F0 Len 2\r\nCC 01 1A ")));
    QCOMPARE(bound.window.manual_uid, 0);
    QCOMPARE(bound.window.device_found, 1);
  }

  void TypedUidIsTakenByIdentify() {
    VirtualClock clock;
    SimulatedLine line(clock);
    line.AddFixture(line.AddAdapter());
    BoundWindow bound(line, clock);
    bound.InitWithoutTimer();
    bound.pacer.RunTicks(1);  // the link is open, no device known yet
    UpdaterDialog& dialog = bound.host.dialog();

    TextField* uid = dialog.Field(kUidEdit);
    uid->selectAll();
    QTest::keyClicks(uid, "4f 4c 12 34 56 78");
    QCOMPARE(bound.window.manual_uid, 1);
    bound.pacer.RunTicks(10);  // a typed UID holds discovery back
    QCOMPARE(bound.window.device_found, 0);
    QCOMPARE(bound.Text(kStatusLine), QStringLiteral("Connected"));

    QTest::mouseClick(dialog.Control(kIdentifyButton), Qt::LeftButton);
    QCOMPARE(bound.Text(kStatusLine), QStringLiteral("Manually Connected to Rdm ID"));
    QCOMPARE(uid->toPlainText(), QStringLiteral("4F 4C 12 34 56 78"));  // the core's rewrite
    QCOMPARE(bound.window.manual_uid, 0);
    QCOMPARE(bound.window.device_found, 1);
    const RdmUid expected{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
    QVERIFY(bound.window.target_uid == expected);
    bound.pacer.RunTicks(2);
    QVERIFY(line.fixture(0).identifying());
    QTest::mouseClick(dialog.Control(kStopIdentifyButton), Qt::LeftButton);
    bound.pacer.RunTicks(2);
    QVERIFY(!line.fixture(0).identifying());
  }

  void ButtonsSpinAndBaudReachTheirHandlers() {
    VirtualClock clock;
    SimulatedLine line(clock);
    line.AddFixture(line.AddAdapter());
    BoundWindow bound(line, clock);
    bound.InitWithoutTimer();
    bound.pacer.RunTicks(12);
    UpdaterDialog& dialog = bound.host.dialog();
    QCOMPARE(bound.window.device_found, 1);

    // Set: the typed address goes to the fixture.
    TextField* address = dialog.Field(kDmxAddressEdit);
    address->selectAll();
    QTest::keyClicks(address, "42");
    QTest::mouseClick(dialog.Control(kSetAddressButton), Qt::LeftButton);
    bound.pacer.RunTicks(2);
    QCOMPARE(line.fixture(0).dmx_start_address(), 42);

    // Refresh asks for the description chain again.
    dialog.findChild<QLabel*>("ModelLabel")->clear();
    QTest::mouseClick(dialog.Control(kRefreshButton), Qt::LeftButton);
    bound.pacer.RunTicks(3);
    QCOMPARE(bound.Text(kModelLabel), QStringLiteral("Quillmont Sim Spot"));

    // Discover Node forgets the device and starts the schedule again.
    QTest::mouseClick(dialog.Control(kDiscoverButton), Qt::LeftButton);
    QCOMPARE(bound.window.device_found, 0);
    QCOMPARE(bound.window.countdown, 5);

    // The spin: up raises, down lowers, never below 0.
    QWidget* spin = dialog.Control(kSubDeviceSpin);
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Up);
    QCOMPARE(bound.Text(kSubDeviceLabel), QStringLiteral("2"));
    for (int i = 0; i < 3; ++i)
      QTest::keyClick(spin, Qt::Key_Down);
    QCOMPARE(bound.Text(kSubDeviceLabel), QStringLiteral("0"));
    QCOMPARE(bound.window.subdevice_number, 0);

    // Choosing a baud rate in the list applies it to the link and saves it.
    QComboBox* combo = dialog.Combo(kBaudCombo);
    QVERIFY(!bound.SettingsExist());
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F4);
    QTest::keyClick(combo->view(), Qt::Key_Down);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    QCOMPARE(combo->currentText(), QStringLiteral("500000"));
    QCOMPARE(std::string(bound.window.baud_text.data()), std::string("500000"));
    QCOMPARE(line.baud(0), 500000u);
    QVERIFY(bound.SettingsExist());
  }

  void RefusedInputsShowWhyAndSendNothing() {
    VirtualClock clock;
    SimulatedLine line(clock);
    line.AddFixture(line.AddAdapter());
    // As the program runs it: the updates go through the station, which records them.
    SimulatedLineSet line_set(line, clock);
    QTemporaryDir records;
    UpdateHistory history(records.filePath("history.jsonl").toStdString());
    RunSettings settings;
    settings.history = &history;
    StationEvents events;
    WindowStation station(line_set, settings, events);
    BoundWindow bound(line, clock);
    bound.host.UseStation(&station);
    bound.host.Bind(bound.window);
    bound.InitWithoutTimer();
    UpdaterDialog& dialog = bound.host.dialog();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    bound.pacer.RunTicks(12);
    QCOMPARE(bound.window.device_found, 1);
    Snapshot(dialog, "idle");
    const QString status = bound.Text(kStatusLine);
    const RdmUid discovered = bound.window.target_uid;

    // Set with an address that would wrap to 2: a box naming the range.
    TextField* address = dialog.Field(kDmxAddressEdit);
    address->selectAll();
    QTest::keyClicks(address, "65538");
    QString said;
    AnswerNextBox(QMessageBox::Ok, said, "refused-set", &dialog);
    QTest::mouseClick(dialog.Control(kSetAddressButton), Qt::LeftButton);
    QCOMPARE(said, QLatin1String(kDmxAddressRangeMessage));

    // A UID that does not parse: the discovered target and the status line stay.
    TextField* uid = dialog.Field(kUidEdit);
    uid->selectAll();
    QTest::keyClicks(uid, "01 23 45 67 89");
    AnswerNextBox(QMessageBox::Ok, said);
    QTest::mouseClick(dialog.Control(kIdentifyButton), Qt::LeftButton);
    QCOMPARE(said, QStringLiteral("Invalid RDM ID."));
    QVERIFY(bound.window.target_uid == discovered);
    QCOMPARE(bound.Text(kStatusLine), status);
    bound.pacer.RunTicks(3);
    QCOMPARE(line.fixture(0).dmx_start_address(), 1);
    QVERIFY(!line.fixture(0).identifying());

    // The closed baud list takes no arrow, page key, typing, Tab or wheel as a choice.
    QComboBox* combo = dialog.Combo(kBaudCombo);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_PageUp);
    QTest::keyClicks(combo, "2");
    QTest::keyClick(combo, Qt::Key_Tab);
    QWheelEvent wheel(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo, &wheel);
    QCOMPARE(combo->currentText(), QStringLiteral("250000"));
    QCOMPARE(std::string(bound.window.baud_text.data()), std::string("250000"));
    QCOMPARE(line.baud(0), 250000u);
    QVERIFY(!bound.SettingsExist());
  }

  void AnUpdateLocksTheCommandsUntilItEndsAndEveryWayOutAsks() {
    VirtualClock clock;
    SimulatedLine line(clock);
    line.AddFixture(line.AddAdapter());
    // As the program runs it: the updates go through the station, which records them.
    SimulatedLineSet line_set(line, clock);
    QTemporaryDir records;
    UpdateHistory history(records.filePath("history.jsonl").toStdString());
    RunSettings settings;
    settings.history = &history;
    StationEvents events;
    WindowStation station(line_set, settings, events);
    BoundWindow bound(line, clock);
    bound.host.UseStation(&station);
    bound.host.Bind(bound.window);
    bound.InitWithoutTimer();
    UpdaterDialog& dialog = bound.host.dialog();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    bound.pacer.RunTicks(12);
    const QString firmware =
        QString::fromUtf8(QUILLMONT_SOURCE_DIR) + QStringLiteral("/examples/fixture-app-1.1.srec2");
    const auto start_update = [&] {
      WhenModalOpens([&](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        QVERIFY(files != nullptr);
        files->selectFile(firmware);
        QMetaObject::invokeMethod(files, "accept");
      });
      QTest::mouseClick(dialog.Control(kUpdateButton), Qt::LeftButton);
    };

    start_update();
    QVERIFY(bound.window.job.running());
    QVERIFY(AllEnabled(dialog, kLockedDuringUpdate, false));
    QVERIFY(dialog.Control(kExitButton)->isEnabled());
    QVERIFY(dialog.Control(kUpdateButton)->isEnabled());

    // A long frame is listed without its header line by the core; the view shows the line.
    QVERIFY(bound.HostTicksUntil([&] { return bound.Text(kFrameView).size() >= 80 * 3; }, 3000));
    const QString shown = dialog.findChild<QLabel*>(QStringLiteral("FrameView"))->text();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^[0-9A-F]{2} CA55 Len \\d+\n")).match(shown).hasMatch(),
        qPrintable(shown));
    QVERIFY(shown.endsWith(bound.Text(kFrameView)));
    Snapshot(dialog, "updating");

    // Return (on the default Exit), Escape and the close box ask; No is the default answer.
    dialog.Field(kLogPane)->setFocus();
    QString asked;
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      asked = box->text();
      QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
      Snapshot(dialog, "exit-question");
      QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(asked, QLatin1String(kAbortAndExitQuestion));
    asked.clear();
    AnswerNextBox(QMessageBox::No, asked);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(asked, QLatin1String(kAbortAndExitQuestion));
    asked.clear();
    AnswerNextBox(QMessageBox::No, asked);
    dialog.close();
    QCOMPARE(asked, QLatin1String(kAbortAndExitQuestion));
    QVERIFY(dialog.isVisible());
    QVERIFY(bound.window.job.running());
    QVERIFY(AllEnabled(dialog, kLockedDuringUpdate, false));

    // The update ends on a tick: the commands come back, and the station has its result.
    QVERIFY(bound.HostTicksUntil([&] { return !bound.window.job.running(); }, 5000));
    QVERIFY(AllEnabled(dialog, kLockedDuringUpdate, true));
    QVERIFY(station.last_result());
    QCOMPARE(station.last_result()->verdict, FlashVerdict::kSuccess);
    QCOMPARE(history.Read()->records.size(), size_t{1});

    // Yes to the close box's question aborts the update and ends the window.
    start_update();
    QVERIFY(AllEnabled(dialog, kLockedDuringUpdate, false));
    AnswerNextBox(QMessageBox::Yes, asked);
    dialog.close();
    QVERIFY(!bound.window.job.running());
    QVERIFY(bound.window.log_text.find("Operation Aborted by User.") != std::string::npos);
    QVERIFY(!dialog.isVisible());
    QVERIFY(AllEnabled(dialog, kLockedDuringUpdate, true));
    QCOMPARE(history.Read()->records.back().result, std::string("aborted"));
  }

  // A fixture that acknowledges the start but stays in its bootloader (it does not know the
  // file's signature): no success line, the failure's colour, the status, one box, the history.
  void AFixtureThatStaysInItsBootloaderIsNotCheered() {
    FixtureConfig config;
    config.signature_value = {0x12, 0x34, 0x56, 0x78};
    DesktopRig rig(Pacing::kTick, config);
    rig.ChooseFile(ExampleFile());
    QVERIFY(rig.bound.window.job.running());
    QString box;
    AnswerNextBox(QMessageBox::Ok, box, "end-stays-in-bootloader", &rig.dialog());
    rig.RunUpdate(Pacing::kTick);
    QVERIFY(rig.bound.HostTicksUntil([&] { return !box.isEmpty(); }, 5));
    const std::string& log = rig.bound.window.log_text;
    QCOMPARE(log.find("VERY WELL DONE"), std::string::npos);
    QVERIFY(log.find("acknowledged the start") != std::string::npos);
    QCOMPARE(rig.bound.Text(kStatusLine),
             QStringLiteral("Update failed: the fixture is still in its bootloader."));
    QVERIFY2(box.startsWith(QStringLiteral("The fixture is still in its bootloader")),
             qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("\n\nRun the update again.")), qPrintable(box));
    QCOMPARE(rig.BarColour(), QColor(208, 0, 0));
    QVERIFY(rig.dialog().progress_text().startsWith(QStringLiteral("Not updated: 100 %")));
    QCOMPARE(rig.history.Read()->records.back().result, std::string("stays in bootloader"));
  }

  // A fixture found in its bootloader tells no model: after its silence the window asks where it
  // runs and shows it as in its bootloader, with the bootloader's version label.
  void AFixtureFoundInItsBootloaderIsShownAsSuch() {
    FixtureConfig config;
    config.start_in_bootloader = true;
    DesktopRig rig(Pacing::kTick, config);
    QVERIFY(
        rig.bound.HostTicksUntil([&] { return !rig.bound.Text(kVersionLabel).isEmpty(); }, 300));
    QCOMPARE(rig.bound.Text(kModelLabel), QStringLiteral("(in its bootloader)"));
    QCOMPARE(rig.bound.Text(kVersionLabel), QStringLiteral("Quillmont Sim Bootloader 1.0"));
    const std::string& log = rig.bound.window.log_text;
    const size_t silence =
        log.find("No answer from 4F 4C 12 34 56 78 to GET DEVICE_MODEL_DESCRIPTION.");
    const size_t told = log.find("The fixture runs its bootloader, which tells no model.");
    QVERIFY2(silence != std::string::npos && told != std::string::npos && silence < told,
             log.c_str());
  }

  // After the update starts the focus is off the button that now aborts. Enter and Space on it
  // ask (No by default); Yes aborts with the step and the fixture's state told. A click aborts
  // at once.
  void EnterOnTheAbortButtonAsks() {
    DesktopRig rig(Pacing::kTick);
    rig.ChooseFile(ExampleFile());
    QVERIFY(rig.bound.window.job.running());
    QCOMPARE(rig.dialog().focusWidget(), rig.dialog().Control(kLogPane));
    // Over the bar: the percent, the bytes and the time left. The update's log begins with a line
    // that names the file and the time.
    QVERIFY(rig.bound.HostTicksUntil(
        [&] { return rig.dialog().progress_text().endsWith(QStringLiteral(" left")); }, 3000));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ %  \\d+ / 11972 bytes  0:\\d\\d left$"))
                 .match(rig.dialog().progress_text())
                 .hasMatch(),
             qPrintable(rig.dialog().progress_text()));
    QVERIFY(
        QRegularExpression(QStringLiteral("(^|\r\n)--- \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "
                                          "fixture-app-1\\.1\\.srec2 ---\r\nReading "))
            .match(rig.bound.Text(kLogPane))
            .hasMatch());
    Snapshot(rig.dialog(), "progress");
    QWidget* abort = rig.dialog().Control(kUpdateButton);
    QCOMPARE(qobject_cast<QPushButton*>(abort)->text(), QStringLiteral("&Abort Operation"));
    abort->setFocus();
    QString asked;
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      asked = box->text();
      QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
      Snapshot(rig.dialog(), "abort-question");
      QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::keyClick(abort, Qt::Key_Return);
    QCOMPARE(asked, QLatin1String(kAbortUpdateQuestion));
    QVERIFY(rig.bound.window.job.running());

    asked.clear();
    AnswerNextBox(QMessageBox::Yes, asked);
    QTest::keyClick(abort, Qt::Key_Space);
    QCOMPARE(asked, QLatin1String(kAbortUpdateQuestion));
    QVERIFY(!rig.bound.window.job.running());
    QString box;
    AnswerNextBox(QMessageBox::Ok, box);
    QVERIFY(rig.bound.HostTicksUntil([&] { return !box.isEmpty(); }, 5));
    QVERIFY2(box.startsWith(QStringLiteral("The operator aborted the update while programming $")),
             qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("left in its bootloader with the new firmware partly "
                                         "written")),
             qPrintable(box));
    QCOMPARE(rig.bound.Text(kStatusLine), QStringLiteral("Update aborted by the operator."));

    rig.ChooseFile(ExampleFile());
    QVERIFY(rig.bound.window.job.running());
    QVERIFY(rig.dialog().progress_text().isEmpty());  // the last end's bar is gone
    QTest::mouseClick(abort, Qt::LeftButton);
    QVERIFY(!rig.bound.window.job.running());
  }

  // A file without an application signature asks before anything is sent; No is the default.
  void AFileWithoutSignatureAsks() {
    DesktopRig rig(Pacing::kTick);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("unsigned.srec2"));
    std::ofstream(path.toStdString()) << "S20800400001020304AD\nS804004000BB\n";
    const size_t writes = rig.recorder.writes.size();
    // The question opens inside the click, once the file dialog has closed.
    QString asked;
    bool no_by_default = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr)
        return;
      poll->stop();
      poll->deleteLater();
      asked = box->text();
      no_by_default = box->defaultButton() == box->button(QMessageBox::No);
      Snapshot(rig.dialog(), "unsigned-question");
      QTest::keyClick(box, Qt::Key_Return);
    });
    poll->start(0);
    rig.ChooseFile(path);
    QVERIFY(!asked.isEmpty());
    QVERIFY(no_by_default);
    QVERIFY2(asked.startsWith(QLatin1String(kNoSignatureWarning)), qPrintable(asked));
    QVERIFY(asked.endsWith(QLatin1String(kFlashAnywayQuestion)));
    QVERIFY(!rig.bound.window.job.running());
    QVERIFY(rig.bound.window.log_text.ends_with("Not flashed.\r\n"));
    QCOMPARE(rig.recorder.writes.size(), writes);
  }

  // The event pacing sends the very bytes of the tick pacing, in the same order, and ends the
  // update in less time; both are told as the success they are, with the new version.
  void EventPacingSendsTheSameBytesAsTickPacing() {
    std::vector<std::vector<uint8_t>> sent[2];
    uint64_t took[2] = {};
    for (const Pacing pacing : {Pacing::kTick, Pacing::kEvent}) {
      DesktopRig rig(pacing);
      QCOMPARE(rig.bound.window.receive_between_ticks, pacing == Pacing::kEvent);
      const size_t before = rig.recorder.writes.size();
      rig.ChooseFile(ExampleFile());
      QCOMPARE(rig.bound.host.qt_port().line_watch_timer().isActive(), pacing == Pacing::kEvent);
      rig.bound.host.qt_port().StopAllTimers();  // the test runs them
      const int index = pacing == Pacing::kEvent ? 1 : 0;
      const uint64_t start = rig.clock.NowMicros();
      rig.RunUpdate(pacing);
      took[index] = rig.clock.NowMicros() - start;
      sent[index].assign(rig.recorder.writes.begin() + static_cast<std::ptrdiff_t>(before),
                         rig.recorder.writes.end());
      QVERIFY(rig.bound.window.log_text.find("\r\n VERY WELL DONE !\r\n") != std::string::npos);
      QCOMPARE(rig.bound.Text(kStatusLine),
               QStringLiteral("Updated: the fixture answers from its new application."));
      QCOMPARE(rig.BarColour(), QColor(0, 255, 0));
      QCOMPARE(rig.history.Read()->records.back().version_after,
               std::string("Quillmont demo app 1.1"));
      Snapshot(rig.dialog(), pacing == Pacing::kEvent ? "end-success" : "end-success-tick");
    }
    QVERIFY2(sent[0].size() > 60, qPrintable(QString::number(sent[0].size())));
    QVERIFY(sent[0] == sent[1]);
    // Counted on the virtual clock: event pacing takes at most four fifths of the tick's time.
    QVERIFY2(took[1] * 5 < took[0] * 4,
             qPrintable(QStringLiteral("%1 %2").arg(took[0]).arg(took[1])));
  }

  void LongLabelsAreElidedWithTheWholeTextInATooltip() {
    VirtualClock clock;
    ScriptedDriver driver(clock);
    BoundWindow bound(driver, clock);
    // The bootloader's label fits whole; a longer one is elided.
    bound.host.port().SetControlText(kVersionLabel, "Quillmont Sim Bootloader 1.0");
    auto* shown = bound.host.dialog().findChild<ElidingLabel*>(QStringLiteral("VersionLabel"));
    QCOMPARE(shown->ShownText(), QStringLiteral("Quillmont Sim Bootloader 1.0"));
    const std::string version = "Quillmont Sim Bootloader 1.0 (built for the long-range spot)";
    bound.host.port().SetControlText(kVersionLabel, version);
    auto* label = bound.host.dialog().findChild<ElidingLabel*>(QStringLiteral("VersionLabel"));
    QVERIFY(label != nullptr);
    QCOMPARE(bound.Text(kVersionLabel), QString::fromStdString(version));
    QCOMPARE(label->toolTip(), QString::fromStdString(version));
    QVERIFY(label->ShownText().endsWith(QChar(0x2026)));
    bound.host.dialog().show();
    QVERIFY(QTest::qWaitForWindowExposed(&bound.host.dialog()));
    Snapshot(bound.host.dialog(), "long-version");
    bound.host.port().SetControlText(kVersionLabel, "1.0");
    QCOMPARE(label->ShownText(), QStringLiteral("1.0"));
    QVERIFY(label->toolTip().isEmpty());
  }

  void CommandWithoutDeviceShowsItsMessageWhileTicksGoOn() {
    VirtualClock clock;
    ScriptedDriver driver(clock);
    driver.device_count = 0;
    BoundWindow bound(driver, clock);
    bound.window.OnInit();  // the real timer runs
    QString text, caption;
    size_t searches_while_open = 0;
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box != nullptr);
      text = box->text();
      caption = box->windowTitle();
      const size_t before = driver.Count(ScriptedDriver::Call::CreateDeviceInfoList);
      QTRY_VERIFY(driver.Count(ScriptedDriver::Call::CreateDeviceInfoList) >= before + 3);
      searches_while_open = driver.Count(ScriptedDriver::Call::CreateDeviceInfoList) - before;
      box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(bound.host.dialog().Control(kIdentifyButton), Qt::LeftButton);
    QCOMPARE(text, QStringLiteral("No Devices Discovered yet"));
    QCOMPARE(caption, QStringLiteral("desktop_window_test"));
    QVERIFY(searches_while_open >= 3);
  }

  void AboutEntryF1AndTheHelpButtonOpenTheBoxWhileTicksGoOn() {
    VirtualClock clock;
    ScriptedDriver driver(clock);
    driver.device_count = 0;
    BoundWindow bound(driver, clock);
    bound.window.OnInit();
    UpdaterDialog& dialog = bound.host.dialog();
    dialog.show();
    const std::vector<std::function<void()>> ways = {
        [&] { dialog.about_action()->trigger(); }, [&] { QTest::keyClick(&dialog, Qt::Key_F1); },
        [&] { QTest::mouseClick(dialog.help_button(), Qt::LeftButton); }};
    for (size_t way = 0; way < ways.size(); ++way) {
      dialog.activateWindow();  // F1 is the window's shortcut: it acts in the active window
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      bool about_open = false;
      WhenModalOpens([&](QWidget* modal) {
        about_open = qobject_cast<AboutBox*>(modal) != nullptr;
        const size_t before = driver.Count(ScriptedDriver::Call::CreateDeviceInfoList);
        QTRY_VERIFY(driver.Count(ScriptedDriver::Call::CreateDeviceInfoList) >= before + 3);
        QTest::keyClick(modal, Qt::Key_Escape);
      });
      ways[way]();
      QVERIFY2(about_open, qPrintable(QStringLiteral("way %1").arg(way)));
    }
  }

  void CloseBoxSavesTheSettingsExitAndEscapeDoNot() {
    VirtualClock clock;
    ScriptedDriver driver(clock);
    driver.device_count = 0;
    {
      BoundWindow bound(driver, clock);
      bound.InitWithoutTimer();
      QTimer::singleShot(
          0, [&] { QTest::mouseClick(bound.host.dialog().Control(kExitButton), Qt::LeftButton); });
      QCOMPARE(bound.host.dialog().exec(), kResultOk);
      QVERIFY(!bound.SettingsExist());
    }
    {
      BoundWindow bound(driver, clock);
      bound.InitWithoutTimer();
      QTimer::singleShot(0, [&] { QTest::keyClick(&bound.host.dialog(), Qt::Key_Escape); });
      QCOMPARE(bound.host.dialog().exec(), kResultCancel);
      QVERIFY(!bound.SettingsExist());
    }
    {
      BoundWindow bound(driver, clock);
      bound.window.OnInit();
      bound.host.dialog().Combo(kBaudCombo)->setCurrentIndex(6);  // shown, not chosen
      QTimer::singleShot(0, [&] { bound.host.dialog().close(); });
      QCOMPARE(bound.host.dialog().exec(), kResultCancel);
      QVERIFY(!bound.host.qt_port().timer().isActive());
      std::ifstream file(bound.window.settings_path, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(file)), {});
      QCOMPARE(bytes.size(), size_t{10});
      QCOMPARE(std::string(bytes.c_str()), std::string("250000"));
    }
  }

  void RunModalBindsRunsAndStopsTheTimerAtTheEnd() {
    VirtualClock clock;
    ScriptedDriver driver(clock);
    driver.device_count = 0;
    std::ostringstream diag;
    QtWindowHost host;
    UpdaterWindow window(host.port(), driver, clock, diag);
    QTemporaryDir dir;
    window.settings_path = dir.filePath("quillmont.cfg").toStdString();
    WhenModalOpens([&](QWidget*) {
      QTRY_VERIFY(driver.Count(ScriptedDriver::Call::CreateDeviceInfoList) >= 2);
      QTest::mouseClick(host.dialog().Control(kExitButton), Qt::LeftButton);
    });
    QCOMPARE(host.RunModal(window), kResultOk);
    QVERIFY(!host.qt_port().timer().isActive());
    const size_t after = driver.Count(ScriptedDriver::Call::CreateDeviceInfoList);
    QTest::qWait(30);
    QCOMPARE(driver.Count(ScriptedDriver::Call::CreateDeviceInfoList), after);
  }
};

QTEST_MAIN(DesktopWindowTest)
#include "desktop_window_test.moc"
