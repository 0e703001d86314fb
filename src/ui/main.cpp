// SPDX-License-Identifier: Apache-2.0
// quillmont [--simulate] [--port PATH]... [--driver NAME] [--pace event|tick] [--log FILE]
// [--no-history]: the desktop window.
//
// The adapter comes from the same driver choice as quillmont-cli: the serial backend by default
// (every USB serial adapter, or exactly the --port paths), the vendor's D2XX library with
// --driver d2xx, and the built-in simulated fixture on the real clock with --simulate. Updates run
// through the station and are recorded in the user's update history (unless --no-history or the
// settings file's "history = off"). Replies are taken as they come (the event pacing) unless
// --pace tick or the settings file's "pace = tick" keeps the 10 ms tick alone. --log FILE appends
// every line of the log pane to FILE.
// Hidden for the screenshot script: --screenshot PATH [--screenshot-delay MS] saves the window
// to a PNG file MS milliseconds after it is shown and then ends it. Hidden for the pace benchmark:
// --bench-update FILE updates the first fixture found with FILE, prints the time from the first
// erase request to the start request and the outcome, and ends the window.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/updater_app.h"
#include "drivers/driver_choice.h"
#include "station/history.h"
#include "station/station_settings.h"
#include "station/support_log.h"
#include "station/user_folders.h"
#include "station/window_station.h"
#include "ui/app_icon.h"
#include "ui/qt_window_host.h"

namespace {

struct Options {
  bool simulate = false;
  bool no_history = false;
  QStringList ports;
  QString driver;
  QString sim_adapter;
  uint32_t widget_baud = 0;
  bool rts_direction = false;
  QString pace;
  QString log;
  QString screenshot;
  QString bench_update;
  int screenshot_delay_ms = 1500;
};

bool ParseOptions(const QApplication& app, Options& options) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Updates the firmware of an RDM fixture through a USB-to-RS485 adapter."));
  parser.addHelpOption();
  const QCommandLineOption simulate(QStringLiteral("simulate"),
                                    QStringLiteral("Run against the built-in simulated fixture."));
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Serial adapter device (may be repeated)."),
                                QStringLiteral("PATH"));
  const QCommandLineOption driver(QStringLiteral("driver"),
                                  QStringLiteral("Adapter backend: serial, d2xx, usbpro or sim."),
                                  QStringLiteral("NAME"));
  const QCommandLineOption no_history(QStringLiteral("no-history"),
                                      QStringLiteral("Record nothing in the update history."));
  const QCommandLineOption sim_adapter(
      QStringLiteral("sim-adapter"),
      QStringLiteral("With --simulate, the adapter the simulated line stands behind: ftdi, "
                     "ftdi-echo, ch340, pl2303, widget or widget-clone."),
      QStringLiteral("NAME"));
  const QCommandLineOption widget_baud(
      QStringLiteral("widget-baud"),
      QStringLiteral("With --driver usbpro, the rate of a widget clone's own USB serial port."),
      QStringLiteral("BAUD"));
  const QCommandLineOption rts_direction(
      QStringLiteral("rts-direction"),
      QStringLiteral("The adapter's driver enable is switched by RTS."));
  const QCommandLineOption pace(
      QStringLiteral("pace"),
      QStringLiteral("event (replies taken as they come, the default) or tick (the 10 ms tick "
                     "alone)."),
      QStringLiteral("MODE"));
  const QCommandLineOption log(QStringLiteral("log"),
                               QStringLiteral("Append every line of the log pane to FILE."),
                               QStringLiteral("FILE"));
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("PNG file."),
                                QStringLiteral("PATH"));
  QCommandLineOption delay(QStringLiteral("screenshot-delay"), QStringLiteral("Milliseconds."),
                           QStringLiteral("MS"));
  QCommandLineOption bench_update(QStringLiteral("bench-update"), QStringLiteral("Firmware file."),
                                  QStringLiteral("FILE"));
  screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
  delay.setFlags(QCommandLineOption::HiddenFromHelp);
  bench_update.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({simulate, port, driver, no_history, sim_adapter, widget_baud, rts_direction,
                     pace, log, screenshot, delay, bench_update});
  parser.process(app);

  options.simulate = parser.isSet(simulate);
  options.no_history = parser.isSet(no_history);
  options.ports = parser.values(port);
  options.driver = parser.value(driver);
  options.sim_adapter = parser.value(sim_adapter);
  options.rts_direction = parser.isSet(rts_direction);
  if (parser.isSet(widget_baud)) {
    bool ok = false;
    const uint32_t baud = parser.value(widget_baud).toUInt(&ok);
    if (!ok || baud == 0) {
      std::fprintf(stderr, "quillmont: --widget-baud wants a rate in baud\n");
      return false;
    }
    options.widget_baud = baud;
  }
  options.pace = parser.value(pace);
  options.log = parser.value(log);
  if (parser.isSet(pace) && options.pace != QLatin1String("event") &&
      options.pace != QLatin1String("tick")) {
    std::fprintf(stderr, "quillmont: --pace wants event or tick\n");
    return false;
  }
  if (parser.isSet(log) && options.log.isEmpty()) {
    std::fprintf(stderr, "quillmont: --log wants a file\n");
    return false;
  }
  options.screenshot = parser.value(screenshot);
  options.bench_update = parser.value(bench_update);
  if (parser.isSet(delay)) {
    bool ok = false;
    const int ms = parser.value(delay).toInt(&ok);
    if (!ok || ms < 0 || ms > 600000) {
      std::fprintf(stderr, "quillmont: --screenshot-delay wants 0 to 600000 milliseconds\n");
      return false;
    }
    options.screenshot_delay_ms = ms;
  }
  return true;
}

