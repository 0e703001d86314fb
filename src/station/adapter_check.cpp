// SPDX-License-Identifier: Apache-2.0
#include "station/adapter_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/baud_list.h"
#include "app/decimal_text.h"
#include "link/line.h"
#include "rdm/message.h"

namespace quillmont {
namespace {

// An adapter list longer than this is not believed.
constexpr uint32_t kMostAdapters = 1024;
// How long the echo of the probe may take: its wire time, the adapter's latency timer (16 ms at
// most on a chip left at its default) and the USB round trip, with room to spare.
constexpr int16_t kEchoWaitMs = 50;
// Reads and drops at most this many times before the probe and before the discovery.
constexpr int kDrainReads = 16;
// The processes looked at for a service; more are not read.
constexpr int kMostProcesses = 65536;

// A GET DEVICE_INFO addressed to the controller's own UID: a whole E1.20 frame that no fixture
// answers, so that what comes back is the adapter's own echo alone.
size_t BuildProbe(std::array<uint8_t, kRdmFrameBufferSize>& frame) {
  RdmFrameFields fields;
  fields.destination = kControllerUid;
  fields.source = kControllerUid;
  fields.port_or_response_type = 1;
  fields.command_class = GET_COMMAND;
  fields.pid = DEVICE_INFO;
  return BuildRdmFrame(fields, frame.data());
}

// Sends the probe and reads what comes back: the echo of the frame tells that the adapter hears
// itself, and the NUL before it that its break reached the line.
void ProbeEcho(LineIo& io, LinkHandle& link, AdapterCheck& check) {
  std::array<uint8_t, kRdmFrameBufferSize> frame{};
  const size_t size = BuildProbe(frame);
  DrainReceived(io, link, kDrainReads);
  const Status sent = SendFrame(io, link, frame.data(), size);
  if (!sent) {
    check.breaks =
        sent.error().message == kBreakRefusedText ? BreakCheck::kRefused : BreakCheck::kNotTestable;
    return;
  }
  // The frame and the NUL of its break; when something else came first (noise, a late byte),
  // more until the buffer is full or the line stays quiet.
  std::array<uint8_t, kMaxReadBytes> heard{};
  int total = 0;
  bool found = false;
  auto echo = heard.begin();
  for (int wanted = static_cast<int>(size) + 1; wanted > 0 && !found;
       wanted = std::min(kMaxReadBytes - total, static_cast<int>(size) + 1)) {
    const Result<int> got =
        ReadWithTimeout(io, link, heard.data() + total, static_cast<int16_t>(wanted), kEchoWaitMs);
    if (!got) {
      return;  // the echo stays unknown
    }
    total += *got;
    const auto end = heard.begin() + total;
    echo = std::search(heard.begin(), end, frame.begin(), frame.begin() + size);
    found = echo != end;
    if (*got < wanted) {
      break;  // the line went quiet
    }
  }
  check.echo = found;
  if (*check.echo) {
    const bool nul = echo != heard.begin() && *(echo - 1) == 0x00;
    check.breaks = nul ? BreakCheck::kArrive : BreakCheck::kNeverArrive;
  }
}

#if defined(__linux__)
// Whether a process of this name runs (its /proc entry), looking at a bounded number of them.
bool ProcessRuns(const std::string& name) {
  std::error_code error;
  std::filesystem::directory_iterator it("/proc", error);
  int looked = 0;
  for (; !error && it != std::filesystem::directory_iterator() && looked < kMostProcesses;
       it.increment(error), ++looked) {
    const std::string pid = it->path().filename().string();
    if (pid.empty() ||
        !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    std::ifstream comm(it->path() / "comm");
    std::string command;
    if (std::getline(comm, command) && command == name) {
      return true;
    }
  }
  return false;
}

bool AnyFileExists(const std::vector<std::string>& paths) {
  std::error_code error;
  return std::any_of(paths.begin(), paths.end(), [&error](const std::string& path) {
    return std::filesystem::exists(path, error);
  });
}
#endif

}  // namespace

int CountAdapters(LineSet& line) {
  uint32_t count = 0;
  line.driver().FT_CreateDeviceInfoList(&count);
  return static_cast<int>(std::min(count, kMostAdapters));
}

AdapterCheck CheckAdapter(LineSet& line, int index, const RunSettings& settings) {
  std::ostream null_stream(nullptr);
  LineIo io{line.driver(), line.clock(), settings.diag != nullptr ? *settings.diag : null_stream};
  AdapterCheck check;
  check.index = index;
  LinkHandle link = nullptr;
  if (!OpenLink(io, link, index)) {
    return check;
  }
  check.opened = true;
  const std::string baud = settings.baud.empty() ? kDefaultBaudText : settings.baud;
  check.rate = static_cast<uint32_t>(DecimalTextValue(baud));
  (void)SetLinkBaud(io, link, static_cast<int>(check.rate));  // the rate read back tells
  check.facts = line.driver().Facts(link);
  if (check.facts.backend == "usbpro") {
    check.echo = check.facts.hears_itself;  // the widget turns the line round itself
  } else {
    ProbeEcho(io, link, check);
  }
  DrainReceived(io, link, kDrainReads);
  FullDiscoveryOptions options;
  options.stop = settings.stop;
  check.discovery = DiscoverAllDevices(io, link, options);
  check.notices = TakeLineNotices(io);
  line.driver().FT_Close(link);
  return check;
}

std::vector<SerialGrabber> FindSerialGrabbers() {
  std::vector<SerialGrabber> found;
#if defined(__linux__)
  const std::vector<std::string> units = {"/lib/systemd/system/", "/usr/lib/systemd/system/",
                                          "/etc/systemd/system/"};
  const auto installed = [&units](const std::string& unit, const std::string& udev_rule) {
    std::vector<std::string> paths = {"/lib/udev/rules.d/" + udev_rule,
                                      "/usr/lib/udev/rules.d/" + udev_rule};
    for (const std::string& folder : units) {
      paths.push_back(folder + unit);
    }
    return AnyFileExists(paths);
  };
  found.push_back({"ModemManager", ProcessRuns("ModemManager"),
                   installed("ModemManager.service", "80-mm-candidate.rules")});
  found.push_back(
      {"brltty", ProcessRuns("brltty"), installed("brltty.service", "85-brltty.rules")});
#endif
  return found;
}

}  // namespace quillmont
