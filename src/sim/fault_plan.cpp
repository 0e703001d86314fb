// SPDX-License-Identifier: Apache-2.0
#include "sim/fault_plan.h"

#include <charconv>

#include "sim/adapter_model.h"

namespace quillmont {
namespace {

bool ParseUnsigned(std::string_view text, uint64_t& value) {
  if (text.empty()) {
    return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// "0", "1", "0.02", ".5": a probability from 0 to 1, parsed by hand so that no locale matters.
bool ParseProbability(std::string_view text, double& value) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) {
    return false;
  }
  uint64_t w = 0;
  if (!whole.empty() && !ParseUnsigned(whole, w)) {
    return false;
  }
  if (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 9)) {
    return false;
  }
  double f = 0.0;
  double scale = 0.1;
  for (char c : fraction) {
    if (c < '0' || c > '9') {
      return false;
    }
    f += (c - '0') * scale;
    scale /= 10;
  }
  value = static_cast<double>(w) + f;
  return value <= 1.0;
}

bool ParseTime(std::string_view text, uint64_t& micros) {
  uint64_t scale = 0;
  std::string_view number;
  if (text.ends_with("us")) {
    scale = 1;
    number = text.substr(0, text.size() - 2);
  } else if (text.ends_with("ms")) {
    scale = 1000;
    number = text.substr(0, text.size() - 2);
  } else if (text.ends_with("s")) {
    scale = 1000000;
    number = text.substr(0, text.size() - 1);
  } else {
    return false;
  }
  uint64_t value = 0;
  if (!ParseUnsigned(number, value) || value > UINT64_MAX / scale / 2) {
    return false;
  }
  micros = value * scale;
  return true;
}

Status Fail(std::string_view item, std::string_view why) {
  return Error{"bad fault \"" + std::string(item) + "\": " + std::string(why)};
}

// The faults that are a name alone. False when `item` is none of them.
bool ParseFlag(std::string_view item, FaultPlan& plan) {
  const struct {
    const char* name;
    bool FaultPlan::*flag;
  } kFlags[] = {
      {"second-fixture", &FaultPlan::second_fixture},   {"echo", &FaultPlan::echo},
      {"ideal-adapter", &FaultPlan::ideal_adapter},     {"refuse-break", &FaultPlan::refuse_break},
      {"simulated-break", &FaultPlan::simulated_break}, {"console-dmx", &FaultPlan::console_dmx},
  };
  for (const auto& flag : kFlags) {
    if (item == flag.name) {
      plan.*flag.flag = true;
      return true;
    }
  }
  return false;
}

Status ParseItem(std::string_view item, FaultPlan& plan) {
  if (ParseFlag(item, plan)) {
    return {};
  }
  const size_t at = item.find('@');
  const size_t eq = item.find('=');
  if (at != std::string_view::npos && (eq == std::string_view::npos || at < eq)) {
    const std::string_view name = item.substr(0, at);
    std::string_view when = item.substr(at + 1);
    uint32_t count = 8;
    if (name == "noise") {
      const size_t colon = when.find(':');
      if (colon != std::string_view::npos) {
        uint64_t n = 0;
        if (!ParseUnsigned(when.substr(colon + 1), n) || n < 1 || n > 256) {
          return Fail(item, "expected a byte count from 1 to 256 after ':'");
        }
        count = static_cast<uint32_t>(n);
        when = when.substr(0, colon);
      }
    }
    uint64_t micros = 0;
    if (!ParseTime(when, micros)) {
      return Fail(item, "expected a time such as 2000ms, 10s or 500us");
    }
    if (name == "noise") {
      plan.noise.push_back({micros, count});
    } else if (name == "unplug") {
      if (!plan.unplugs.empty() && plan.unplugs.back().replug_micros == UINT64_MAX) {
        return Fail(item, "the adapter is already unplugged");
      }
      if (!plan.unplugs.empty() && micros < plan.unplugs.back().replug_micros) {
        return Fail(item, "an unplug must come after the previous replug");
      }
      plan.unplugs.push_back({micros, UINT64_MAX});
    } else if (name == "replug") {
      if (plan.unplugs.empty() || plan.unplugs.back().replug_micros != UINT64_MAX) {
        return Fail(item, "a replug needs an unplug before it");
      }
      if (micros <= plan.unplugs.back().unplug_micros) {
        return Fail(item, "a replug must come after its unplug");
      }
      plan.unplugs.back().replug_micros = micros;
    } else {
      return Fail(item, "unknown timed fault (noise, unplug or replug)");
    }
    return {};
  }
  if (eq == std::string_view::npos) {
    return Fail(item, "expected name=value, name@time or a fault's name");
  }
  const std::string_view name = item.substr(0, eq);
  const std::string_view value = item.substr(eq + 1);
  uint64_t n = 0;
  if (name == "seed") {
    if (!ParseUnsigned(value, n)) {
      return Fail(item, "expected an unsigned number");
    }
    plan.seed = n;
  } else if (name == "drop" || name == "corrupt") {
    if (!ParseUnsigned(value, n) || n < 1) {
      return Fail(item, "expected a reply number from 1");
    }
    (name == "drop" ? plan.drop_replies : plan.corrupt_replies).push_back(n);
  } else if (name == "drop-rate" || name == "corrupt-rate") {
    double p = 0.0;
    if (!ParseProbability(value, p)) {
      return Fail(item, "expected a probability from 0 to 1");
    }
    (name == "drop-rate" ? plan.drop_rate : plan.corrupt_rate) = p;
  } else if (name == "slow") {
    if (!ParseUnsigned(value, n) || n < 1 || n > 1000) {
      return Fail(item, "expected a factor from 1 to 1000");
    }
    plan.slow = static_cast<uint32_t>(n);
  } else if (name == "reset-in-erase") {
    if (!ParseUnsigned(value, n) || n < 1 || n > 1000000) {
      return Fail(item, "expected an erase command number from 1");
    }
    plan.reset_in_erase = static_cast<int>(n);
  } else if (name == "stray") {
    if (!ParseUnsigned(value, n) || n < 1 || n > 8) {
      return Fail(item, "expected a byte count from 1 to 8");
    }
    plan.stray_bytes = static_cast<uint32_t>(n);
  } else if (name == "latency") {
    uint64_t micros = 0;
    if (!ParseTime(value, micros) || micros % 1000 != 0 || micros < 1000 ||
        micros > uint64_t{kMaxLatencyTimerMs} * 1000) {
      return Fail(item, "expected whole milliseconds from 1ms to 255ms");
    }
    plan.latency_timer_ms = static_cast<uint32_t>(micros / 1000);
  } else {
    return Fail(item, "unknown fault");
  }
  return {};
}

}  // namespace

Result<FaultPlan> ParseFaultList(std::string_view text) {
  FaultPlan parsed;
  if (text.empty()) {
    return parsed;
  }
  size_t begin = 0;
  for (;;) {
    const size_t comma = text.find(',', begin);
    const std::string_view item = text.substr(
        begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin);
    if (item.empty()) {
      return Error{"bad fault list: empty item"};
    }
    if (Status parsed_item = ParseItem(item, parsed); !parsed_item) {
      return parsed_item.error();
    }
    if (comma == std::string_view::npos) {
      break;
    }
    begin = comma + 1;
  }
  return parsed;
}

uint64_t FaultRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace quillmont
