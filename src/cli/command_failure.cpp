#include "cli/command_failure.h"

#include <nlohmann/json.hpp>

namespace quillmont::cli {

int FailCommand(const GlobalOptions& options, CliOutput io, const char* command, int code,
                const std::string& text) {
  io.err << text << '\n';
  if (options.json) {
    io.out << nlohmann::json{{"command", command},
                             {"result", "failed"},
                             {"detail", text},
                             {"exit_code", code}}
                  .dump(2)
           << '\n';
  }
  return code;
}

}  // namespace quillmont::cli
