// SPDX-License-Identifier: Apache-2.0
// What the update procedure needs from the window that runs it, and nothing more: the log, the
// Update button's caption, the beep and the message box, one way to send a request to the
// target, whether a device is known and its UID, the image, analysis and erase plan it works on,
// the progress bar, and where its progress and outcome go.
#pragma once

#include <cstdint>
#include <string>

#include "rdm/uid.h"
#include "update/firmware_image.h"
#include "update/image_analysis.h"
#include "update/update_state.h"

namespace quillmont {

class UpdateHost {
 public:
  virtual ~UpdateHost() = default;

  // One log line (the host adds CR LF).
  virtual void AppendLog(const std::string& text) = 0;
  // The caption of the Update button.
  virtual void SetUpdateCaption(const std::string& caption) = 0;
  // The system beep that acknowledges a SET.
  virtual void Beep() = 0;
  // A modal message box; ticks go on while it is open.
  virtual void ShowMessageBox(const std::string& text) = 0;
  // Sends one request to the target, sub-device 0; the result is not looked at.
  virtual void SendToTarget(uint8_t command_class, uint16_t pid, const uint8_t* data,
                            uint8_t pdl) = 0;
  // Whether a device is known (discovered or typed), and the UID every request goes to.
  virtual bool DeviceKnown() const = 0;
  virtual const RdmUid& TargetUid() const = 0;

  // The image being flashed (the signature bytes go back into it before the last chunk), its
  // analysis, and the erase plan (consumed from the front as erases are acknowledged).
  virtual FirmwareImage& UpdateImage() = 0;
  virtual const ImageAnalysis& UpdateAnalysis() const = 0;
  virtual ErasePlan& UpdateErasePlan() = 0;

  // Draws the progress bar from the bytes sent so far.
  virtual void DrawProgressBar() = 0;
  // After every request the procedure sends, and once when it ends.
  virtual void ReportProgress(const UpdateProgress& progress) = 0;
  virtual void ReportOutcome(UpdateOutcome outcome) = 0;
};

}  // namespace quillmont
