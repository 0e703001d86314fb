#include "cli/command_failure.h"

#include <nlohmann/json.hpp>

#include "cli/flash_report.h"

namespace quillmont::cli {

int FailCommand(const CliConfig& config, CliOutput io, const char* command, int code,
                const std::string& text) {
  io.err << text << '\n';
  if (config.json) {
    io.out << Dump(nlohmann::json{{"command", command},
                                  {"result", "failed"},
                                  {"detail", text},
                                  {"exit_code", code}})
           << '\n';
  }
  return code;
}

}  // namespace quillmont::cli
