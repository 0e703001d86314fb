// SPDX-License-Identifier: Apache-2.0
// The desktop window's updates through the station. The window's own timer drives its core; the
// station only listens: the Update button's file is read, hashed, loaded and analysed by the
// station (it is the window's FirmwareSource), the core's events come to it, and when an update
// ends it makes the typed result and records it in the history, as every other front end's
// updates are. The window's texts and behaviour are the core's own and stay as they are.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/updater_window.h"
#include "station/firmware_file.h"
#include "station/flash_result.h"
#include "station/line_set.h"
#include "station/run_settings.h"
#include "station/station_events.h"
#include "station/update_watch.h"

namespace quillmont {

class WindowStation final : public FirmwareSource, private StationEvents {
 public:
  // Every core event also goes on to `events`. Everything given must outlive the station.
  WindowStation(LineSet& line, const RunSettings& settings, StationEvents& events);
  ~WindowStation() override;
  WindowStation(const WindowStation&) = delete;
  WindowStation& operator=(const WindowStation&) = delete;

  // Becomes `window`'s firmware source and listener, until Detach.
  void Attach(UpdaterWindow& window);
  void Detach();

  // The window's line and the settings its updates run with, for a rig run on the same line
  // while the window has lent it (UpdaterWindow::LendLine).
  LineSet& line() { return line_; }
  const RunSettings& settings() const { return settings_; }

  // The result of the last update that ended; nothing before one did.
  const std::optional<FlashResult>& last_result() const { return last_result_; }

  Result<const PreparedFirmware*> Prepare(const std::string& path,
                                          std::span<const uint8_t> bytes) override;

 private:
  void OnLinkChanged(bool open) override;
  void OnDiscovery(const DiscoveryEvent& event) override;
  void OnReplyAccepted(const RdmFrameView& frame) override;
  void OnCommandAnswered(const CommandAnswer& answer) override;
  void OnDeviceInfo(const DeviceInfoEvent& info) override;
  void OnUpdateProgress(const UpdateProgress& progress) override;
  void OnUpdateEnded(UpdateOutcome outcome) override;
  void OnLogAppended(const std::string& text) override;

  LineSet& line_;
  const RunSettings& settings_;
  StationEvents& events_;
  UpdaterWindow* window_ = nullptr;
  FirmwareFileSource files_;
  int opened_adapter_ = -1;
  std::string model_;  // what the fixture last told
  std::string version_;
  std::unique_ptr<UpdateWatch> watch_;  // the update under way
  std::optional<FlashResult> last_result_;
};

}  // namespace quillmont
