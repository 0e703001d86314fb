// SPDX-License-Identifier: Apache-2.0
#include "win32/window_options.h"

#include <optional>
#include <string_view>

namespace quillmont::win32 {

namespace {

// The value of an option that takes one: after "=", or the next argument.
std::optional<std::string> ValueOf(const std::vector<std::string>& args, size_t& at,
                                   std::string_view name) {
  const std::string& arg = args[at];
  if (arg.size() > name.size() && arg[name.size()] == '=') {
    return arg.substr(name.size() + 1);
  }
  if (at + 1 >= args.size()) {
    return std::nullopt;
  }
  return args[++at];
}

bool Names(const std::string& arg, std::string_view name) {
  return arg.compare(0, name.size(), name) == 0 &&
         (arg.size() == name.size() || arg[name.size()] == '=');
}

// The option that takes a value which `arg` names; empty for none.
std::string_view OptionWithValue(const std::string& arg) {
  for (const std::string_view name : {"--port", "--driver", "--screenshot-delay", "--screenshot"}) {
    if (Names(arg, name)) {
      return name;
    }
  }
  return {};
}

Status Take(WindowOptions& options, std::string_view name, const std::string& value) {
  if (name == "--port") {
    options.ports.push_back(value);
  } else if (name == "--driver") {
    options.driver = value;
  } else if (name == "--screenshot") {
    options.screenshot = value;
  } else {
    const bool digits = !value.empty() && value.size() <= 6 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(value) > 600000) {
      return Error{"--screenshot-delay wants 0 to 600000 milliseconds."};
    }
    options.screenshot_delay_ms = std::stoi(value);
  }
  return {};
}

}  // namespace

Result<WindowOptions> ParseWindowOptions(const std::vector<std::string>& args) {
  WindowOptions options;
  for (size_t at = 0; at < args.size(); ++at) {
    const std::string& arg = args[at];
    if (arg == "--simulate") {
      options.simulate = true;
    } else if (arg == "--no-history") {
      options.no_history = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
    } else if (const std::string_view name = OptionWithValue(arg); !name.empty()) {
      const std::optional<std::string> value = ValueOf(args, at, name);
      if (!value) {
        return Error{"Missing value after '" + arg + "'."};
      }
      if (Status taken = Take(options, name, *value); !taken) {
        return taken.error();
      }
    } else {
      return Error{"Unknown option '" + arg + "'."};
    }
  }
  return options;
}

std::string WindowUsage() {
  return "Usage: quillmont [options]\n"
         "Updates the firmware of an RDM fixture through a USB-to-RS485 adapter.\n"
         "\n"
         "Options:\n"
         "  -h, --help\tDisplays help on commandline options.\n"
         "  --simulate\tRun against the built-in simulated fixture.\n"
         "  --port <NAME>\tSerial adapter (COMn; may be repeated).\n"
         "  --driver <NAME>\tAdapter backend: serial, d2xx, usbpro or sim.\n"
         "  --no-history\tRecord nothing in the update history.\n";
}

}  // namespace quillmont::win32
