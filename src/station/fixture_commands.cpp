// SPDX-License-Identifier: Apache-2.0
#include "station/fixture_commands.h"

#include <cstdio>

#include "rdm/frame_view.h"

namespace quillmont {
namespace {

FixtureReport Report(FixtureVerdict verdict, std::string detail, const Session& session) {
  FixtureReport report;
  report.verdict = session.stopped() ? FixtureVerdict::kStopped : verdict;
  report.detail = session.stopped() ? std::string() : std::move(detail);
  report.uid = session.uid();
  return report;
}

// Starts the session and reaches the fixture; the report when the command ends there.
std::optional<FixtureReport> ReachFixture(Session& session, const std::optional<RdmUid>& uid) {
  if (const Status started = session.Start(); !started) {
    return Report(FixtureVerdict::kNoAdapter, started.error().message, session);
  }
  switch (session.Connect(uid)) {
    case Reach::kNoAdapter:
      return Report(FixtureVerdict::kNoAdapter, "No USB-to-RS485 adapter could be opened.",
                    session);
    case Reach::kNoDevice:
      return Report(FixtureVerdict::kNoDevice,
                    "No RDM fixture answered the discovery (only one may be connected).", session);
    case Reach::kDevice:
      break;
  }
  if (session.stopped()) {
    return Report(FixtureVerdict::kStopped, "", session);
  }
  return std::nullopt;
}

std::string NackText(uint16_t reason) {
  char text[64];
  std::snprintf(text, sizeof text, " (NACK reason 0x%04X).", static_cast<unsigned>(reason));
  return "The fixture refused the request: " + NackReasonName(reason) + text;
}

}  // namespace

FixtureReport ReadFixture(LineSet& line, const std::optional<RdmUid>& uid,
                          const RunSettings& settings, StationEvents& events) {
  Session session(line, events, settings);
  if (std::optional<FixtureReport> ended = ReachFixture(session, uid)) {
    return std::move(*ended);
  }
  const Result<DeviceInfo> read = session.ReadDeviceInfo();
  if (!read) {
    return Report(FixtureVerdict::kNoDevice, read.error().message, session);
  }
  // Its answers may have told enough without the fixture being asked where it runs.
  const FixtureMode mode =
      read->mode != FixtureMode::kUnknown ? read->mode : session.ReadFixtureMode();
  const bool in_bootloader = mode == FixtureMode::kBootloader;
  FixtureReport report =
      Report(in_bootloader ? FixtureVerdict::kInBootloader : FixtureVerdict::kDone,
             in_bootloader ? "The fixture is in its bootloader: it runs no application. The "
                             "version shown is the bootloader's."
                           : "",
             session);
  report.info = *read;
  report.in_bootloader = in_bootloader;
  return report;
}

FixtureReport SetOnFixture(LineSet& line, const std::optional<RdmUid>& uid,
                           const RunSettings& settings, StationEvents& events,
                           const FixtureSet& request) {
  Session session(line, events, settings);
  if (std::optional<FixtureReport> ended = ReachFixture(session, uid)) {
    return std::move(*ended);
  }
  // The discovery's own requests for the device's texts are answered first.
  const Result<DeviceInfo> read = session.ReadDeviceInfo();
  const FixtureMode mode =
      read && read->mode != FixtureMode::kUnknown ? read->mode : session.ReadFixtureMode();
  const std::string target = session.uid();
  if (session.stopped() || mode == FixtureMode::kBootloader) {
    return Report(FixtureVerdict::kInBootloader,
                  "The fixture " + target +
                      " is in its bootloader, which does not take this request; nothing was "
                      "sent. Flash its firmware first.",
                  session);
  }
  UpdaterWindow& window = session.window();
  const SetAnswer answer = session.SendAndAwait([&] {
    if (request.kind == FixtureSet::Kind::kIdentify) {
      window.Identify(request.identify_on);
    } else {
      window.SetDmxAddress(request.address);
    }
  });
  if (answer.answer == Answer::kNone) {
    return Report(FixtureVerdict::kNoAnswer, "The fixture " + target + " did not answer.", session);
  }
  if (answer.answer == Answer::kNack) {
    FixtureReport refused = Report(FixtureVerdict::kRefused, NackText(answer.nack_reason), session);
    refused.nack_reason = answer.nack_reason;
    return refused;
  }
  return Report(FixtureVerdict::kDone, "", session);
}

}  // namespace quillmont
