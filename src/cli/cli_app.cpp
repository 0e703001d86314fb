// SPDX-License-Identifier: Apache-2.0
#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "app/baud_list.h"
#include "cli/cli_command.h"
#include "cli/cli_options.h"
#include "cli/console_text.h"
#include "cli/device_commands.h"
#include "cli/doctor_command.h"
#include "cli/exit_codes.h"
#include "cli/flash_command.h"
#include "cli/history_command.h"
#include "cli/inspect_command.h"
#include "cli/json_document.h"
#include "cli/line_commands.h"
#include "cli/port_notices.h"
#include "station/station_settings.h"

namespace quillmont::cli {
namespace {

// A command line that cannot be run: with --json anywhere on it, still one document, naming the
// command when one was given.
int BadArguments(int argc, const char* const* argv, const std::vector<CliCommand>& commands,
                 CliOutput io, const std::string& detail) {
  bool json = false;
  nlohmann::json command = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    json = json || arg == "--json";
    for (const CliCommand& c : commands) {
      if (command.is_null() && arg == c.subcommand->get_name()) {
        command = arg;
      }
    }
  }
  if (json) {
    return PrintDocument(io, nlohmann::json{{"command", command},
                                            {"result", "bad arguments"},
                                            {"detail", detail},
                                            {"exit_code", kExitBadArguments}});
  }
  return kExitBadArguments;
}

// The values an option or positional takes when it takes only some: those of its IsMember check
// (CLI11 names them "TEXT:{a,b}"), or the window's rates, which --baud checks after parsing.
std::string CompletionChoices(const CLI::Option& option) {
  if (option.check_lname("baud")) {
    std::string rates;
    for (const char* rate : kBaudList) {
      rates += std::string(" ") + rate;
    }
    return rates;
  }
  const std::string type = option.get_type_name();
  const size_t open = type.find('{');
  const size_t close = type.rfind('}');
  std::string choices;
  if (open != std::string::npos && close != std::string::npos && open < close) {
    for (const char c : type.substr(open + 1, close - open - 1)) {
      choices += c == ',' ? ' ' : c;
    }
    choices = " " + choices;
  }
  return choices;
}

// quillmont-cli --completion-words (hidden): what the bash completion offers, read off the
// parser so that it never falls behind a new command or option. One line each:
//   command NAME
//   option SCOPE NAME flag|value [CHOICE...]     (SCOPE: "-" for every command, or the command)
//   positional SCOPE NAME [CHOICE...]
void PrintCompletionWords(const CLI::App& app, std::ostream& out) {
  const auto print_options = [&out](const CLI::App& scope, const std::string& scope_name) {
    for (const CLI::Option* option : scope.get_options()) {
      if (option->get_positional()) {
        out << "positional " << scope_name << ' ' << option->get_name(true)
            << CompletionChoices(*option) << '\n';
        continue;
      }
      const char* kind = option->get_expected_max() == 0 ? "flag" : "value";
      for (const std::string& name : option->get_lnames()) {
        out << "option " << scope_name << " --" << name << ' ' << kind << CompletionChoices(*option)
            << '\n';
      }
    }
  };
  print_options(app, "-");
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    out << "command " << command->get_name() << '\n';
    print_options(*command, command->get_name());
  }
}

// The options read once, with the user's settings: every command takes them as they are.
Result<CliConfig> ReadConfig(const GlobalOptions& options, std::ostream& err,
                             PortNotices& notices) {
  Result<CliConfig> config = ReadGlobalOptions(options);
  if (!config) {
    return config;
  }
  // Why a real adapter did not open goes to standard error, also without --verbose, and into
  // the JSON document.
  config->drivers.options.notices = &notices.stream();
  config->drivers.options.verbose = config->verbose;
  // "history = off" turns recording off as --no-history does.
  const SettingsReading settings = ReadStationSettings();
  for (const std::string& warning : settings.warnings) {
    err << warning << '\n';
  }
  config->history = config->history && settings.settings.history;
  if (!config->pace_given && settings.settings.pace) {
    config->pacing = *settings.settings.pace;
  }
  return config;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& raw_out, std::ostream& raw_err,
           const ConsoleFacts& console) {
  // Nothing from outside reaches the terminal raw: not a fixture's text, not an argument echoed
  // back in a message of the parser.
  GuardedStream out(raw_out, console.utf8);
  GuardedStream err(raw_err, console.utf8);
  PortNotices notices(err);
  const CliOutput io{out,     err, &raw_err, console.err_is_terminal, console.utf8, console.columns,
                     &notices};

  CLI::App app{"Updates the firmware of RDM fixtures through a USB-to-RS485 adapter.",
               "quillmont-cli"};
  // The same command line on every system: on Windows CLI11 would otherwise take "/name" for an
  // option, and an absolute path written with slashes is a path. Subcommands inherit this.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", kCliVersion);
  app.footer(kExitCodeHelp);
  app.require_subcommand(1);
  // The global options may also follow the command's name.
  app.fallthrough();

  GlobalOptions options;
  AddGlobalOptions(app, options);
  const std::vector<CliCommand> commands = {
      AddListCommand(app, io),           AddInfoCommand(app, io),
      AddDiscoverCommand(app, io),       AddIdentifyCommand(app, io),
      AddSetAddressCommand(app, io),     AddInspectCommand(app, options.json, io),
      AddFlashCommand(app, options, io), AddHistoryCommand(app, io),
      AddDoctorCommand(app, io),
  };
  for (const CliCommand& command : commands) {
    command.subcommand->footer(kExitCodeHelp);
  }
  if (argc == 2 && std::string_view(argv[1]) == "--completion-words") {
    PrintCompletionWords(app, out);
    return kExitSuccess;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    app.exit(e, out, err);
    return BadArguments(argc, argv, commands, io, e.what());
  }
  Result<CliConfig> config = ReadConfig(options, err, notices);
  if (!config) {
    err << config.error().message << '\n';
    return BadArguments(argc, argv, commands, io, config.error().message);
  }

  for (const CliCommand& command : commands) {
    if (command.subcommand->parsed()) {
      return command.run(*config);
    }
  }
  return kExitBadArguments;
}

}  // namespace quillmont::cli
