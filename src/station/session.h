// SPDX-License-Identifier: Apache-2.0
// One run of the window core without a window: the UpdaterWindow with a HeadlessPort, driven by
// the 10 ms tick on the line's clock until what the caller waits for has happened. Every wait is
// counted in ticks and bounded, and a stop request ends it early. The session learns what
// happens from the core's events alone and hands every event, log line, status change and
// message box on to the run's StationEvents.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/updater_window.h"
#include "app/window_pacer.h"
#include "base/result.h"
#include "station/headless_port.h"
#include "station/line_set.h"
#include "station/quiet_repeats.h"
#include "station/run_settings.h"
#include "station/station_events.h"

namespace quillmont {

// Ticks the adapter search may take before "no adapter".
inline constexpr int64_t kLinkWaitTicks = 150;
// Failed discoveries (each followed by the window's 3 s pause) before "no device".
inline constexpr int kDiscoveryAttempts = 2;
inline constexpr int64_t kDeviceWaitTicks = 1000;
// Ticks to wait for the answer to one request, and how often a request is sent.
inline constexpr int64_t kAnswerWaitTicks = 100;
inline constexpr int kRequestAttempts = 3;
// How long the address may follow the version label before the fixture is asked where it runs.
inline constexpr int64_t kAddressGraceTicks = 10;
// How long the model may take to answer the discovery's request for it: an application answers
// within a few ticks, a bootloader never does.
inline constexpr int64_t kModelGraceTicks = 20;

enum class Reach { kDevice, kNoAdapter, kNoDevice };

// Where the fixture answered from, as the control field of its DISC_UN_MUTE answer tells.
enum class FixtureMode { kUnknown, kApplication, kBootloader };

// What GET DEVICE_MODEL_DESCRIPTION, SOFTWARE_VERSION_LABEL and DMX_START_ADDRESS returned.
struct DeviceInfo {
  std::string uid;
  std::string model;
  std::string software_version;
  int dmx_address = 0;
  bool has_address = false;  // a fixture in its bootloader tells no address
  bool has_version = false;  // the software version label was told
  bool has_model = false;    // the model description was told (a bootloader tells none)
  // Where it runs, when it was asked (kUnknown when its answers told enough without asking).
  FixtureMode mode = FixtureMode::kUnknown;
};

// The answer to a SET request, as the core reported it.
enum class Answer { kNone, kAck, kNack };
struct SetAnswer {
  Answer answer = Answer::kNone;
  uint16_t nack_reason = 0;
};

class Session : private UpdaterEvents {
 public:
  // `adapter` is the line's number in the run, named in every event.
  Session(LineSet& line, StationEvents& events, const RunSettings& settings, int adapter = 0);
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  HeadlessPort& port() { return port_; }
  UpdaterWindow& window() { return *window_; }
  LineSet& line() { return line_; }
  const RunSettings& settings() const { return settings_; }
  int adapter() const { return adapter_; }
  uint64_t NowMicros() const { return line_.clock().NowMicros(); }
  int64_t ticks_run() const;
  bool stopped() const { return settings_.StopRequested(); }

  // Besides the run's events, `watcher` (null for none) sees every event too while it is set.
  void set_watcher(StationEvents* watcher) { watcher_ = watcher; }

  // OnInit without the settings file (neither read nor written), then the run's rate applied as
  // a choice in the combo box. An error when the rate is not in the window's list.
  Status Start();

  // Waits for the adapter; then, without `uid`, for the window's discovery to find one fixture;
  // with a UID, takes it as the window takes a typed one.
  Reach Connect(const std::optional<RdmUid>& uid);

  // The UID of the fixture reached ("" before one is).
  std::string uid() const;
  const RdmUid& target_uid() const { return target_uid_; }
  // The adapter the core opened, by name ("" while none is open).
  std::string AdapterName();

  // Asks the fixture for its model, software version and DMX address (again, if the discovery
  // already did) and waits for all three. The info when they came, or when the address never
  // came but a text did (has_address false); an error when the fixture told nothing.
  // With `need_address` false, the software version is enough. Where the fixture runs comes
  // from its control field: unless it answers the discovery's request for its model at once,
  // it is polled first, and one in its bootloader is asked for its version label alone (its
  // info then has the bootloader's mode, also when it told no version).
  Result<DeviceInfo> ReadDeviceInfo(bool need_address = true);

  // Polls the fixture with DISC_UN_MUTE and reads the Boot-Loader flag of its control field.
  FixtureMode ReadFixtureMode();

  // Runs `command` (a core operation that sends one SET request) and waits for its answer;
  // sends it again when none comes.
  SetAnswer SendAndAwait(const std::function<void()>& command);

  // Ticks until `done`, at most `max_ticks`; a stop request ends the wait early (false).
  bool RunUntil(const std::function<bool()>& done, int64_t max_ticks);

 private:
  template <typename Call>
  void Tell(const Call& call) {
    call(events_);
    if (watcher_ != nullptr) {
      call(*watcher_);
    }
  }
  void OnLogLine(const std::string& line);
  // The application's model, version and address, asked (again unless `asked`) and waited for.
  Result<DeviceInfo> ReadApplicationInfo(bool need_address, bool asked);
  // A bootloader's version label, the one thing it tells of itself.
  DeviceInfo ReadBootloaderInfo();

  void OnLinkChanged(bool open) override;
  void OnDiscovery(const DiscoveryEvent& event) override;
  void OnReplyAccepted(const RdmFrameView& frame) override;
  void OnCommandAnswered(const CommandAnswer& answer) override;
  void OnDeviceInfo(const DeviceInfoEvent& info) override;
  void OnLineNotice(const std::string& text) override;
  void OnUpdateProgress(const UpdateProgress& progress) override;
  void OnUpdateEnded(UpdateOutcome outcome) override;

  LineSet& line_;
  StationEvents& events_;
  StationEvents* watcher_ = nullptr;
  const RunSettings& settings_;
  int adapter_;
  std::ostream null_stream_{nullptr};
  QuietRepeatsStream diag_;
  HeadlessPort port_;
  std::unique_ptr<UpdaterWindow> window_;
  std::unique_ptr<WindowPacer> pacer_;

  // What the events told.
  bool link_open_ = false;
  int opened_adapter_ = -1;
  bool device_known_ = false;
  bool reached_ = false;
  RdmUid target_uid_{};
  int discovery_failures_ = 0;
  DeviceInfo info_;      // this round's answers
  int set_answers_ = 0;  // SET responses seen
  CommandAnswer last_set_answer_;
  bool info_requested_ = false;  // the discovery's own requests for the device info are out
  int control_answers_ = 0;      // DISC_UN_MUTE answers seen
  uint8_t last_control_ = 0;
};

}  // namespace quillmont
