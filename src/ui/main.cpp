// quillmont [--simulate] [--port PATH]... [--driver NAME]: the desktop window.
//
// The adapter comes from the same driver choice as quillmont-cli: the serial backend by default
// (every USB serial adapter, or exactly the --port paths), the vendor's D2XX library with
// --driver d2xx, and the built-in simulated fixture on the real clock with --simulate. Updates run
// through the station and are recorded in the user's update history (unless --no-history or the
// settings file's "history = off").
// Hidden for the screenshot script: --screenshot PATH [--screenshot-delay MS] saves the window
// to a PNG file MS milliseconds after it is shown and then ends it.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/control_ids.h"
#include "app/updater_app.h"
#include "drivers/driver_choice.h"
#include "station/history.h"
#include "station/station_settings.h"
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
  QString screenshot;
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
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("PNG file."),
                                QStringLiteral("PATH"));
  QCommandLineOption delay(QStringLiteral("screenshot-delay"), QStringLiteral("Milliseconds."),
                           QStringLiteral("MS"));
  screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
  delay.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({simulate, port, driver, no_history, sim_adapter, widget_baud, rts_direction,
                     screenshot, delay});
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
  options.screenshot = parser.value(screenshot);
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
// understood) goes to standard error: the window's own texts stay as they are.
class StandardErrorEvents final : public quillmont::StationEvents {
 public:
  void OnWarning(const std::string& text) override {
    std::fprintf(stderr, "quillmont: %s\n", text.c_str());
  }
};

// The user's update history, unless recording is off; null then.
std::unique_ptr<quillmont::UpdateHistory> OpenHistory(const Options& options,
                                                      quillmont::StationEvents& events) {
  const quillmont::SettingsReading settings = quillmont::ReadStationSettings();
  for (const std::string& warning : settings.warnings) {
    events.OnWarning(warning);
  }
  if (options.no_history || !settings.settings.history) {
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

  StandardErrorEvents events;
  const std::unique_ptr<quillmont::UpdateHistory> history = OpenHistory(options, events);
  quillmont::RunSettings run;
  run.program = "quillmont";
  run.history = history.get();
  quillmont::WindowStation station(**drivers, run, events);
  quillmont::ui::QtWindowHost host;
  host.UseStation(&station);
  ScheduleScreenshot(host, options);
  quillmont::UpdaterApp().Start(host, (*drivers)->driver(), (*drivers)->clock());
  return 0;
}
