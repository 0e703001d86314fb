// How a USB-to-RS485 adapter built on an FTDI chip hands received bytes to the host.
//
//   - The chip collects what arrives on the line and sends it over USB in packets of 62 data
//     bytes. A packet goes out when it is full, or when the latency timer, started by the
//     packet's first byte, runs out (1 ms as Quillmont sets it; 16 ms is the driver's default).
//     Until then none of its bytes can be read.
//   - A break on the line is reported as a 0x00 data byte (with a framing error that the driver
//     does not pass on), so an RDM response, which begins with a break, reaches the host with a
//     NUL in front of its start code. A discovery answer has no break and no NUL.
//
// The ideal adapter (for benchmarks and timing tests) hands over every byte as soon as its last
// bit is through and reports no break.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmont {

inline constexpr size_t kUsbPacketDataBytes = 62;
inline constexpr uint32_t kDefaultLatencyTimerMs = 1;
inline constexpr uint32_t kMaxLatencyTimerMs = 255;

struct AdapterModel {
  bool ideal = false;
  uint32_t latency_timer_ms = kDefaultLatencyTimerMs;

  static AdapterModel Ideal() { return AdapterModel{true, kDefaultLatencyTimerMs}; }
  bool BreakReadsAsNul() const { return !ideal; }
};

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
  const uint64_t latency_micros = uint64_t{model.latency_timer_ms} * 1000;
  while (released < count) {
    const uint64_t first = arrival(released);
    if (first > now_micros) {
      break;
    }
    const uint64_t timer_out = first + latency_micros;
    size_t in_packet = 0;
    while (released + in_packet < count && in_packet < kUsbPacketDataBytes &&
           arrival(released + in_packet) <= timer_out) {
      ++in_packet;
    }
    const uint64_t sent =
        in_packet == kUsbPacketDataBytes ? arrival(released + kUsbPacketDataBytes - 1) : timer_out;
    if (sent > now_micros) {
      break;
    }
    released += in_packet;
  }
  return released;
}

}  // namespace quillmont