// Saves the window once it has run for the delay, then ends it as Escape would.
void ScheduleScreenshot(quillmont::ui::QtWindowHost& host, const Options& options) {
  if (options.screenshot.isEmpty())
    return;
  QTimer::singleShot(options.screenshot_delay_ms, &host.dialog(),
                     [&host, path = options.screenshot] {
                       if (!host.dialog().grab().save(path, "PNG")) {
                         std::fprintf(stderr, "quillmont: cannot write %s\n", qPrintable(path));
                       }
                       host.dialog().done(quillmont::kResultCancel);
                     });
}

// What the station tells beside the window (a record not written, a settings line not
// understood) goes to standard error: the window's own texts stay as they are. Every line of the
// log pane goes to the support log, when there is one; a log that cannot be written is told once.
class StandardErrorEvents final : public quillmont::StationEvents {
 public:
  StandardErrorEvents(quillmont::SupportLog* log, quillmont::Clock& clock)
      : log_(log), clock_(clock) {}
  // When the update's first erase request and its first start request were logged (0: not yet).
  uint64_t first_erase_micros = 0;
  uint64_t first_start_micros = 0;
  void OnWarning(const std::string& text) override {
    std::fprintf(stderr, "quillmont: %s\n", text.c_str());
  }
  void OnLogLine(int /*adapter*/, const std::string& line, bool /*program_request*/) override {
    if (first_erase_micros == 0 && line.starts_with("Erasing block"))
      first_erase_micros = clock_.NowMicros();
    if (first_start_micros == 0 && line.starts_with("Starting user-program"))
      first_start_micros = clock_.NowMicros();
    if (log_ == nullptr)
      return;
    if (const quillmont::Status written = log_->Append(line); !written) {
      OnWarning(written.error().message);
      log_ = nullptr;
    }
  }

 private:
  quillmont::SupportLog* log_;
  quillmont::Clock& clock_;
};

