// SPDX-License-Identifier: Apache-2.0
#include "station/rig.h"

#include <algorithm>
#include <cstdio>

#include "rdm/byte_order.h"
#include "rdm/fixture_text.h"
#include "rdm/frame_view.h"
#include "rdm/message.h"
#include "rdm/transaction.h"
#include "station/flash_run.h"
#include "station/line_discovery.h"
#include "station/locked_events.h"

namespace quillmont {
namespace {

// DEVICE_INFO's model ID follows the protocol version.
constexpr size_t kModelIdOffset = 2;
constexpr size_t kDeviceInfoBytes = 19;

// The acknowledged response of `uid` to one GET (or DISC_UN_MUTE), or nothing; nothing at once
// once the run is to stop.
std::optional<std::vector<uint8_t>> Ask(OwnLine& line, const RdmUid& uid, uint8_t command_class,
                                        uint16_t pid, const RunSettings& settings) {
  TransactionOptions options;
  options.stop = settings.stop;
  std::optional<std::vector<uint8_t>> held =
      Transact(line.io(), line.link(), uid, command_class, pid, nullptr, 0, options);
  if (!held) {
    return std::nullopt;
  }
  const std::optional<RdmFrameView> frame = RdmFrameView::Of(*held);
  return frame && frame->IsAck() ? held : std::nullopt;
}

void AskFixture(OwnLine& line, RigFixture& fixture, const RunSettings& settings) {
  const auto ask = [&](uint8_t command_class, uint16_t pid) {
    return Ask(line, fixture.uid, command_class, pid, settings);
  };
  // Directed to the fixture, the un-mute ends the discovery's mute and tells where it runs.
  if (const auto held = ask(DISCOVERY_COMMAND, DISC_UN_MUTE)) {
    const auto data = RdmFrameView::Of(*held)->data();
    if (data.size() >= 2) {
      fixture.answered = true;
      fixture.in_bootloader = (data[1] & kControlBootLoader) != 0;
    }
  }
  // A bootloader tells its version label alone: it is not asked for a model it does not give.
  if (fixture.in_bootloader) {
    if (const auto held = ask(GET_COMMAND, SOFTWARE_VERSION_LABEL)) {
      fixture.version = FixtureTextOf(RdmFrameView::Of(*held)->data());
    }
    return;
  }
  if (const auto held = ask(GET_COMMAND, DEVICE_INFO)) {
    const auto data = RdmFrameView::Of(*held)->data();
    if (data.size() >= kDeviceInfoBytes) {
      fixture.answered = true;
      fixture.model_id = GetBe16(data.data() + kModelIdOffset);
    }
  }
  if (const auto held = ask(GET_COMMAND, DEVICE_MODEL_DESCRIPTION)) {
    fixture.answered = true;
    fixture.model = FixtureTextOf(RdmFrameView::Of(*held)->data());
  }
  if (const auto held = ask(GET_COMMAND, SOFTWARE_VERSION_LABEL)) {
    fixture.answered = true;
    fixture.version = FixtureTextOf(RdmFrameView::Of(*held)->data());
  }
}

// What one line's survey found.
struct LineSurvey {
  std::vector<RigFixture> fixtures;
  bool complete = true;  // its discovery ended because a pass found nothing new
  // What the line told of the adapter on the way (a break it cannot send), for people.
  std::vector<std::string> notices;
};

// Every fixture on the first adapter of `line` that opens; an error when none opens.
Result<LineSurvey> SurveyLine(const StationLine& line, const RunSettings& settings) {
  Result<std::unique_ptr<OwnLine>> own = OwnLine::OpenFirst(*line.set, settings);
  if (!own) {
    return own.error();
  }
  FullDiscoveryOptions options;
  options.stop = settings.stop;
  const FullDiscoveryResult found = DiscoverAllDevices((*own)->io(), (*own)->link(), options);
  // A fixture that answered alone but never took the mute has a whole UID all the same.
  std::vector<RdmUid> uids = found.found;
  uids.insert(uids.end(), found.unresponsive.begin(), found.unresponsive.end());
  LineSurvey survey;
  survey.complete = found.complete;
  for (const RdmUid& uid : uids) {
    RigFixture fixture;
    fixture.adapter = line.adapter;
    fixture.uid = uid;
    fixture.uid_text = FormatUid(uid);
    if (!settings.StopRequested()) {
      AskFixture(**own, fixture, settings);
    }
    survey.fixtures.push_back(std::move(fixture));
  }
  survey.notices = TakeLineNotices((*own)->io());
  return survey;
}

bool Named(const RigSelection& selection, const RdmUid& uid) {
  return std::find(selection.uids.begin(), selection.uids.end(), uid) != selection.uids.end();
}

// Why `fixture` is not updated, or "" when it is.
std::string Exclusion(const RigFixture& fixture, const RigSelection& selection) {
  if (!selection.uids.empty() && !Named(selection, fixture.uid)) {
    return "not named by --uid";
  }
  if (selection.model_id && !fixture.model_id) {
    return fixture.in_bootloader
               ? "its bootloader does not tell the model ID; name it by --uid alone"
               : "it did not tell its model ID";
  }
  if (selection.model_id && *fixture.model_id != *selection.model_id) {
    return "model " + ModelIdText(*fixture.model_id) + ", not " + ModelIdText(*selection.model_id);
  }
  if (selection.skip_version && fixture.answered && fixture.version == *selection.skip_version) {
    return "already runs \"" + WindowText(fixture.version) + "\"";
  }
  return {};
}

// A refusal when the selection names what is not there.
RigChoice CheckSelection(const std::vector<RigFixture>& fixtures, const RigSelection& selection) {
  if (fixtures.empty()) {
    return {RigRefusal::kNoFixture, "No RDM fixture answered the discovery."};
  }
  for (const RdmUid& uid : selection.uids) {
    if (std::none_of(fixtures.begin(), fixtures.end(),
                     [&uid](const RigFixture& f) { return f.uid == uid; })) {
      return {RigRefusal::kNotOnLine, FormatUid(uid) +
                                          " is not on the line: the discovery did not find it. "
                                          "Nothing was sent to any bootloader."};
    }
  }
  if (selection.model_id &&
      std::none_of(fixtures.begin(), fixtures.end(), [&](const RigFixture& f) {
        return f.model_id == selection.model_id &&
               (selection.uids.empty() || Named(selection, f.uid));
      })) {
    return {RigRefusal::kNoMatch, "No fixture on the line tells the device model ID " +
                                      ModelIdText(*selection.model_id) +
                                      ". Nothing was sent to any bootloader."};
  }
  return {};
}

// A refusal when the survey found another number of fixtures than the selection expects.
RigChoice CheckCount(const std::vector<RigFixture>& fixtures, const RigSelection& selection,
                     size_t lines) {
  const auto found = static_cast<int>(fixtures.size());
  if (!selection.expect || *selection.expect == found) {
    return {};
  }
  const auto count = [](int n) { return std::to_string(n) + (n == 1 ? " fixture" : " fixtures"); };
  return {RigRefusal::kCountMismatch, "The survey found " + count(found) +
                                          (lines > 1 ? " on the lines" : " on the line") +
                                          ", not the " + std::to_string(*selection.expect) +
                                          " expected. Nothing was sent to any bootloader."};
}

// What a survey that a stop request ended shows: every fixture it found, none started.
void PlanStopped(std::vector<RigFixture>& fixtures, RigPlan& plan) {
  plan.stopped = true;
  for (RigFixture& fixture : fixtures) {
    fixture.reason = "the survey was stopped";
    FlashResult result;
    result.uid = fixture.uid_text;
    result.model = fixture.model;
    result.version_before = fixture.version;
    result.verdict = FlashVerdict::kNotStarted;
    result.stopped = true;
    result.detail = "The survey was stopped before the update began. Nothing was flashed.";
    plan.entries.push_back(RigEntry{std::move(fixture), std::move(result)});
  }
}

// What a fixture that will not be updated is shown with.
FlashResult NotRun(const RigFixture& fixture, bool dry_run) {
  FlashResult r;
  r.uid = fixture.uid_text;
  r.model = fixture.model;
  r.version_before = fixture.version;
  if (fixture.selected && !fixture.answered) {
    r.verdict = FlashVerdict::kNoAnswer;
    r.detail = "The fixture answered the discovery, then nothing. Nothing was flashed.";
    return r;
  }
  r.verdict = fixture.selected && dry_run ? FlashVerdict::kWouldUpdate : FlashVerdict::kSkipped;
  r.detail = fixture.reason;
  return r;
}

}  // namespace

std::string ModelIdText(uint16_t model_id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(model_id));
  return text;
}

