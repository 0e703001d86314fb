// SPDX-License-Identifier: Apache-2.0
// The main window of Quillmont and the one object that holds all state of a run: the texts bound
// to its edit fields and the settings, the link and receive state, the target device, the
// firmware image, its analysis and the update procedure. It talks to its user interface only
// through a WindowPort, to the adapter only through a D2xxDriver, and to time only through a
// Clock, so that the Qt window, the console front end and the tests all run the same core.
#pragma once

#include <array>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/firmware_source.h"
#include "app/updater_events.h"
#include "app/window_port.h"
#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "link/line.h"
#include "rdm/frame_view.h"
#include "rdm/uid.h"
#include "update/firmware_image.h"
#include "update/image_analysis.h"
#include "update/update_host.h"
#include "update/update_job.h"

namespace quillmont {

inline constexpr const char* kSettingsFileName = "quillmont.cfg";
inline constexpr size_t kBaudTextSize = 10;
inline constexpr RdmUid kInitialTargetUid = {0x4F, 0x4C, 0x00, 0x00, 0x00, 0x00};
// What Set says of an address it will not send.
inline constexpr const char* kDmxAddressRangeMessage =
    "The DMX start address must be a number from 1 to 512.";
// What Exit, Escape, Return and the close box ask while an update runs.
inline constexpr const char* kAbortAndExitQuestion = "An update is running. Abort it and exit?";
// What Enter or Space on the Abort button asks (a mouse click aborts at once).
inline constexpr const char* kAbortUpdateQuestion =
    "Abort the update? The fixture may be left in its bootloader, where it runs no application "
    "until it is updated.";
// The question after a firmware file's warning (a file cut short, a file without signature).
inline constexpr const char* kFlashAnywayQuestion = "Flash it all the same?";
// The model label of a fixture that runs its bootloader, which tells no model.
inline constexpr const char* kInBootloaderLabel = "(in its bootloader)";
// What the window says of a firmware file that holds no data record.
inline constexpr const char* kNoDataRecordsMessage = "No data records in file.";
inline constexpr const char* kUnableToReadFileMessage = "Unable to read file.";

class UpdaterWindow : private UpdateHost {
 public:
  UpdaterWindow(WindowPort& port, D2xxDriver& driver, Clock& clock, std::ostream& diag = std::cout);
  UpdaterWindow(const UpdaterWindow&) = delete;
  UpdaterWindow& operator=(const UpdaterWindow&) = delete;

  // Where the core's typed events go, besides the window's own texts; null for nowhere. The
  // observer must outlive the window or be taken away first.
  void set_events(UpdaterEvents* events) { events_ = events != nullptr ? events : &no_events_; }
  // Where the Update button's file is read, loaded and analysed; null for the window's own
  // reader. The source must outlive the window or be taken away first.
  void set_firmware_source(FirmwareSource* source) { firmware_source_ = source; }

  // Start-up, the bound texts, the log, the settings and the endings.
  bool OnInit();
  void ShowTexts();
  void ReadTexts();
  void AppendLog(const std::string& text) override;
  int LoadSettings();
  void SaveSettings();
  void OnSystemCommand(int command);
  void OnClose();
  void OnExitButton();
  void OnCancel();

  // Another part of the program (the Rig dialog) borrows the line: the adapter is closed, the
  // fixture forgotten, and the ticks leave the line alone until ReturnLine. False, and nothing
  // changes, while an update runs.
  bool LendLine();
  // The line comes back: the next tick opens the adapter again and discovers afresh.
  void ReturnLine();
  bool line_lent() const { return line_lent_; }

  // The main loop: one call per expiry of the 10 ms timer. An expiry of the line watch's timer
  // (kLineWatchTimerId) takes what waits on the line instead (OnLineReadable).
  void OnTick(int timer_id = kTickTimerId);
  // Between two ticks (the event pacing): takes the bytes that already wait on the line, acts on
  // a complete good reply as the tick would, and when that reply ended the update's wait lets
  // the update take its next step at once. Never sleeps; nothing while a tick runs.
  void OnLineReadable();
  // Between two ticks (the event pacing): waits on the adapter until bytes wait or `micros`
  // pass. False, without waiting, while OnLineReadable would take nothing (no link, no fixture
  // known, inside a tick) or when the wait failed.
  bool WaitForReply(uint64_t micros);

  // The operator's commands.
  void OnDiscoverButton();
  void OnUidChanged();
  void OnSubDeviceDelta(int delta);
  void OnIdentifyButton();
  void OnStopIdentifyButton();
  void OnRefreshButton();
  void OnSetAddressButton();
  void OnBaudChanged();
  int16_t ApplyTypedUid();
  // A NACK to one of the commands' requests is told in the log, with the request and the E1.20
  // reason. True when the frame is a NACK (told or, during an update, left to the update).
  bool TellWhenRefused(const RdmFrameView& frame);

