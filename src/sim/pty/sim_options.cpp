// SPDX-License-Identifier: Apache-2.0
#include "sim/pty/sim_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>

#include "rdm/uid.h"

namespace quillmont::sim {
namespace {

uint32_t DeviceId(const RdmUid& uid) {
  return (static_cast<uint32_t>(uid[2]) << 24) | (static_cast<uint32_t>(uid[3]) << 16) |
         (static_cast<uint32_t>(uid[4]) << 8) | uid[5];
}

RdmUid WithDeviceId(RdmUid uid, uint32_t id) {
  uid[2] = static_cast<uint8_t>(id >> 24);
  uid[3] = static_cast<uint8_t>(id >> 16);
  uid[4] = static_cast<uint8_t>(id >> 8);
  uid[5] = static_cast<uint8_t>(id);
  return uid;
}

// Empty when the label can stand in the fixture's flash and in an RDM reply. Its bytes are the
// fixture's to choose (Latin-1, control bytes too): the programs that read it must cope.
std::string CheckLabel(const std::string& label) {
  if (label.empty() || label.size() > kMaxVersionLabel) {
    return "--label: expected 1 to 32 characters";
  }
  return {};
}

}  // namespace

Result<RdmUid> ParseUidText(const std::string& text) {
  const Error bad{"expected 6 hex bytes, e.g. \"4F 4C 12 34 56 78\" or 4F4C:12345678"};
  std::string digits = text;
  const size_t colon = digits.find(':');
  if (colon != std::string::npos) {
    // Only the E1.20 form MMMM:DDDDDDDD.
    if (colon != 4 || digits.size() != 13) {
      return bad;
    }
    digits.erase(colon, 1);
  }
  RdmUid parsed{};
  size_t count = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    const char c = digits[i];
    if (c == ' ') {
      // One blank between two whole bytes.
      if (count % 2 != 0 || count == 0 || count == 12 || digits[i - 1] == ' ') {
        return bad;
      }
      continue;
    }
    const int value = std::isxdigit(static_cast<unsigned char>(c)) == 0 ? -1
                      : c <= '9'                                        ? c - '0'
                                 : (std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    if (value < 0 || count == 12) {
      return bad;
    }
    parsed[count / 2] = static_cast<uint8_t>((parsed[count / 2] << 4) | value);
    ++count;
  }
  if (count != 12) {
    return bad;
  }
  return parsed;
}

int ParseSimArguments(int argc, const char* const* argv, SimOptions& options, std::ostream& out,
                      std::ostream& err) {
  CLI::App app{
      "Serves simulated RDM fixtures on a new pseudo-terminal, for quillmont-cli --port and "
      "quillmont --port.",
      "quillmont-sim"};
  app.set_version_flag("--version", kSimVersion);
  app.footer(
      "The first line on standard output names the pseudo-terminal. Ends on SIGINT or SIGTERM.\n"
      "Exit status: 0 done, 1 failed (no pseudo-terminal, the line failed, the dump could not "
      "be written), 2 bad arguments.");

  std::string uid_text = FormatUid(FixtureConfig{}.uid);
  int fixtures = 1;
  std::string faults;
  bool start_in_bootloader = false;
  std::string label = FixtureConfig{}.application_label;
  app.add_option("--uid", uid_text, "UID of the (first) fixture, e.g. \"4F 4C 12 34 56 78\"")
      ->capture_default_str();
  app.add_option("--fixtures", fixtures, "Fixtures on the line, UIDs counting up (1 to 16)")
      ->capture_default_str();
  app.add_option("--faults", faults,
                 "Fault list: seed=N, drop=N, corrupt=N, drop-rate=P, corrupt-rate=P, "
                 "noise@T[:N], slow=N, reset-in-erase=N, second-fixture, echo, stray=N, "
                 "latency=T, ideal-adapter");
  app.add_flag("--start-in-bootloader", start_in_bootloader,
               "Start in the bootloader, with erased flash");
  app.add_option("--label", label, "The application's software version label")
      ->capture_default_str();
  app.add_option("--dump", options.dump_path,
                 "Write the fixture's flash (256 KiB) to this file at the end; further fixtures "
                 "to PATH.2, PATH.3, ...");
  app.add_option("--link", options.link_path, "Also make a symbolic link here to the terminal");
  app.add_flag("--widget", options.widget,
               "Serve the fixtures behind a simulated DMX USB Pro-style widget, for "
               "--driver usbpro (the line's faults do not apply behind it); the same as "
               "--adapter widget");
  std::string adapter;
  app.add_option("--adapter", adapter,
                 "The adapter the fixtures stand behind: ftdi (default), ftdi-echo, ch340, "
                 "widget or widget-clone (whose host must set 115200 baud: --widget-baud)");
  app.add_flag("--exit-after-start", options.exit_after_start,
               "End once a fixture has started a new application from its bootloader");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    app.exit(e, out, err);
    return kSimExitBadArguments;
  }

  const auto refuse = [&err](const std::string& message) {
    err << "quillmont-sim: " << message << "\n";
    return kSimExitBadArguments;
  };
  const Result<RdmUid> parsed_uid = ParseUidText(uid_text);
  if (!parsed_uid) {
    return refuse("--uid: " + parsed_uid.error().message);
  }
  const RdmUid uid = *parsed_uid;
  if (fixtures < 1 || fixtures > kMaxFixtures) {
    return refuse("--fixtures: expected 1 to 16");
  }
  // The broadcast UIDs (all devices, all of one maker) cannot be a fixture's.
  if ((uid[0] == 0xFF && uid[1] == 0xFF) ||
      DeviceId(uid) > 0xFFFFFFFEu - static_cast<uint32_t>(fixtures - 1)) {
    return refuse("--uid: " + FormatUid(uid) + " is a broadcast address or too close to one");
  }
  if (const std::string problem = CheckLabel(label); !problem.empty()) {
    return refuse(problem);
  }
  if (!adapter.empty()) {
    const Result<AdapterProfile> profile = ParseAdapterProfile(adapter);
    if (!profile) {
      return refuse("--adapter: " + profile.error().message);
    }
    if (*profile == AdapterProfile::kPl2303) {
      return refuse(
          "--adapter pl2303: a pseudo-terminal carries no break, so breaks that never reach "
          "the line cannot be shown on it; use quillmont-cli --simulate --sim-adapter pl2303");
    }
    if (options.widget && !IsWidgetProfile(*profile)) {
      return refuse("--widget and --adapter " + adapter + " contradict each other");
    }
    options.adapter = *profile;
    options.widget = IsWidgetProfile(*profile);
  } else if (options.widget) {
    options.adapter = AdapterProfile::kWidget;
  }
  Result<FaultPlan> plan = ParseFaultList(faults);
  if (!plan) {
    return refuse(plan.error().message);
  }
  options.faults = std::move(*plan);
  if (!options.faults.unplugs.empty()) {
    return refuse(
        "unplug@ and replug@ do not apply to a pseudo-terminal: end the host or quillmont-sim "
        "instead");
  }

  options.fixtures.clear();
  for (int i = 0; i < fixtures; ++i) {
    FixtureConfig config;
    config.uid = WithDeviceId(uid, DeviceId(uid) + static_cast<uint32_t>(i));
    config.start_in_bootloader = start_in_bootloader;
    config.application_label = label;
    options.fixtures.push_back(config);
  }
  return -1;
}

}  // namespace quillmont::sim