RigChoice SelectRigFixtures(std::vector<RigFixture>& fixtures, const RigSelection& selection) {
  if (RigChoice refused = CheckSelection(fixtures, selection);
      refused.refusal != RigRefusal::kNone) {
    return refused;
  }
  for (RigFixture& fixture : fixtures) {
    fixture.reason = Exclusion(fixture, selection);
    fixture.selected = fixture.reason.empty();
    if (fixture.selected) {
      fixture.reason = !fixture.answered       ? "no answer after the discovery"
                       : fixture.in_bootloader ? "in its bootloader, where an earlier update "
                                                 "was cut short"
                                               : "runs \"" + WindowText(fixture.version) + "\"";
    }
  }
  OrderRigFixtures(fixtures);
  return {};
}

void OrderRigFixtures(std::vector<RigFixture>& fixtures) {
  std::stable_sort(fixtures.begin(), fixtures.end(), [](const RigFixture& a, const RigFixture& b) {
    const auto rank = [](const RigFixture& f) { return !f.selected ? 2 : f.in_bootloader ? 0 : 1; };
    if (a.adapter != b.adapter) {
      return a.adapter < b.adapter;
    }
    if (rank(a) != rank(b)) {
      return rank(a) < rank(b);
    }
    return a.uid < b.uid;
  });
}

