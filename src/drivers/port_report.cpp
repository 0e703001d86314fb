// SPDX-License-Identifier: Apache-2.0
#include "drivers/port_report.h"

#include <algorithm>
#include <utility>

namespace quillmont {
namespace {

// Failures remembered between two opens; more are told again (a search over many ports).
constexpr size_t kToldLimit = 64;

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

PortReporter::PortReporter(std::unique_ptr<D2xxDriver> inner, PortFacts facts, std::ostream& out,
                           bool verbose)
    : inner_(std::move(inner)), facts_(std::move(facts)), out_(out), verbose_(verbose) {}

void PortReporter::TellOnce(const std::string& text) {
  if (Contains(told_, text)) {
    return;
  }
  if (told_.size() >= kToldLimit) {
    told_.clear();
  }
  told_.push_back(text);
  out_ << text << '\n' << std::flush;
}

FT_STATUS PortReporter::FT_CreateDeviceInfoList(uint32_t* count) {
  if (facts_.absent_ports) {
    for (const std::string& port : facts_.absent_ports()) {
      TellOnce(port + ": no such device");
    }
  }
  return inner_->FT_CreateDeviceInfoList(count);
}

FT_STATUS PortReporter::FT_Open(int index, FT_HANDLE* handle) {
  const FT_STATUS status = inner_->FT_Open(index, handle);
  std::string port = "adapter " + std::to_string(index);
  if (facts_.port_names) {
    const std::vector<std::string> names = facts_.port_names();
    if (index >= 0 && static_cast<size_t>(index) < names.size()) {
      port = names[static_cast<size_t>(index)];
    }
  }
  if (status != FT_OK) {
    std::string why = facts_.open_error ? facts_.open_error() : std::string();
    if (why.empty()) {
      why = port + ": cannot be opened (" + facts_.backend + " driver status " +
            std::to_string(status) + ")";
    }
    TellOnce(why);
    return status;
  }
  told_.clear();  // a port that fails again later is told again
  if (verbose_ && !Contains(opened_, port)) {
    opened_.push_back(port);
    out_ << "Opening " << port << " with the " << facts_.backend << " driver\n" << std::flush;
  }
  // What opening it found worth telling (a latency timer that stays high), once each.
  for (const std::string& note : inner_->Facts(*handle).notes) {
    if (!Contains(noted_, note)) {
      noted_.push_back(note);
      out_ << note << '\n' << std::flush;
    }
  }
  return status;
}

}  // namespace quillmont
