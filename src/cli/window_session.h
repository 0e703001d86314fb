// One run of the window core on the console: the UpdaterWindow with a ConsolePort, driven by
// the 10 ms tick on the chosen driver's clock. The commands of quillmont-cli are built on it:
// every wait is counted in ticks and bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/updater_events.h"
#include "app/updater_window.h"
#include "app/window_pacer.h"
#include "base/result.h"
#include "cli/console_port.h"
#include "drivers/driver_choice.h"
#include "drivers/port_report.h"

namespace quillmont::cli {

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

// Where the session's log lines, status changes and message boxes go.
struct SessionSink {
  std::function<void(const std::string& line)> log;
  std::function<void(const std::string& text)> status;
  std::function<void(const std::string& text)> message_box;
};

enum class Reach { kDevice, kNoAdapter, kNoDevice };

// What GET DEVICE_MODEL_DESCRIPTION, SOFTWARE_VERSION_LABEL and DMX_START_ADDRESS returned.
struct DeviceInfo {
  std::string uid;
  std::string model;
  std::string software_version;
  int dmx_address = 0;
  bool has_address = false;  // a fixture in its bootloader tells its texts, not its address
  bool has_version = false;  // the software version label was told
};

// Where the fixture answered from, as the control field of its DISC_UN_MUTE answer tells.
enum class FixtureMode { kUnknown, kApplication, kBootloader };

// The answer to a SET request, as the core reported it.
enum class Answer { kNone, kAck, kNack };
struct SetAnswer {
  Answer answer = Answer::kNone;
  uint16_t nack_reason = 0;
};

// The session learns what happens from the core's events alone: the link, the discovery, the
// device's texts and address, the answers to SET requests and the update's progress and end.
class WindowSession : private UpdaterEvents {
 public:
  // `diag` receives the line layer's diagnostic lines, without the repeats of the search.
  WindowSession(DriverSet& drivers, std::ostream& diag, SessionSink sink);
  ~WindowSession() override;
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  ConsolePort& port() { return port_; }
  UpdaterWindow& window() { return *window_; }
  uint64_t NowMicros() const { return drivers_.clock().NowMicros(); }
  int64_t ticks_run() const { return pacer_->ticks_run(); }

  // The update's progress and end, as the core reports them.
  std::function<void(const UpdateProgress& progress)> on_update_progress;
  std::function<void(UpdateOutcome outcome)> on_update_ended;

  // OnInit without the settings file (neither read nor written), then `baud` (one of the rates
  // of the window's list, or empty for its default) applied as a choice in the combo box.
  // False when the rate is not in the list. `pacing` chooses how the core is driven: the
  // window's 10 ms tick alone, or (the default) the same ticks with replies taken as they come.
  bool Start(const std::string& baud, Pacing pacing = Pacing::kEvent);

  // Waits for the adapter; then, with `uid` empty, for the window's discovery to find one
  // fixture; with a UID, takes it as the window takes a typed one. The UID must already be
  // valid (see ParseUidArgument).
  Reach Connect(const std::string& uid);

  // The UID of the fixture reached ("" before one is).
  std::string uid() const { return reached_ ? FormatUid(target_uid_) : std::string(); }
  const RdmUid& target_uid() const { return target_uid_; }

  // Asks the fixture for its model, software version and DMX address (again, if the discovery
  // already did) and waits for all three. The info when they came, or when the address never
  // came but a text did (has_address false); an error when the fixture told nothing.
  // With `need_address` false, the software version is enough. When the address does not follow
  // the version at once, the fixture is polled: one in its bootloader is not waited for.
  Result<DeviceInfo> ReadDeviceInfo(bool need_address = true);

  // Polls the fixture with DISC_UN_MUTE and reads the Boot-Loader flag of its control field.
  FixtureMode ReadFixtureMode();

  // Runs `command` (a core operation that sends one SET request) and waits for its answer;
  // sends it again when none comes.
  SetAnswer SendAndAwait(const std::function<void()>& command);

  void Tick() { pacer_->Tick(); }
  // Ticks until `done`, at most `max_ticks`; a signal (see interrupt.h) ends the wait early.
  bool RunUntil(const std::function<bool()>& done, int64_t max_ticks);

 private:
  void OnLinkChanged(bool open) override;
  void OnDiscovery(const DiscoveryEvent& event) override;
  void OnReplyAccepted(const RdmFrameView& frame) override;
  void OnCommandAnswered(const CommandAnswer& answer) override;
  void OnDeviceInfo(const DeviceInfoEvent& info) override;
  // Told on the message channel when the log, which carries it too, is not shown.
  void OnLineNotice(const std::string& text) override;
  void OnUpdateProgress(const UpdateProgress& progress) override;
  void OnUpdateEnded(UpdateOutcome outcome) override;

  DriverSet& drivers_;
  QuietRepeatsStream diag_;
  std::ostream null_stream_{nullptr};
  ConsolePort port_{null_stream_, null_stream_};
  std::unique_ptr<UpdaterWindow> window_;
  std::unique_ptr<WindowPacer> pacer_;

  // What the events told.
  bool link_open_ = false;
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

// The UID of a --uid argument as the window reads it: six hex pairs with optional blanks, and
// nothing more.
Result<RdmUid> ParseUidArgument(const std::string& text);

}  // namespace quillmont::cli
