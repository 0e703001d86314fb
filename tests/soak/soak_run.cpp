// SPDX-License-Identifier: Apache-2.0
#include "soak_run.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "app/control_ids.h"
#include "app/event_pacer.h"
#include "sim/nor_flash.h"
#include "sim/simulated_line.h"
#include "support/window_harness.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont::soak {
namespace {

// The longest wait an acting step of the update sets (an erase), and the attempts a start
// grants.
constexpr int64_t kLongestWait = 300;
constexpr int64_t kStartBudget = 5;
constexpr int64_t kFreshBudget = 6;
// Ticks the window gets to find the fixture before the operator clicks.
constexpr int64_t kConnectTicks = 40;

struct Example {
  const char* file;
  uint32_t signature_address;
  std::array<uint8_t, 4> signature_value;
};
constexpr Example kExamples[] = {
    {"fixture-app-1.1.srec2", 0x4100, {0x47, 0x4B, 0x4A, 0x41}},
    {"fixture-low-blocks.srec2", 0x4100, {0x47, 0x4B, 0x4A, 0x41}},
    {"fixture-low-start.srec2", 0x2000, {0x02, 0x21, 0x02, 0x23}},
    {nullptr, 0x4100, {0x47, 0x4B, 0x4A, 0x41}},  // RepeatingFirmware()
};

// A firmware whose code repeats itself: zeros from 0x4000 to 0x5FFF with "GKJA" at 0x4100, so
// that every program chunk holds the same bytes, and an end record. Written once per process into
// the temporary folder (the same bytes every time; a rename makes it appear whole).
std::string RepeatingFirmware() {
  static const std::string path = [] {
    const auto folder = std::filesystem::temp_directory_path();
    const auto final_path = folder / "quillmont-soak-repeating-ended.srec2";
    const auto scratch = folder / ("quillmont-soak-" + std::to_string(std::random_device{}()));
    {
      std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
      for (uint32_t address = 0x4000; address < 0x6000; address += 32) {
        uint8_t data[32] = {};
        if (address == 0x4100) {
          std::copy(kSignatureMagic.begin(), kSignatureMagic.end(), data);
        }
        uint32_t sum = 36 + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
        char text[8];
        std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(address));
        out << "S224" << text;
        for (uint8_t byte : data) {
          std::snprintf(text, sizeof text, "%02X", byte);
          out << text;
          sum += byte;
        }
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(~sum & 0xFF));
        out << text << "\n";
      }
      out << "S804000000FB\n";  // the end record: the file is whole
    }
    std::filesystem::rename(scratch, final_path);
    return final_path.string();
  }();
  return path;
}

bool Chance(FaultRandom& random, double p) {
  return random.NextUnit() < p;
}

// A fixture whose flash holds an older firmware everywhere the examples reach, so that a chunk
// programmed over flash that was not erased comes out wrong.
void LoadOldFirmware(SimulatedFixture& fixture, uint64_t seed) {
  FaultRandom random(seed ^ 0x6F6C64ull);
  std::vector<uint8_t> old(0x20000 - 0x400);
  for (uint8_t& byte : old) {
    byte = static_cast<uint8_t>(random.Next());
  }
  fixture.flash().Load(0x400, old.data(), static_cast<uint32_t>(old.size()));
  const FixtureConfig& config = fixture.config();
  fixture.flash().Load(config.signature_address, config.signature_value.data(), 4);
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSuccess:
      return "success";
    case Outcome::kBudgetAbort:
      return "aborted (budget)";
    case Outcome::kUserAbort:
      return "aborted (operator)";
    case Outcome::kNoDevice:
      return "no device";
    case Outcome::kStaysInBootloader:
      return "stays in bootloader";
    case Outcome::kUnconfirmed:
      return "unconfirmed start";
    case Outcome::kHang:
      return "hang";
  }
  return "?";
}

int ExampleCount() {
  return static_cast<int>(std::size(kExamples));
}

SoakCase CleanSoakCase(int example_index, const std::string& examples) {
  const Example& example = kExamples[example_index];
  SoakCase c;
  c.firmware = example.file != nullptr ? examples + "/" + example.file : RepeatingFirmware();
  c.fixture.signature_address = example.signature_address;
  c.fixture.signature_value = example.signature_value;
  c.description = example.file != nullptr ? example.file : "repeating-code";
  return c;
}

