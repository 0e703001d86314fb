// SPDX-License-Identifier: Apache-2.0
// The station's own use of a line, outside the window core: the first adapter that opens, at the
// run's rate, for the full discovery of every fixture on the line and the questions a rig's
// survey asks each of them. The adapter is closed again when the line goes.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/result.h"
#include "link/line.h"
#include "rdm/full_discovery.h"
#include "station/line_set.h"
#include "station/run_settings.h"

namespace quillmont {

class OwnLine {
 public:
  // The first adapter of `line` that opens, its rate set. An error when none opens.
  static Result<std::unique_ptr<OwnLine>> OpenFirst(LineSet& line, const RunSettings& settings);
  ~OwnLine();
  OwnLine(const OwnLine&) = delete;
  OwnLine& operator=(const OwnLine&) = delete;

  LineIo& io() { return io_; }
  LinkHandle& link() { return link_; }
  int adapter() const { return adapter_; }
  // The adapter's name (its port, and its serial number where known).
  std::string name() { return line_.OpenAdapterName(adapter_, link_); }

 private:
  OwnLine(LineSet& line, std::ostream* diag);

  LineSet& line_;
  std::ostream null_stream_{nullptr};
  LineIo io_;
  LinkHandle link_ = nullptr;
  int adapter_ = -1;
};

// What a full discovery on the first adapter that opens found, and how long it took.
struct LineDiscovery {
  int adapter = 0;
  FullDiscoveryResult result;
  double seconds = 0.0;
  // What the line told of the adapter on the way (a break it cannot send), for people.
  std::vector<std::string> notices;
};

// Opens the first adapter of `line`, discovers every fixture on it and closes it again.
Result<LineDiscovery> DiscoverLine(LineSet& line, const RunSettings& settings);

}  // namespace quillmont
