// SPDX-License-Identifier: Apache-2.0
// How a simulated USB-to-RS485 adapter behaves, after the adapters technicians own.
//
//   - The chip collects what arrives on the line and sends it over USB in packets (62 data bytes
//     on an FTDI chip, 32 on a CH340). A packet goes out when it is full, or when the latency
//     timer, started by the packet's first byte, runs out (1 ms as Quillmont sets it; 16 ms is
//     the FTDI driver's default). Until then none of its bytes can be read.
//   - A break on the line is reported as a 0x00 data byte (with a framing error that the driver
//     does not pass on), so an RDM response, which begins with a break, reaches the host with a
//     NUL in front of its start code. A discovery answer has no break and no NUL.
//   - An adapter whose receiver stays on while it sends (a CH340 stick, a board with /RE tied
//     low) hears itself: its own break as a NUL, then every byte it writes.
//   - An adapter that switches its driver by itself holds the line for a while after its last
//     byte; what a fixture sends meanwhile is lost.
//   - Some drivers cannot make a break: they refuse it, take a couple of hundred milliseconds
//     over one they simulate, or accept it without the line ever seeing it.
//
// The ideal adapter (for benchmarks and timing tests) hands over every byte as soon as its last
// bit is through and reports no break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"

namespace quillmont {

inline constexpr size_t kUsbPacketDataBytes = 62;
inline constexpr uint32_t kDefaultLatencyTimerMs = 1;
inline constexpr uint32_t kMaxLatencyTimerMs = 255;
// How long a driver that simulates the break holds the line low (CH34x chips without a break
// register, under Linux's ch341 driver).
inline constexpr uint64_t kSimulatedBreakMicros = 200'000;

struct AdapterModel {
  bool ideal = false;
  uint32_t latency_timer_ms = kDefaultLatencyTimerMs;
  size_t packet_bytes = kUsbPacketDataBytes;
  bool hears_itself = false;
  // The line stays driven this long after the adapter's last byte.
  uint64_t driver_hold_micros = 0;
  bool refuses_break = false;
  bool break_reaches_line = true;
  // How long a break call takes, at the least: a driver that simulates the break.
  uint64_t break_call_micros = 0;
  // What the adapter is, for what the backend tells of it.
  const char* chip = "FTDI FT232R";
  const char* driver = "ftdi_sio";

  static AdapterModel Ideal() {
    AdapterModel model;
    model.ideal = true;
    return model;
  }
  bool BreakReadsAsNul() const { return !ideal; }
};

// The adapters the simulator stands for (--sim-adapter).
enum class AdapterProfile {
  kFtdi,         // an FTDI cable: NUL for a break, 62-byte packets, 1 ms latency timer, no echo
  kFtdiEcho,     // the same with its receiver always on: it hears itself
  kCh340,        // a CH340 stick: echo, 32-byte packets, the driver held 250 us after sending
  kPl2303,       // a PL2303 clone: echo, and breaks that never reach the line
  kWidget,       // a DMX USB Pro-style widget (--driver usbpro)
  kWidgetClone,  // a widget clone: older firmware's label 12 habits, a fixed host-side rate
};

// "ftdi", "ftdi-echo", "ch340", "pl2303", "widget", "widget-clone".
Result<AdapterProfile> ParseAdapterProfile(std::string_view name);
const char* AdapterProfileName(AdapterProfile profile);
bool IsWidgetProfile(AdapterProfile profile);
// The plain adapter a profile stands for (a widget's own USB port needs none).
AdapterModel ModelOfProfile(AdapterProfile profile);

// How many of `count` received bytes the adapter has handed to the host by `now_micros`, when
// the first `released` of them had been handed over before. `arrival(i)` is the time the last
// bit of byte i is through; the bytes are in arrival order.
template <typename ArrivalFn>
size_t ReleasedToHost(const AdapterModel& model, ArrivalFn arrival, size_t count, size_t released,
                      uint64_t now_micros) {
  if (model.ideal) {
    while (released < count && arrival(released) <= now_micros) {
      ++released;
    }
    return released;
  }
  const size_t packet = model.packet_bytes == 0 ? kUsbPacketDataBytes : model.packet_bytes;
  const uint64_t latency_micros = uint64_t{model.latency_timer_ms} * 1000;
  while (released < count) {
    const uint64_t first = arrival(released);
    if (first > now_micros) {
      break;
    }
    const uint64_t timer_out = first + latency_micros;
    size_t in_packet = 0;
    while (released + in_packet < count && in_packet < packet &&
           arrival(released + in_packet) <= timer_out) {
      ++in_packet;
    }
    const uint64_t sent = in_packet == packet ? arrival(released + packet - 1) : timer_out;
    if (sent > now_micros) {
      break;
    }
    released += in_packet;
  }
  return released;
}

// When the adapter next hands bytes to the host, with `released` of `count` received bytes
// handed over already; UINT64_MAX when no byte is left to hand over. Bytes that arrive later
// can only make the next packet go sooner (by filling it).
template <typename ArrivalFn>
uint64_t NextReleaseMicros(const AdapterModel& model, ArrivalFn arrival, size_t count,
                           size_t released) {
  if (released >= count) {
    return UINT64_MAX;
  }
  const uint64_t first = arrival(released);
  if (model.ideal) {
    return first;
  }
  const size_t packet = model.packet_bytes == 0 ? kUsbPacketDataBytes : model.packet_bytes;
  const uint64_t timer_out = first + uint64_t{model.latency_timer_ms} * 1000;
  if (count - released >= packet && arrival(released + packet - 1) <= timer_out) {
    return arrival(released + packet - 1);
  }
  return timer_out;
}

}  // namespace quillmont
