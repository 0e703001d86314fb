// SPDX-License-Identifier: Apache-2.0
// What the station needs of the drivers a program chose, provided by the composition root: the
// driver its cores talk to, the clock they run on, the adapters' names, and on the simulator the
// fixtures' flash, so that a success can be checked against what the fixture really holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "rdm/uid.h"
#include "update/firmware_image.h"

namespace quillmont {

class LineSet {
 public:
  virtual ~LineSet() = default;

  virtual D2xxDriver& driver() = 0;
  virtual Clock& clock() = 0;
  // The clock when it is virtual (the waits between ticks move it on without sleeping); null on
  // the real clock.
  virtual VirtualClock* virtual_clock() = 0;
  // Whether the line is the simulator's.
  virtual bool simulated() = 0;
  // The name of adapter `index` while `link` is open on it: its port ("/dev/ttyUSB0", "simulated
  // adapter 2") and, where the adapter told it, its serial number.
  virtual std::string OpenAdapterName(int index, FT_HANDLE link) = 0;
  // On the simulator: the first address at which the flash of the fixture with `uid` differs
  // from `loaded` (an image as loaded), or nothing when it holds the image. An error when there
  // is no such simulated fixture.
  virtual Result<std::optional<uint32_t>> CompareFixtureFlash(const RdmUid& uid,
                                                              const FirmwareImage& loaded) = 0;
};

}  // namespace quillmont
