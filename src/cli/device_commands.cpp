#include "cli/device_commands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/decimal_option.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/window_session.h"
#include "rdm/frame_view.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// The driver, the session and the fixture, or the exit status that says why not.
struct Connection {
  std::unique_ptr<DriverSet> drivers;
  std::unique_ptr<WindowSession> session;
  std::ostream null_stream{nullptr};
};

// After a signal: the failure with the signal's exit status; otherwise 0.
int Interrupted(const GlobalOptions& options, CliOutput io, const char* command) {
  const int signal = PendingInterrupt();
  if (signal == 0) {
    return kExitSuccess;
  }
  return FailCommand(options, io, command, InterruptExitCode(signal), InterruptText(signal));
}

// Connects to the one fixture; 0, or the exit status after the message is out.
int Connect(const GlobalOptions& options, CliOutput io, const char* command, Connection& c) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(options.drivers);
  if (!drivers) {
    return FailCommand(options, io, command, kExitNoAdapter, drivers.error().message);
  }
  c.drivers = std::move(drivers).value();
  SessionSink sink;
  sink.message_box = [io](const std::string& text) { io.err << text << '\n'; };
  if (!options.json) {
    sink.status = [io](const std::string& text) { io.err << "[" << text << "]\n"; };
  }
  c.session = std::make_unique<WindowSession>(*c.drivers, options.verbose ? io.err : c.null_stream,
                                              std::move(sink));
  c.session->Start(options.baud, options.pacing());
  const Reach reach = c.session->Connect(options.uid);
  if (const int code = Interrupted(options, io, command); code != kExitSuccess) {
    return code;
  }
  switch (reach) {
    case Reach::kNoAdapter:
      return FailCommand(options, io, command, kExitNoAdapter,
                         "No USB-to-RS485 adapter could be opened.");
    case Reach::kNoDevice:
      return FailCommand(options, io, command, kExitNoDevice,
                         "No RDM fixture answered the discovery (only one may be connected).");
    case Reach::kDevice:
      break;
  }
  return kExitSuccess;
}

std::string NackText(uint16_t reason) {
  char text[64];
  std::snprintf(text, sizeof text, " (NACK reason 0x%04X).", static_cast<unsigned>(reason));
  return "The fixture refused the request: " + NackReasonName(reason) + text;
}

// Sends a SET through a window handler and reports its answer.
int RunSet(const GlobalOptions& options, CliOutput io, const char* command,
           const std::function<void(UpdaterWindow&)>& handler, const std::string& done_text,
           json extra) {
  Connection c;
  if (const int code = Connect(options, io, command, c); code != kExitSuccess) {
    return code;
  }
  // The discovery's own requests for the device's texts are answered first.
  (void)c.session->ReadDeviceInfo();
  // A bootloader takes any SET IDENTIFY_DEVICE for "start program": nothing is sent to one.
  const FixtureMode mode = c.session->ReadFixtureMode();
  const std::string uid = c.session->uid();
  if (const int code = Interrupted(options, io, command); code != kExitSuccess) {
    return code;
  }
  if (mode == FixtureMode::kBootloader) {
    return FailCommand(options, io, command, kExitInBootloader,
                       "The fixture " + uid +
                           " is in its bootloader, which does not take this request; nothing "
                           "was sent. Flash its firmware first.");
  }
  UpdaterWindow& window = c.session->window();
  const SetAnswer answer = c.session->SendAndAwait([&] { handler(window); });
  if (const int code = Interrupted(options, io, command); code != kExitSuccess) {
    return code;
  }
  if (answer.answer == Answer::kNone) {
    return FailCommand(options, io, command, kExitNoDevice,
                       "The fixture " + uid + " did not answer.");
  }
  if (answer.answer == Answer::kNack) {
    return FailCommand(options, io, command, kExitRefused, NackText(answer.nack_reason));
  }
  if (options.json) {
    extra["command"] = command;
    extra["uid"] = uid;
    extra["result"] = "acknowledged";
    extra["exit_code"] = kExitSuccess;
    io.out << extra.dump(2) << '\n';
  } else {
    io.out << uid << ": " << done_text << '\n';
  }
  return kExitSuccess;
}

}  // namespace

CliCommand AddInfoCommand(CLI::App& app, const GlobalOptions& options, CliOutput io) {
  CLI::App* sub = app.add_subcommand(
      "info",
      "Find the one fixture as the window does and show its UID, model, software "
      "version and DMX address");
  return CliCommand{
      sub, [&options, io] {
        Connection c;
        if (const int code = Connect(options, io, "info", c); code != kExitSuccess) {
          return code;
        }
        const Result<DeviceInfo> read = c.session->ReadDeviceInfo();
        const FixtureMode mode = c.session->ReadFixtureMode();
        if (const int code = Interrupted(options, io, "info"); code != kExitSuccess) {
          return code;
        }
        if (!read) {
          return FailCommand(options, io, "info", kExitNoDevice, read.error().message);
        }
        const DeviceInfo& info = *read;
        const bool in_bootloader = mode == FixtureMode::kBootloader;
        const int code = in_bootloader ? kExitInBootloader : kExitSuccess;
        if (in_bootloader) {
          io.err << "The fixture is in its bootloader: it runs no application. The version "
                    "shown is the bootloader's.\n";
        }
        if (options.json) {
          io.out << json{{"command", "info"},
                         {"uid", info.uid},
                         {"model", info.model},
                         {"software_version", info.software_version},
                         {"dmx_address", info.has_address ? json(info.dmx_address) : json(nullptr)},
                         {"in_bootloader", in_bootloader},
                         {"result", in_bootloader ? "in bootloader" : "success"},
                         {"exit_code", code}}
                        .dump(2)
                 << '\n';
        } else {
          io.out << "UID:               " << info.uid << '\n'
                 << "Model:             " << info.model << '\n'
                 << "Software version:  " << info.software_version << '\n'
                 << "DMX address:       "
                 << (info.has_address ? std::to_string(info.dmx_address)
                                      : std::string("(not told)"))
                 << '\n';
          if (in_bootloader) {
            io.out << "Mode:              bootloader (no application running)\n";
          }
        }
        return code;
      }};
}

CliCommand AddIdentifyCommand(CLI::App& app, const GlobalOptions& options, CliOutput io) {
  auto state = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("identify", "Switch the fixture's identify mode on or off");
  sub->add_option("STATE", *state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
  return CliCommand{sub, [state, &options, io] {
                      const bool on = *state == "on";
                      return RunSet(
                          options, io, "identify", [on](UpdaterWindow& w) { w.Identify(on); },
                          on ? "identify on" : "identify off", json{{"identify", on}});
                    }};
}

CliCommand AddSetAddressCommand(CLI::App& app, const GlobalOptions& options, CliOutput io) {
  auto address = std::make_shared<int>(0);
  CLI::App* sub = app.add_subcommand("set-address", "Set the fixture's DMX start address");
  sub->add_option("N", *address, "The DMX start address, 1 to 512, in decimal")
      ->required()
      ->transform(DecimalNumber())
      ->check(CLI::Range(1, 512));
  return CliCommand{sub, [address, &options, io] {
                      const int n = *address;
                      return RunSet(
                          options, io, "set-address",
                          [n](UpdaterWindow& w) { w.SetDmxAddress(static_cast<uint16_t>(n)); },
                          "DMX address set to " + std::to_string(n), json{{"dmx_address", n}});
                    }};
}

}  // namespace quillmont::cli