SoakCase MakeSoakCase(uint64_t seed, const std::string& examples) {
  FaultRandom random(seed * 0x9E3779B97F4A7C15ull + 1);
  SoakCase c = CleanSoakCase(static_cast<int>(random.Below(ExampleCount())), examples);
  c.seed = seed;
  c.faults.seed = seed;
  std::string& d = c.description;

  auto note = [&](const std::string& text) {
    d += " " + text;
    ++c.fault_count;
  };
  if (Chance(random, 0.5)) {
    c.faults.drop_rate = random.Below(30) / 100.0;
    note("drop-rate=" + std::to_string(c.faults.drop_rate).substr(0, 4));
  }
  if (Chance(random, 0.5)) {
    c.faults.corrupt_rate = random.Below(30) / 100.0;
    note("corrupt-rate=" + std::to_string(c.faults.corrupt_rate).substr(0, 4));
  }
  for (uint32_t i = 0, bursts = random.Below(4); i < bursts; ++i) {
    const NoiseBurst burst{uint64_t{random.Below(30'000)} * 1000, 1 + random.Below(256)};
    c.faults.noise.push_back(burst);
    note("noise@" + std::to_string(burst.at_micros / 1000) + "ms:" + std::to_string(burst.count));
  }
  if (Chance(random, 0.25)) {
    UnplugWindow window;
    window.unplug_micros = uint64_t{random.Below(20'000)} * 1000;
    window.replug_micros = window.unplug_micros + uint64_t{50 + random.Below(8'000)} * 1000;
    c.faults.unplugs.push_back(window);
    note("unplug@" + std::to_string(window.unplug_micros / 1000) + "ms,replug@" +
         std::to_string(window.replug_micros / 1000) + "ms");
  }
  if (Chance(random, 0.2)) {
    c.faults.slow = 1 + random.Below(200);
    note("slow=" + std::to_string(c.faults.slow));
  }
  if (Chance(random, 0.15)) {
    c.faults.reset_in_erase = 1 + static_cast<int>(random.Below(3));
    note("reset-in-erase=" + std::to_string(c.faults.reset_in_erase));
  }
  if (Chance(random, 0.15)) {
    c.fixture.start_in_bootloader = true;
    note("starts-in-bootloader");
  }
  if (Chance(random, 0.1)) {
    c.fixture.low_bootloader = true;
    note("low-bootloader");
  }
  if (Chance(random, 0.08)) {
    c.abort_at = random.Below(3'000);
    note("operator-abort@" + std::to_string(c.abort_at));
  }
  if (Chance(random, 0.05)) {
    c.rebaud_at = random.Below(3'000);
    note("baud-57600@" + std::to_string(c.rebaud_at));
  } else if (Chance(random, 0.03)) {
    c.fixture.baud = 115200;
    note("fixture-at-115200");
  }
  // The adapter, drawn apart so that the faults above stay what they were for each seed: half
  // the runs behind an FTDI cable, the rest behind one that hears itself or a CH340 stick.
  FaultRandom adapter_random(seed ^ 0x6164617074ull);
  const AdapterProfile adapters[] = {AdapterProfile::kFtdi, AdapterProfile::kFtdi,
                                     AdapterProfile::kFtdiEcho, AdapterProfile::kCh340};
  c.adapter = adapters[adapter_random.Below(4)];
  if (c.adapter != AdapterProfile::kFtdi) {
    d += std::string(" behind-") + AdapterProfileName(c.adapter);
  }
  return c;
}

SoakResult RunSoakCase(const SoakCase& soak_case, int64_t tick_limit) {
  SoakResult result;
  VirtualClock clock;
  SimulatedLine line(clock);
  const int adapter = line.AddAdapter();
  line.SetModel(adapter, ModelOfProfile(soak_case.adapter));
  SimulatedFixture& fixture = line.AddFixture(adapter, soak_case.fixture);
  LoadOldFirmware(fixture, soak_case.seed);

  auto h = std::make_unique<testing::WindowHarness>(line, clock);
  UpdaterWindow& window = h->window;
  std::unique_ptr<EventPacer> event_pacer;
  if (soak_case.pacing == Pacing::kEvent) {
    event_pacer = std::make_unique<EventPacer>(window, clock);
  }
  WindowPacer& pacer =
      event_pacer ? static_cast<WindowPacer&>(*event_pacer) : static_cast<WindowPacer&>(h->pacer);
  h->Init();
  pacer.RunUntil([&] { return window.device_found == 1; }, kConnectTicks);

  line.InstallFaults(adapter, soak_case.faults);
  h->port.file_dialog_answers.push_back(soak_case.firmware);
  window.OnUpdateButton();
  if (window.job.state() == UpdateState::kIdle) {
    result.broken.push_back("the update did not start");
    return result;
  }

  // Every acting step spends one attempt and is preceded by at most the longest wait. Attempts
  // come from the start and from the refills of progress: a bootloader found, an erase or a
  // chunk acknowledged, programming begun or finished, each worth at most a fresh budget of 6.
  // A tick is taken to have made two such grants when the state or the write address moved,
  // one when an erase was acknowledged: more than it can have, so the bound stays sound.
  const UpdateJob& job = window.job;
  int64_t grants = 0;
  int64_t ticks = 0;
  while (job.state() != UpdateState::kIdle && ticks < tick_limit) {
    if (ticks == soak_case.abort_at) {
      window.OnUpdateButton();
      break;
    }
    if (ticks == soak_case.rebaud_at) {
      const int index = h->port.ComboFindStringExact(kBaudCombo, "57600");
      h->port.ComboSetCurSel(kBaudCombo, index);
      window.OnBaudChanged();
    }
    const UpdateState state = job.state();
    const uint32_t address = job.write_address();
    const int16_t erase_count = window.erase_plan.erase_count;
    pacer.Tick();
    ++ticks;
    grants += (job.state() != state ? 2 : 0) + (job.write_address() != address ? 2 : 0) +
              (window.erase_plan.erase_count < erase_count ? 1 : 0);
  }
  const int64_t attempts = kStartBudget + kFreshBudget * grants;
  result.ticks = ticks;
  result.tick_bound = kLongestWait + (kLongestWait + 1) * (attempts + 1);
  result.log = window.log_text;

  const std::vector<std::string>& boxes = h->port.message_boxes;
  const bool no_device =
      std::find(boxes.begin(), boxes.end(), "No devices connected") != boxes.end();
  if (window.job.state() != UpdateState::kIdle) {
    result.outcome = Outcome::kHang;
  } else if (Contains(result.log, "The fixture answers from its new application")) {
    // The acknowledged start alone is no success: the verification after it must have heard the
    // new application.
    result.outcome = Outcome::kSuccess;
  } else if (Contains(result.log, "The fixture is still in its bootloader")) {
    result.outcome = Outcome::kStaysInBootloader;
  } else if (Contains(result.log, "Operation ABORTED !  :-(")) {
    result.outcome = Outcome::kBudgetAbort;
  } else if (Contains(result.log, "Operation Aborted by User.")) {
    result.outcome = Outcome::kUserAbort;
  } else if (no_device) {
    result.outcome = Outcome::kNoDevice;
  } else {
    result.outcome = Outcome::kUnconfirmed;
  }

  // The flash against a fresh load of the file: the analysis has not touched it, so the
  // signature is in it.
  auto fresh = std::make_unique<FirmwareImage>();
  if (!LoadSrec2File(soak_case.firmware, *fresh)) {
    result.broken.push_back("the firmware file did not load again");
  }
  result.flash_holds_image = FlashHoldsImage(fixture.flash(), *fresh, &result.first_mismatch);

  if (result.outcome == Outcome::kHang) {
    result.broken.push_back("still running after " + std::to_string(ticks) + " ticks");
  }
  if (result.outcome == Outcome::kSuccess && !result.flash_holds_image) {
    result.broken.push_back("success reported over a wrong flash");
  }
  if (ticks > result.tick_bound) {
    result.broken.push_back("took " + std::to_string(ticks) + " ticks, more than the bound " +
                            std::to_string(result.tick_bound));
  }
  if (h->port.Text(kUpdateButton) != "Update Firmware") {
    result.broken.push_back("the button reads \"" + h->port.Text(kUpdateButton) + "\"");
  }
  return result;
}

void SoakTotals::Add(const SoakCase& soak_case, const SoakResult& result) {
  ++runs;
  faults += soak_case.fault_count;
  switch (result.outcome) {
    case Outcome::kSuccess:
      ++successes;
      wrong_flashes += result.flash_holds_image ? 0 : 1;
      break;
    case Outcome::kBudgetAbort:
      ++budget_aborts;
      break;
    case Outcome::kUserAbort:
      ++user_aborts;
      break;
    case Outcome::kNoDevice:
      ++no_device;
      break;
    case Outcome::kStaysInBootloader:
      ++stays_in_bootloader;
      break;
    case Outcome::kUnconfirmed:
      ++unconfirmed;
      break;
    case Outcome::kHang:
      ++hangs;
      break;
  }
  over_bound += result.ticks > result.tick_bound ? 1 : 0;
}

}  // namespace quillmont::soak