RigPlan PlanRig(std::span<const StationLine> lines, const RigSelection& selection, bool dry_run,
                const RunSettings& settings, StationEvents& events) {
  std::vector<Result<LineSurvey>> surveyed(lines.size(), Error{});
  ForEachLineAtOnce(lines.size(), [&](size_t i) { surveyed[i] = SurveyLine(lines[i], settings); });
  RigPlan plan;
  std::vector<RigFixture> fixtures;
  bool opened = false;
  for (const Result<LineSurvey>& line : surveyed) {
    if (line) {
      opened = true;
      plan.complete = plan.complete && line->complete;
      fixtures.insert(fixtures.end(), line->fixtures.begin(), line->fixtures.end());
      for (const std::string& notice : line->notices) {
        events.OnWarning(notice);  // why a line found nobody, where it was the adapter
      }
    }
  }
  plan.found = static_cast<int>(fixtures.size());
  if (settings.StopRequested()) {
    PlanStopped(fixtures, plan);
    return plan;
  }
  if (!opened) {
    plan.refusal = RigRefusal::kNoAdapter;
    plan.detail = "No USB-to-RS485 adapter could be opened.";
    return plan;
  }
  RigChoice choice = CheckCount(fixtures, selection, lines.size());
  if (choice.refusal == RigRefusal::kNone) {
    choice = SelectRigFixtures(fixtures, selection);
  }
  plan.refusal = choice.refusal;
  plan.detail = choice.detail;
  if (plan.refusal != RigRefusal::kNone) {
    return plan;
  }
  events.OnSurvey(fixtures);
  for (RigFixture& fixture : fixtures) {
    FlashResult result = NotRun(fixture, dry_run);
    plan.entries.push_back(RigEntry{std::move(fixture), std::move(result)});
  }
  return plan;
}

void UpdateRig(std::span<const StationLine> lines, const FirmwareFile& file, RigPlan& plan,
               const RunSettings& settings, StationEvents& events) {
  LockedEvents locked(events);
  ForEachLineAtOnce(lines.size(), [&](size_t l) {
    const StationLine& line = lines[l];
    const auto chosen = [&line](const RigEntry& e) {
      return e.fixture.adapter == line.adapter && e.fixture.ToUpdate();
    };
    const auto total =
        static_cast<int>(std::count_if(plan.entries.begin(), plan.entries.end(), chosen));
    int number = 0;
    for (RigEntry& entry : plan.entries) {
      if (!chosen(entry) || settings.StopRequested()) {
        continue;
      }
      locked.OnFixtureBegins(entry.fixture, ++number, total);
      const FixtureFacts surveyed{entry.fixture.model, entry.fixture.version};
      entry.result =
          RunFlash(*line.set, file, entry.fixture.uid, settings, locked, line.adapter, surveyed);
      entry.ran = true;
      locked.OnFixtureResult(entry.fixture, entry.result);
    }
  });
  for (RigEntry& entry : plan.entries) {
    if (entry.fixture.ToUpdate() && !entry.ran) {
      entry.result.verdict = FlashVerdict::kNotStarted;
      entry.result.stopped = settings.StopRequested();
      entry.result.detail = "The run ended before this fixture's turn. Nothing was flashed.";
    }
  }
}

}  // namespace quillmont