// --bench-update: once the window knows a fixture, updates it with the file; when the update has
// ended, prints how long it took from the first erase to the start request and ends the window.
void ScheduleBenchUpdate(quillmont::ui::QtWindowHost& host, quillmont::WindowStation& station,
                         const StandardErrorEvents& events, const QString& path) {
  if (path.isEmpty())
    return;
  auto* poll = new QTimer(&host.dialog());
  auto started = std::make_shared<bool>(false);
  QObject::connect(poll, &QTimer::timeout, [&host, &station, &events, path, poll, started] {
    quillmont::UpdaterWindow* window = host.bound_window();
    if (window == nullptr || (!*started && window->device_found == 0))
      return;
    if (!*started) {
      *started = true;
      std::ifstream file(QFile::encodeName(path).toStdString(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
      const auto prepared = station.Prepare(path.toStdString(), bytes);
      if (prepared && window->StartUpdate(path.toStdString(), **prepared))
        return;
      std::fprintf(stderr, "quillmont: the benchmark's update did not start\n");
    } else if (window->job.running()) {
      return;
    }
    poll->stop();
    if (events.first_erase_micros != 0 && events.first_start_micros != 0) {
      std::printf("first erase to start request: %.3f s\n",
                  static_cast<double>(events.first_start_micros - events.first_erase_micros) / 1e6);
    }
    const auto& result = station.last_result();
    std::printf("result: %s\n", result ? quillmont::VerdictName(result->verdict) : "none");
    std::fflush(stdout);
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != &host.dialog())
      modal->close();
    host.dialog().done(quillmont::kResultCancel);
  });
  poll->start(20);
}

// The user's update history, unless recording is off; null then.
std::unique_ptr<quillmont::UpdateHistory> OpenHistory(const Options& options,
                                                      const quillmont::StationSettings& settings,
                                                      quillmont::StationEvents& events) {
  if (options.no_history || !settings.history) {
    return nullptr;
  }
  const quillmont::Result<std::filesystem::path> folder = quillmont::UserDataFolder();
  if (!folder) {
    events.OnWarning("The update history is not kept: " + folder.error().message);
    return nullptr;
  }
  return std::make_unique<quillmont::UpdateHistory>(*folder / quillmont::kHistoryFileName);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(quillmont::ui::AppIcon());
  Options options;
  if (!ParseOptions(app, options))
    return 2;

  quillmont::DriverOptions driver_options;
  driver_options.simulate = options.simulate;
  driver_options.driver = options.driver.toStdString();
  driver_options.sim.adapter = options.sim_adapter.toStdString();
  driver_options.widget_baud = options.widget_baud;
  driver_options.rts_direction = options.rts_direction;
  driver_options.notices = &std::cerr;  // why a port did not open, each reason once
  for (const QString& port : options.ports) {
    driver_options.ports.push_back(port.toStdString());
  }
  quillmont::Result<quillmont::DriverConfig> config = quillmont::ParseDriverOptions(driver_options);
  quillmont::Result<std::unique_ptr<quillmont::DriverSet>> drivers =
      config ? quillmont::MakeDriver(*config)
             : quillmont::Result<std::unique_ptr<quillmont::DriverSet>>(config.error());
  if (!drivers) {
    const std::string& error = drivers.error().message;
    std::fprintf(stderr, "quillmont: %s\n", error.c_str());
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("quillmont"), QString::fromStdString(error),
                    QMessageBox::Ok);
    box.exec();
    return 2;
  }

  std::unique_ptr<quillmont::SupportLog> support_log;
  if (!options.log.isEmpty()) {
    auto opened = quillmont::SupportLog::Open(QFile::encodeName(options.log).toStdString());
    if (!opened) {
      std::fprintf(stderr, "quillmont: %s\n", opened.error().message.c_str());
      return 2;
    }
    support_log = std::move(*opened);
  }
  StandardErrorEvents events(support_log.get(), (*drivers)->clock());
  const quillmont::SettingsReading settings = quillmont::ReadStationSettings();
  for (const std::string& warning : settings.warnings) {
    events.OnWarning(warning);
  }
  const std::unique_ptr<quillmont::UpdateHistory> history =
      OpenHistory(options, settings.settings, events);
  quillmont::Pacing pacing = settings.settings.pace.value_or(quillmont::Pacing::kEvent);
  if (!options.pace.isEmpty())
    pacing = options.pace == QLatin1String("tick") ? quillmont::Pacing::kTick
                                                   : quillmont::Pacing::kEvent;
  quillmont::RunSettings run;
  run.program = "quillmont";
  run.history = history.get();
  quillmont::WindowStation station(**drivers, run, events);
  quillmont::ui::QtWindowHost host;
  host.UseStation(&station);
  host.UseDesktopPacing(pacing);
  ScheduleScreenshot(host, options);
  ScheduleBenchUpdate(host, station, events, options.bench_update);
  quillmont::UpdaterApp().Start(host, (*drivers)->driver(), (*drivers)->clock());
  return 0;
}