  // The operator's commands as operations, for front ends without the window's controls. Each
  // runs the button's own path (the guard during an update, "No Devices Discovered yet") and
  // sends at most one request; the answer comes as an event.
  // The DMX start address is shown in its field as if typed, then set.
  void SetDmxAddress(uint16_t address);
  void Identify(bool on);
  // Asks the device for its model, version and address again (the Refresh button).
  void RefreshDeviceInfo();
  // Asks the device for its software version label alone: what a bootloader tells of itself
  // (it gives no model and no address).
  void AskVersionLabel();
  // Takes `uid` as the target, as a UID typed into its field is taken. True when it was.
  bool UseUid(const RdmUid& uid);
  // Chooses `rate` in the baud list as the operator does. False when the list has no such rate.
  bool ChooseBaud(const std::string& rate);
  // Polls the target with DISC_UN_MUTE, as the update does; its answer carries the control
  // field that tells an application from a bootloader. Sends nothing during an update.
  void PollControlField();

  // The firmware update's start and abort, the file reader and the progress bar.
  void OnUpdateButton();
  // Enter, Space or the shortcut on the Update button: while an update runs, asks before it
  // aborts (No by default); otherwise as a click. A mouse click aborts at once.
  void OnUpdateButtonKey();
  // Starts the update with firmware that was read from `path` and prepared elsewhere, as the
  // Update button does once its dialog has given a path and the file is loaded. False when an
  // update is already running, the image holds no loaded bytes or the update refuses it (nothing
  // starts).
  bool StartUpdate(const std::string& path, const PreparedFirmware& firmware);
  // The same with an image as loaded, analysed here.
  bool StartUpdate(const std::string& path, const FirmwareImage& loaded);
  // Aborts a running update as the Update button's click does; nothing when none runs.
  void AbortUpdate();
  int LoadSrec2File(const std::string& path);
  void DrawProgressBar() override;

  WindowPort& port() { return port_; }
  LineIo& line_io() { return io_; }

  // Where the settings file lies; "quillmont.cfg" in the working directory.
  std::string settings_path = kSettingsFileName;

  // Bound texts and settings.
  std::string uid_text;
  std::string log_text;
  std::string dmx_address_text;
  std::array<char, kBaudTextSize> baud_text{};
  RdmUid target_uid{};
  Rect progress_rect;
  int timer_id = 0;

  // Link and receive state.
  LinkHandle link = nullptr;
  int32_t busy = 0;
  int16_t countdown = 0;
  int16_t next_device_index = 0;
  std::array<uint8_t, 256> rx_buffer{};
  int16_t rx_length = 0;
  int32_t device_found = 0;
  int32_t manual_uid = 0;
  // Set by the event pacing: the tick, too, reads only what already waits instead of polling.
  bool receive_between_ticks = false;
  // Set by the desktop windows: an operator watches this window. It then tells what the station's
  // front ends render from the typed results themselves: an update's end in the status line, the
  // bar and a box, a command that got no answer, why discovery found nothing; it draws progress
  // with percent, bytes and time left; and under the event pacing it watches the line between
  // ticks while an update runs (the kLineWatchTimerId timer).
  bool desktop_window = false;

  // Shown in SubDeviceLabel only; every request goes to sub-device 0.
  uint16_t subdevice_number = 0;

  // The firmware image, its analysis and erase plan, and the update procedure.
  FirmwareImage image;
  ImageAnalysis analysis;
  ErasePlan erase_plan;
  UpdateJob job{*this};

