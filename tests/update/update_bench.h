// SPDX-License-Identifier: Apache-2.0
// Shared pieces of the update procedure's tests: the example firmware, a loaded and analysed
// image to compare against, and a window on a scripted line whose bootloader answers are written
// by each test, with every request recorded on the tick it went out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rdm/message.h"
#include "srec2_test_files.h"
#include "support/scripted_fixture.h"
#include "support/window_harness.h"
#include "update/chunk_choice.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont::testing {

using Bytes = std::vector<uint8_t>;

#define QUILLMONT_TESTING_EXAMPLE_PATH
inline std::string ExamplePath(const std::string& name) {
  return std::string(QUILLMONT_SOURCE_DIR) + "/examples/" + name;
}

// A firmware file loaded and analysed the way the window does it, and loaded alone (what the
// flash must hold afterwards).
struct LoadedFirmware {
  std::unique_ptr<FirmwareImage> raw = std::make_unique<FirmwareImage>();
  std::unique_ptr<FirmwareImage> analysed = std::make_unique<FirmwareImage>();
  ImageAnalysis analysis;
  ErasePlan plan;
};

// The operator flashes a file without an application signature all the same: the question the
// window asks about it is answered Yes. Any other file is left to the test's own answers.
inline void SayYesToAnUnsignedFile(RecordingWindowPort& port, const std::string& path) {
  auto image = std::make_unique<FirmwareImage>();
  if (!LoadSrec2File(path, *image) || image->loaded_count == 0) {
    return;
  }
  ImageAnalysis analysis;
  ErasePlan plan;
  AnalyseImage(*image, analysis, plan);
  if (analysis.HasSignature()) {
    return;
  }
  port.answers.resize(std::max(port.answers.size(), port.questions.size() + 1));
  port.answers[port.questions.size()] = true;
}

inline LoadedFirmware LoadFirmware(const std::string& path) {
  LoadedFirmware f;
  for (FirmwareImage* image : {f.raw.get(), f.analysed.get()}) {
    const Result<Srec2Stats> loaded = LoadSrec2File(path, *image);
    EXPECT_TRUE(loaded) << path << ": " << (loaded ? "" : loaded.error().message);
  }
  AnalyseImage(*f.analysed, f.analysis, f.plan);
  return f;
}

inline std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

inline std::string ProgramLine(uint32_t address, uint32_t length) {
  return "Programming $" + Hex(address) + " (" + std::to_string(length) + " bytes)...";
}

// A .srec2 file with a header, S2 records of at most 32 bytes for each run, and an end record.
struct DataRun {
  uint32_t address;
  Bytes data;
};
inline std::string Srec2Text(const std::vector<DataRun>& runs) {
  std::string text = "S00600004844521B\n";
  for (const DataRun& run : runs) {
    for (size_t at = 0; at < run.data.size(); at += 32) {
      const size_t n = std::min<size_t>(32, run.data.size() - at);
      text += S2Record(static_cast<uint32_t>(run.address + at),
                       Bytes(run.data.begin() + static_cast<std::ptrdiff_t>(at),
                             run.data.begin() + static_cast<std::ptrdiff_t>(at + n))) +
              "\n";
    }
  }
  return text + "S804000000FB\n";
}
// `count` bytes from `address` that all differ from the fill pattern.
inline DataRun Changed(uint32_t address, uint32_t count) {
  DataRun run{address, {}};
  for (uint32_t i = 0; i < count; ++i) {
    run.data.push_back(static_cast<uint8_t>(FillPatternAt(address + i) ^ (0x21 + i % 7)));
  }
  return run;
}

inline uint16_t FramePid(const Bytes& frame) {
  return static_cast<uint16_t>(frame[kOffsetPid] << 8 | frame[kOffsetPid + 1]);
}

inline Bytes FramePd(const Bytes& frame) {
  return Bytes(frame.begin() + kOffsetParameterData,
               frame.begin() + kOffsetParameterData + frame[kOffsetPdl]);
}

// The kinds of request the procedure sends.
enum class Req { Poll, Enter, Erase, Program, Start, Other };

inline Req KindOf(const Bytes& frame) {
  const uint8_t cc = frame[kOffsetCommandClass];
  const uint16_t pid = FramePid(frame);
  const uint8_t pdl = frame[kOffsetPdl];
  const uint8_t* pd = frame.data() + kOffsetParameterData;
  if (cc == DISCOVERY_COMMAND && pid == DISC_UN_MUTE) {
    return Req::Poll;
  }
  if (cc == SET_COMMAND && pid == IDENTIFY_DEVICE && pdl == 1 && pd[0] == 1) {
    return Req::Start;
  }
  if (cc == SET_COMMAND && pid == PID_BOOTLOADER && pdl >= 2 && pd[0] == BOOT_SYNC) {
    if (pd[1] == BOOT_ENTER) {
      return Req::Enter;
    }
    if (pd[1] == BOOT_ERASE) {
      return Req::Erase;
    }
    if (pd[1] == BOOT_PROGRAM) {
      return Req::Program;
    }
  }
  return Req::Other;
}

inline const RdmUid kDeviceUid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};

// A window on a scripted adapter with one device that answers discovery and the device
// information; `device` answers the rest (return true when it took the frame).
class ScriptedUpdateBench : public ScriptedWindowHarness {
 public:
  struct Sent {
    int64_t tick;
    Req kind;
    Bytes frame;
  };

