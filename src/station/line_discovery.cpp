// SPDX-License-Identifier: Apache-2.0
#include "station/line_discovery.h"

#include "app/baud_list.h"
#include "app/decimal_text.h"

namespace quillmont {
namespace {

// An adapter list longer than this is not believed.
constexpr uint32_t kMostAdapters = 1024;

}  // namespace

OwnLine::OwnLine(LineSet& line, std::ostream* diag)
    : line_(line), io_{line.driver(), line.clock(), diag != nullptr ? *diag : null_stream_} {}

OwnLine::~OwnLine() {
  if (link_ != nullptr) {
    line_.driver().FT_Close(link_);
  }
}

Result<std::unique_ptr<OwnLine>> OwnLine::OpenFirst(LineSet& line, const RunSettings& settings) {
  std::unique_ptr<OwnLine> own(new OwnLine(line, settings.diag));
  uint32_t count = 0;
  line.driver().FT_CreateDeviceInfoList(&count);
  for (uint32_t i = 0; i < count && i < kMostAdapters && own->link_ == nullptr; ++i) {
    if (OpenLink(own->io_, own->link_, static_cast<int>(i))) {
      own->adapter_ = static_cast<int>(i);
    }
  }
  if (own->link_ == nullptr) {
    return Error{"No USB-to-RS485 adapter could be opened."};
  }
  const std::string baud = settings.baud.empty() ? kDefaultBaudText : settings.baud;
  (void)SetLinkBaud(own->io_, own->link_, DecimalTextValue(baud));  // a refused rate finds nobody
  return own;
}

Result<LineDiscovery> DiscoverLine(LineSet& line, const RunSettings& settings) {
  Result<std::unique_ptr<OwnLine>> own = OwnLine::OpenFirst(line, settings);
  if (!own) {
    return own.error();
  }
  LineDiscovery discovery;
  discovery.adapter = (*own)->adapter();
  const uint64_t started = line.clock().NowMicros();
  FullDiscoveryOptions options;
  options.stop = settings.stop;
  discovery.result = DiscoverAllDevices((*own)->io(), (*own)->link(), options);
  discovery.seconds = static_cast<double>(line.clock().NowMicros() - started) / 1e6;
  discovery.notices = TakeLineNotices((*own)->io());
  return discovery;
}

}  // namespace quillmont