 private:
  // The steps of OnTick, in their order.
  void WatchLink();
  // Closes the adapter and forgets what was known through it: the fixture, an awaited answer.
  void CloseLink();
  void SearchAdapter();
  bool RunDiscoverySchedule();
  void ReceiveBytes();
  void ResyncAtNextStartCode();
  void ShowAndDispatchFrame();
  void DispatchDeviceInfo(const RdmFrameView& frame);
  // What the line access noted about the adapter (a break it cannot send), into the log.
  void TellLineNotices();
  // One receive read into rx_buffer at rx_length; drops the partial frame when the read fails.
  void ReadMore(int wanted);
  // Reads what waits in the receive queue into rx_buffer, without sleeping, and dispatches a
  // complete good frame. True when a frame was complete (and dispatched, if good).
  bool ReceiveWaitingBytes();
  // The commands that talk to the device share their start: the guard, the typed UID, and
  // the "No Devices Discovered yet" message. True when the command may send.
  bool BeginDeviceCommand(bool tell_when_no_device);
  // The chosen file read, loaded and analysed, by the firmware source or by the window itself;
  // null when it cannot be flashed (the operator has been told why).
  const PreparedFirmware* PrepareChosenFile(const std::string& path);
  // The chosen file's bytes; nothing when it cannot be read (the operator has been told).
  std::optional<std::vector<uint8_t>> ReadChosenFile(const std::string& path);
  // Loads the file's bytes into `image`: 1, or 0 when the loader refused them (told in the log
  // and a box).
  int LoadChosenBytes(std::span<const uint8_t> bytes);
  // The update's start once the firmware is prepared: the image and its analysis taken, the
  // analysis's log line, the job's start and the drain of the receive side. False, with the
  // reason in the log and a message box, when the job refuses the image (a chunk outside the
  // erased flash).
  bool BeginUpdate(const PreparedFirmware& firmware);
  // Empties the model and version labels.
  void ClearDeviceLabels();
  // The window may end: no update runs, or the operator chose to abort it (which is done here).
  bool MayEndWindow();
  // The first log lines of an update: its file and the time, and what the analysis found.
  void LogUpdateHeader(const std::string& path);
  void LogAnalysis(const PreparedFirmware& firmware);
  // Asks before a file the operator may not want flashed (cut short, without signature); true
  // when it may go.
  bool ConfirmDoubtfulFile(const PreparedFirmware& firmware);

  // A desktop window's telling (see desktop_window): the end of an update, its progress, the
  // requests of the commands that await an answer, and a discovery that found nothing.
  void PresentUpdateEnd(UpdateOutcome outcome);
  void DrawEndBar(bool success);
  void DrawDesktopProgress();
  void UpdateProgressRect();
  void AwaitAnswer(uint8_t command_class, uint16_t pid);
  void NoteAnswer(const RdmFrameView& frame);
  void CountDownAwaitedAnswer();
  void TellDiscoveryFailure(DiscoveryFailure failure);
  // A fixture that told no model is asked where it runs (DISC_UN_MUTE); one in its bootloader is
  // shown as such, with its bootloader's version label.
  void AskWhereItRuns();
  void LearnWhereItRuns(const RdmFrameView& frame);

  // What the update procedure needs of the window.
  void SetUpdateCaption(const std::string& caption) override;
  void Beep() override;
  void ShowMessageBox(const std::string& text) override;
  void SendToTarget(uint8_t command_class, uint16_t pid, const uint8_t* data, uint8_t pdl) override;
  bool DeviceKnown() const override { return device_found != 0; }
  const RdmUid& TargetUid() const override { return target_uid; }
  FirmwareImage& UpdateImage() override { return image; }
  const ImageAnalysis& UpdateAnalysis() const override { return analysis; }
  ErasePlan& UpdateErasePlan() override { return erase_plan; }
  void ReportProgress(const UpdateProgress& progress) override;
  void ReportOutcome(UpdateOutcome outcome) override;

  // After an update that heard the fixture, the model is asked again on the next tick, once the
  // line is quiet: the reply that ended the update may have started the label chain already.
  // Counted down at the end of every tick; the request goes out when it reaches 0.
  int ask_model_after_update_ = 0;
  // The fixture stayed in its bootloader after the update: only its version label is asked.
  bool relabel_bootloader_ = false;
  // A version label asked for alone is not followed by the address request of the label chain.
  bool ask_address_after_version_ = true;

  // A box about the last update's end, shown at the start of the next tick (so that its modal
  // loop runs whole ticks, and the window has followed the update's end first).
  std::optional<std::string> pending_end_box_;
  // A question about the running update is open (it closes itself when the update ends); the
  // window is ending (an abort then needs no box).
  bool asking_about_update_ = false;
  bool ending_window_ = false;
  // When the update's first program request went out, for the time left.
  uint64_t program_started_micros_ = 0;
  // The GET or SET of a command that awaits its answer, and the ticks it still may take.
  struct AwaitedAnswer {
    uint8_t command_class = 0;
    uint16_t pid = 0;
    RdmUid uid{};
    int ticks_left = 0;
  };
  std::optional<AwaitedAnswer> awaited_;
  // The un-mute went to a fixture that told no model; its answer's control field is awaited.
  bool asked_where_it_runs_ = false;
  // Why discovery found nothing was told; told again after a success or a change.
  bool discovery_failure_told_ = false;
  // The line is lent (LendLine): no tick touches it.
  bool line_lent_ = false;

  FirmwareSource* firmware_source_ = nullptr;
  std::unique_ptr<PreparedFirmware> own_firmware_;  // what the window's own reader prepared

  WindowPort& port_;
  LineIo io_;
  UpdaterEvents no_events_;
  UpdaterEvents* events_ = &no_events_;
};

}  // namespace quillmont