  ScriptedUpdateBench() {
    const auto base = driver.on_write;
    driver.on_write = [this, base](const Bytes& frame) {
      const bool to_device =
          frame.size() >= kRdmFrameOverhead &&
          std::equal(kDeviceUid.begin(), kDeviceUid.end(), frame.begin() + kOffsetDestination);
      if (to_device) {
        sent.push_back({pacer.ticks_run(), KindOf(frame), frame});
        if (device && device(frame)) {
          return;
        }
      }
      base(frame);
    };
  }

  // Starts the window and lets it find the device.
  void Connect() {
    Init();
    Ticks(8);
    ASSERT_EQ(window.device_found, 1);
    sent.clear();
  }

  // Picks `path` in the file dialog and clicks Update Firmware; the log from here on is Log().
  void StartUpdate(const std::string& path) {
    log_mark = window.log_text.size();
    SayYesToAnUnsignedFile(port, path);
    port.file_dialog_answers.push_back(path);
    window.OnUpdateButton();
  }
  std::string Log() const { return window.log_text.substr(log_mark); }

  // Replies from the device, arriving a little after the request.
  void Reply(uint8_t command_class, uint16_t pid, const Bytes& pd) {
    driver.DeliverAfter(300, ResponseFrame(kDeviceUid, command_class, pid, pd));
  }
  void ReplyControl(uint8_t control) {
    Reply(DISCOVERY_COMMAND_RESPONSE, DISC_UN_MUTE, {0x00, control});
  }
  void ReplyEraseAck() { Reply(SET_COMMAND_RESPONSE, PID_BOOTLOADER, {BOOT_SYNC, BOOT_ERASE}); }
  // The bootloader's echo of a program request: the request's own parameter data.
  void ReplyEcho(const Bytes& request) {
    Reply(GET_COMMAND_RESPONSE, PID_BOOTLOADER, FramePd(request));
  }
  void ReplyStartAck() { Reply(SET_COMMAND_RESPONSE, IDENTIFY_DEVICE, {}); }

  // The requests of one kind, and the ticks they went out on.
  std::vector<Sent> Of(Req kind) const {
    std::vector<Sent> out;
    for (const Sent& s : sent) {
      if (s.kind == kind) {
        out.push_back(s);
      }
    }
    return out;
  }
  std::vector<int64_t> SentTicks(Req kind) const {
    std::vector<int64_t> out;
    for (const Sent& s : Of(kind)) {
      out.push_back(s.tick);
    }
    return out;
  }
  // The same, up to the first start request: the polls of the verification after it left out.
  std::vector<int64_t> SentTicksBeforeStart(Req kind) const {
    std::vector<int64_t> out;
    for (const Sent& s : sent) {
      if (s.kind == Req::Start) {
        break;
      }
      if (s.kind == kind) {
        out.push_back(s.tick);
      }
    }
    return out;
  }

  // Runs ticks until the procedure is idle again; at most `max_ticks`.
  bool RunToIdle(int64_t max_ticks) {
    return pacer.RunUntil([this] { return window.job.state() == UpdateState::kIdle; }, max_ticks);
  }

  ScriptedFixture fixture{driver};
  std::function<bool(const Bytes& frame)> device;
  std::vector<Sent> sent;
  size_t log_mark = 0;
};

inline constexpr const char* kAborted = "\r\nOperation ABORTED !  :-(\r\n\r\n";
inline constexpr const char* kWellDone = "\r\n VERY WELL DONE !\r\n\r\n";

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// `before`, then one line only: why the update ended and in which state the fixture is left,
// beginning with `reason`.
inline bool EndsWithReason(const std::string& log, const std::string& before,
                           const std::string& reason) {
  const size_t at = log.rfind(before);
  if (at == std::string::npos) {
    return false;
  }
  const std::string rest = log.substr(at + before.size());
  return rest.starts_with(reason) && rest.find("\r\n") == rest.size() - 2;
}

// What the polls after the acknowledged start found, as the log's last line begins.
inline constexpr const char* kStartedApplication = "The fixture answers from its new application";
inline constexpr const char* kStillInBootloader = "The fixture is still in its bootloader";

// The start acknowledged, then one line only: the verification's, which begins with `verdict`.
// " VERY WELL DONE !" stands right before an answer from the new application, and nowhere else.
inline constexpr const char* kStartAcknowledged =
    "The bootloader acknowledged the start; waiting for the new application...\r\n";
inline bool EndsWithVerdict(const std::string& log, const std::string& verdict) {
  const std::string acknowledged = kStartAcknowledged;
  const size_t ack = log.rfind(acknowledged);
  if (ack == std::string::npos) {
    return false;
  }
  std::string rest = log.substr(ack + acknowledged.size());
  const std::string well_done = kWellDone;
  if (verdict == kStartedApplication) {
    if (rest.compare(0, well_done.size(), well_done) != 0) {
      return false;
    }
    rest = rest.substr(well_done.size());
  } else if (log.find("VERY WELL DONE") != std::string::npos) {
    return false;
  }
  return rest.compare(0, verdict.size(), verdict) == 0 && rest.find("\r\n") == rest.size() - 2;
}

}  // namespace quillmont::testing
