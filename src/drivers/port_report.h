// SPDX-License-Identifier: Apache-2.0
// What the user learns about the real adapters while the programs search for one: why a port
// did not open (no such device, not a terminal, permission denied, busy), what opening one found
// worth telling (a latency timer that stays high), and with --verbose which backend opens which
// port. Each text is told once, not on every attempt of the search.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "link/forwarding_driver.h"

namespace quillmont {

// What the reporter asks the backend.
struct PortFacts {
  std::string backend;  // "serial", "d2xx", "COM port"
  // The backend's ports by index, as FT_Open numbers them; empty when it numbers adapters
  // itself (the vendor library).
  std::function<std::vector<std::string>()> port_names;
  // Why the last FT_Open failed, naming the port; empty when the backend cannot tell.
  std::function<std::string()> open_error;
  // Ports named on the command line that are not there.
  std::function<std::vector<std::string>()> absent_ports;
};

class PortReporter final : public ForwardingDriver {
 public:
  // Tells `out` why ports fail to open, and with `verbose` which port opens.
  PortReporter(std::unique_ptr<D2xxDriver> inner, PortFacts facts, std::ostream& out, bool verbose);

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override;
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override;

 private:
  D2xxDriver& inner() override { return *inner_; }
  // Writes text and a line feed unless it was told since the last port opened.
  void TellOnce(const std::string& text);

  std::unique_ptr<D2xxDriver> inner_;
  PortFacts facts_;
  std::ostream& out_;
  bool verbose_;
  std::vector<std::string> told_;    // failures told since the last open; bounded
  std::vector<std::string> opened_;  // ports whose opening verbose has told
  std::vector<std::string> noted_;   // notes of opened ports already told
};

}  // namespace quillmont
