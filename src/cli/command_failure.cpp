// SPDX-License-Identifier: Apache-2.0
#include "cli/command_failure.h"

#include <nlohmann/json.hpp>

#include "cli/json_document.h"

namespace quillmont::cli {

int FailCommand(const CliConfig& config, CliOutput io, const char* command, int code,
                const std::string& text) {
  io.err << text << '\n';
  if (config.json) {
    return PrintDocument(
        io, nlohmann::json{
                {"command", command}, {"result", "failed"}, {"detail", text}, {"exit_code", code}});
  }
  return code;
}

}  // namespace quillmont::cli
