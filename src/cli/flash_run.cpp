#include "cli/flash_run.h"

#include <cstdio>
#include <optional>

#include "cli/exit_codes.h"
#include "cli/file_digest.h"
#include "cli/interrupt.h"
#include "cli/window_session.h"
#include "sim/nor_flash.h"
#include "sim/simulated_line.h"
#include "update/chunk_choice.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont::cli {
namespace {

// The longest wait after one request (an erase) and the most attempts of one step.
constexpr int64_t kLongestWaitTicks = 300;
constexpr int64_t kMostAttempts = 6;
constexpr int64_t kMarginSteps = 20;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "$%05X", static_cast<unsigned>(value));
  return text;
}

// The simulated fixture the run talked to: the one with the window's target UID.
SimulatedFixture* TargetFixture(SimulatedLine& line, const RdmUid& uid) {
  for (int a = 0; a < line.adapter_count(); ++a) {
    for (int i = 0; i < line.fixture_count(a); ++i) {
      if (line.fixture(a, i).config().uid == uid) {
        return &line.fixture(a, i);
      }
    }
  }
  return nullptr;
}

}  // namespace

Result<FlashFile> LoadFlashFile(const std::string& path,
                                const std::function<void(const std::string&)>& message_box) {
  const Result<std::vector<uint8_t>> bytes = ReadFileBytes(path);
  if (!bytes) {
    message_box(bytes.error().message);
    return bytes.error();
  }
  auto image = std::make_shared<FirmwareImage>();
  std::string loader_message;
  if (LoadSrec2Bytes(*bytes, *image, [&](const std::string& text) {
        loader_message = text;
        message_box(text);
      }) != 1) {
    return Error{loader_message};
  }
  if (image->loaded_count == 0) {
    message_box("No data records in file.");
    return Error{"No data records in file."};
  }
  Result<std::string> digest = Sha256Hex(*bytes);
  if (!digest) {
    message_box(digest.error().message);
    return digest.error();
  }
  // The plan of the update, from an analysed copy: the loaded image itself stays as it is.
  auto analysed = std::make_unique<FirmwareImage>(*image);
  ImageAnalysis analysis;
  ErasePlan plan;
  AnalyseImage(*analysed, analysis, plan);
  const auto chunks = static_cast<int64_t>(PlanChunks(*analysed, analysis).size());
  return FlashFile{path, std::move(*digest), std::move(image), chunks, plan.erase_count};
}

int64_t FlashTickBound(int64_t chunks, int64_t erases) {
  return (chunks + erases + kMarginSteps) * kMostAttempts * kLongestWaitTicks;
}

namespace {

bool IsProgramStep(UpdateState step) {
  return step == UpdateState::kProgramChunks || step == UpdateState::kWriteSignature;
}

}  // namespace

