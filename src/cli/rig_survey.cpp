#include "cli/rig_survey.h"

#include <algorithm>
#include <cstdio>

#include "app/baud_list.h"
#include "app/decimal_text.h"
#include "cli/exit_codes.h"
#include "rdm/byte_order.h"
#include "rdm/frame_view.h"
#include "rdm/full_discovery.h"
#include "rdm/message.h"
#include "rdm/transaction.h"

namespace quillmont::cli {
namespace {

// DEVICE_INFO's model ID follows the protocol version.
constexpr size_t kModelIdOffset = 2;
constexpr size_t kDeviceInfoBytes = 19;

std::optional<RdmFrameView> Ask(LineIo& io, LinkHandle& link, const RdmUid& uid,
                                uint8_t command_class, uint16_t pid,
                                std::optional<std::vector<uint8_t>>& held) {
  held = Transact(io, link, uid, command_class, pid);
  if (!held) {
    return std::nullopt;
  }
  return RdmFrameView::Of(*held);
}

std::string Label(const RdmFrameView& frame) {
  const auto data = frame.data();
  return std::string(data.begin(), std::find(data.begin(), data.end(), uint8_t{0}));
}

void AskFixture(LineIo& io, LinkHandle& link, RigFixture& fixture) {
  std::optional<std::vector<uint8_t>> held;
  // Directed to the fixture, the un-mute ends the discovery's mute and tells where it runs.
  if (const auto mode = Ask(io, link, fixture.uid, DISCOVERY_COMMAND, DISC_UN_MUTE, held);
      mode && mode->IsAck() && mode->data().size() >= 2) {
    fixture.answered = true;
    fixture.in_bootloader = (mode->data()[1] & kControlBootLoader) != 0;
  }
  if (const auto info = Ask(io, link, fixture.uid, GET_COMMAND, DEVICE_INFO, held);
      info && info->IsAck() && info->data().size() >= kDeviceInfoBytes) {
    fixture.answered = true;
    fixture.model_id = GetBe16(info->data().data() + kModelIdOffset);
  }
  if (const auto model = Ask(io, link, fixture.uid, GET_COMMAND, DEVICE_MODEL_DESCRIPTION, held);
      model && model->IsAck()) {
    fixture.answered = true;
    fixture.model = Label(*model);
  }
  if (const auto version = Ask(io, link, fixture.uid, GET_COMMAND, SOFTWARE_VERSION_LABEL, held);
      version && version->IsAck()) {
    fixture.answered = true;
    fixture.version = Label(*version);
  }
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
    return "already runs \"" + fixture.version + "\"";
  }
  return {};
}

}  // namespace

std::string ModelIdText(uint16_t model_id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(model_id));
  return text;
}

bool SurveyRig(DriverSet& drivers, int adapter, const std::string& baud, std::ostream& diag,
               std::vector<RigFixture>& fixtures) {
  LineIo io{drivers.driver(), drivers.clock(), diag};
  uint32_t count = 0;
  drivers.driver().FT_CreateDeviceInfoList(&count);
  LinkHandle link = nullptr;
  for (uint32_t i = 0; i < count && i < 1024 && link == nullptr; ++i) {
    (void)OpenLink(io, link, static_cast<int>(i));  // the next one is tried
  }
  if (link == nullptr) {
    return false;
  }
  (void)SetLinkBaud(io, link, DecimalTextValue(baud.empty() ? kDefaultBaudText : baud));
  const FullDiscoveryResult found = DiscoverAllDevices(io, link);
  // A fixture that answered alone but never took the mute has a whole UID all the same.
  std::vector<RdmUid> uids = found.found;
  uids.insert(uids.end(), found.unresponsive.begin(), found.unresponsive.end());
  for (const RdmUid& uid : uids) {
    RigFixture fixture;
    fixture.adapter = adapter;
    fixture.uid = uid;
    fixture.uid_text = FormatUid(uid);
    AskFixture(io, link, fixture);
    fixtures.push_back(std::move(fixture));
  }
  drivers.driver().FT_Close(link);
  return true;
}

RigChoice SelectRigFixtures(std::vector<RigFixture>& fixtures, const RigSelection& selection) {
  if (fixtures.empty()) {
    return {kExitNoDevice, "No RDM fixture answered the discovery."};
  }
  for (const RdmUid& uid : selection.uids) {
    const bool there = std::any_of(fixtures.begin(), fixtures.end(),
                                   [&uid](const RigFixture& f) { return f.uid == uid; });
    if (!there) {
      return {kExitNotOnLine, FormatUid(uid) +
                                  " is not on the line: the discovery did not find "
                                  "it. Nothing was sent to any bootloader."};
    }
  }
  if (selection.model_id) {
    const bool any = std::any_of(fixtures.begin(), fixtures.end(), [&](const RigFixture& f) {
      return f.model_id == selection.model_id &&
             (selection.uids.empty() || Named(selection, f.uid));
    });
    if (!any) {
      return {kExitNoMatch, "No fixture on the line tells the device model ID " +
                                ModelIdText(*selection.model_id) +
                                ". Nothing was sent to any bootloader."};
    }
  }
  for (RigFixture& fixture : fixtures) {
    fixture.reason = Exclusion(fixture, selection);
    fixture.selected = fixture.reason.empty();
    if (fixture.selected) {
      fixture.reason = !fixture.answered       ? "no answer after the discovery"
                       : fixture.in_bootloader ? "in its bootloader, where an earlier update "
                                                 "was cut short"
                                               : "runs \"" + fixture.version + "\"";
    }
  }
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
  return {};
}

}  // namespace quillmont::cli
