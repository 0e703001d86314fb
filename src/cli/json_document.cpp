// SPDX-License-Identifier: Apache-2.0
#include "cli/json_document.h"

#include <string>

#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/port_notices.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// Every text of the document as valid UTF-8. A fixture's texts were made so already (JsonText,
// Latin-1); the others (paths, arguments, a history read back) keep their UTF-8.
void MakeUtf8(json& value) {
  if (value.is_string()) {
    value = Utf8Text(value.get_ref<const std::string&>());
  } else if (value.is_structured()) {
    for (json& item : value) {
      MakeUtf8(item);
    }
  }
}

int ExitCodeIn(const json& document) {
  const auto it = document.find("exit_code");
  return it != document.end() && it->is_number_integer() ? it->get<int>() : kExitSuccess;
}

}  // namespace

int PrintDocument(CliOutput io, json document) {
  int code = ExitCodeIn(document);
  if (io.notices != nullptr) {
    if (std::vector<std::string> told = io.notices->Lines(); !told.empty()) {
      document["port_notices"] = std::move(told);
    }
  }
  MakeUtf8(document);
  std::string text;
  try {
    text = document.dump(2, ' ', true);
  } catch (const json::exception& e) {
    code = code != kExitSuccess ? code : kExitCannotWrite;
    const auto command = document.find("command");
    const json failed{
        {"command", command != document.end() ? *command : json(nullptr)},
        {"result", "failed"},
        {"detail", Utf8Text(std::string("The result could not be written as JSON: ") + e.what())},
        {"exit_code", code}};
    text = failed.dump(2, ' ', true, json::error_handler_t::replace);
  }
  io.out << text << '\n' << std::flush;
  return code;
}

}  // namespace quillmont::cli