FlashResult RunFlash(DriverSet& drivers, const GlobalOptions& options, const FlashFile& file,
                     const std::string& dump_path, std::ostream& diag, const FlashSink& sink) {
  FlashResult result;
  result.total = file.loaded->loaded_count;
  std::optional<UpdateOutcome> outcome;
  FlashProgress progress;
  progress.total = result.total;
  uint64_t started = 0;
  uint64_t program_started = 0;

  SessionSink session_sink;
  session_sink.status = sink.status;
  session_sink.message_box = sink.message_box;
  WindowSession* session_ptr = nullptr;
  session_sink.log = [&](const std::string& line) {
    result.log.push_back(line);
    if (!line.empty()) {
      progress.step = line;
    }
    if (sink.log) {
      // The update announces each program request in the log while it programs.
      const bool program_request =
          session_ptr != nullptr && IsProgramStep(session_ptr->window().job.state());
      sink.log(line, program_request);
    }
  };
  WindowSession session(drivers, diag, session_sink);
  session_ptr = &session;
  int64_t shown_sent = -1;
  session.on_update_progress = [&](const UpdateProgress& p) {
    result.sent = p.sent;
    if (IsProgramStep(p.step) && program_started == 0) {
      program_started = session.NowMicros();
    }
    if (sink.progress && p.sent != shown_sent) {
      shown_sent = p.sent;
      progress.sent = p.sent;
      progress.micros = session.NowMicros() - started;
      progress.program_micros = program_started == 0 ? 0 : session.NowMicros() - program_started;
      sink.progress(progress);
    }
  };
  session.on_update_ended = [&](UpdateOutcome ended) { outcome = ended; };
  UpdaterWindow& window = session.window();
  const uint64_t run_start = session.NowMicros();

  const auto finish = [&](int code, std::string text, std::string detail) {
    result.exit_code = code;
    result.result = std::move(text);
    result.detail = std::move(detail);
    result.seconds = static_cast<double>(session.NowMicros() - run_start) / 1e6;
    return result;
  };

  session.Start(options.baud, options.pacing());
  const Reach reach = session.Connect(options.uid);
  if (const int signal = PendingInterrupt(); signal != 0) {
    return finish(InterruptExitCode(signal), "aborted",
                  InterruptText(signal) + " Nothing was flashed.");
  }
  if (reach == Reach::kNoAdapter) {
    return finish(kExitNoAdapter, "no adapter", "No USB-to-RS485 adapter could be opened.");
  }
  if (reach == Reach::kNoDevice) {
    return finish(kExitNoDevice, "no device",
                  "No RDM fixture answered the discovery (only one may be connected).");
  }
  result.uid = session.uid();
  // The version before the update, for "Software version: A -> B".
  if (const Result<DeviceInfo> before = session.ReadDeviceInfo(false); before) {
    result.version_before = before->software_version;
  }
  if (const int signal = PendingInterrupt(); signal != 0) {
    return finish(InterruptExitCode(signal), "aborted",
                  InterruptText(signal) + " Nothing was flashed.");
  }

  started = session.NowMicros();
  if (!window.StartUpdate(file.path, *file.loaded)) {
    return finish(kExitBadFile, "bad file", "The firmware file could not be loaded.");
  }

  const int64_t bound = FlashTickBound(file.chunks, file.erases);
  session.RunUntil([&] { return outcome.has_value(); }, bound);
  const int signal = PendingInterrupt();
  if (!outcome && signal != 0) {
    // Aborted as the Abort button aborts: nothing more is sent.
    window.AbortUpdate();
  }

  if (!outcome) {
    // Never seen: the procedure's attempt budgets end it long before the bound.
    window.AbortUpdate();
    return finish(kExitUpdateAborted, "aborted", "The update did not end in time.");
  }

  SimulatedLine* line = drivers.simulated_line();
  SimulatedFixture* fixture =
      line != nullptr ? TargetFixture(*line, session.target_uid()) : nullptr;
  if (fixture == nullptr && line != nullptr && line->adapter_count() > 0 &&
      line->fixture_count(0) > 0) {
    fixture = &line->fixture(0, 0);
  }
  if (!dump_path.empty() && fixture != nullptr) {
    if (const Status dumped = DumpFlash(fixture->flash(), dump_path); !dumped && sink.message_box) {
      sink.message_box(dumped.error().message);
    }
  }

  result.version_after = window.job.started_version();
  switch (*outcome) {
    case UpdateOutcome::kSuccess:
      break;
    case UpdateOutcome::kAbortedByUser:
      if (signal != 0) {
        return finish(InterruptExitCode(signal), "aborted",
                      InterruptText(signal) + " " + UpdateOutcomeText(*outcome));
      }
      return finish(kExitUpdateAborted, "aborted", UpdateOutcomeText(*outcome));
    case UpdateOutcome::kNoDevice:
      return finish(kExitNoDevice, "no device", UpdateOutcomeText(*outcome));
    case UpdateOutcome::kAttemptsExhausted:
      return finish(kExitUpdateAborted, "aborted", UpdateOutcomeText(*outcome));
    case UpdateOutcome::kStartUnanswered:
      return finish(kExitUpdateAborted, "start unanswered", UpdateOutcomeText(*outcome));
    case UpdateOutcome::kStartRefused:
      return finish(kExitRefused, "start refused", UpdateOutcomeText(*outcome));
    case UpdateOutcome::kStaysInBootloader:
      return finish(kExitInBootloader, "stays in bootloader", UpdateOutcomeText(*outcome));
    case UpdateOutcome::kNoAnswerAfterStart:
      return finish(kExitNoAnswerAfterStart, "no answer after start", UpdateOutcomeText(*outcome));
  }
  if (fixture != nullptr) {
    uint32_t mismatch = 0;
    result.flash_checked = true;
    if (!FlashHoldsImage(fixture->flash(), *file.loaded, &mismatch)) {
      return finish(kExitUpdateAborted, "flash mismatch",
                    "The fixture reported success but its flash differs from the image at " +
                        Hex(mismatch) + ".");
    }
    return finish(kExitSuccess, "success",
                  "The fixture answers from its new application, and the simulated fixture's "
                  "flash holds the image.");
  }
  return finish(kExitSuccess, "success", UpdateOutcomeText(*outcome));
}

}  // namespace quillmont::cli
