// SPDX-License-Identifier: Apache-2.0
// A stand-in for the vendor's D2XX library with the same C entry points, loaded by the tests
// through dlopen exactly like the real one. One adapter; the test reaches its state through
// the extra FakeFtd2xx_* entry points. (A shared library's state is per process, like the
// vendor library's own.)
#include <cstdint>
#include <cstring>
#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace {

struct Adapter {
  int token = 0;
  uint32_t calls = 0;
  uint32_t baud = 0;
  uint8_t written[512] = {};
  uint32_t written_count = 0;
  uint32_t short_by = 0;  // a write reports this many bytes fewer than it was given
  uint8_t rx[512] = {};
  uint32_t rx_count = 0;
  uint32_t read_overreport = 0;  // a read reports this many bytes more than it gave
  // How the adapter was set up at open: word length, stop bits, parity, latency timer.
  uint8_t framing[3] = {};
  uint8_t latency = 16;
  // Written bytes the chip has not sent yet; each FT_GetStatus lets drain_per_poll of them go.
  uint32_t tx_queue = 0;
  uint32_t drain_per_poll = 0xFFFFFFFF;
  uint32_t breaks = 0;
  uint32_t queued_at_break = 0;  // the most bytes still queued when a break was set
  // The calls that set the chip up and switch RTS, in order, one letter each.
  char log[64] = {};
  uint32_t log_count = 0;
  uint8_t lowest_latency = 1;     // FT_SetLatencyTimer refuses anything lower
  uint8_t latency_read_back = 0;  // not 0: what FT_GetLatencyTimer gives whatever was set
  bool reports_temt = true;       // the line status tells when the transmitter is empty
  void* event = nullptr;          // what FT_SetEventNotification was handed
};

Adapter& State() {
  static Adapter adapter;
  return adapter;
}

bool Ours(void* handle) {
  return handle == &State().token;
}

void Log(char call) {
  Adapter& a = State();
  if (a.log_count + 1 < sizeof a.log) {
    a.log[a.log_count++] = call;
  }
}

}  // namespace

extern "C" {

uint32_t FT_CreateDeviceInfoList(uint32_t* count) {
  ++State().calls;
  *count = 1;
  return 0;
}
uint32_t FT_GetLibraryVersion(uint32_t* version) {
  ++State().calls;
  *version = 0x00010408;
  return 0;
}
uint32_t FT_Open(int index, void** handle) {
  ++State().calls;
  if (index != 0) {
    return 2;
  }
  *handle = &State().token;
  return 0;
}
uint32_t FT_SetBaudRate(void* handle, uint32_t baud) {
  ++State().calls;
  State().baud = baud;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetDataCharacteristics(void* handle, uint8_t word_length, uint8_t stop_bits,
                                   uint8_t parity) {
  Adapter& a = State();
  ++a.calls;
  Log('D');
  a.framing[0] = word_length;
  a.framing[1] = stop_bits;
  a.framing[2] = parity;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetLatencyTimer(void* handle, uint8_t timer_ms) {
  ++State().calls;
  Log('L');
  if (timer_ms < State().lowest_latency) {
    return 6;  // FT_INVALID_PARAMETER
  }
  State().latency = timer_ms;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_GetLatencyTimer(void* handle, uint8_t* timer_ms) {
  ++State().calls;
  *timer_ms = State().latency_read_back != 0 ? State().latency_read_back : State().latency;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetBitMode(void* handle, uint8_t, uint8_t mode) {
  ++State().calls;
  Log(mode == 0 ? 'B' : 'b');
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetFlowControl(void* handle, uint16_t flow, uint8_t, uint8_t) {
  ++State().calls;
  Log(flow == 0 ? 'F' : 'f');
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_Purge(void* handle, uint32_t mask) {
  ++State().calls;
  Log(mask == 3 ? 'P' : 'p');
  if ((mask & 2) != 0) {
    State().tx_queue = 0;
  }
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetTimeouts(void* handle, uint32_t read_ms, uint32_t write_ms) {
  ++State().calls;
  Log(read_ms > 0 && write_ms > 0 ? 'T' : 't');
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetRts(void* handle) {
  ++State().calls;
  Log('R');
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_ClrRts(void* handle) {
  ++State().calls;
  Log('r');
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetEventNotification(void* handle, uint32_t mask, void* event) {
  ++State().calls;
  Log(mask == 1 ? 'E' : 'e');
  State().event = event;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetBreakOn(void* handle) {
  Adapter& a = State();
  ++a.calls;
  Log('K');
  ++a.breaks;
  a.queued_at_break = a.tx_queue > a.queued_at_break ? a.tx_queue : a.queued_at_break;
  a.tx_queue = 0;  // a break cuts whatever was still to go
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetBreakOff(void* handle) {
  ++State().calls;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_Write(void* handle, void* bytes, uint32_t count, uint32_t* written) {
  Adapter& a = State();
  ++a.calls;
  Log('W');
  const uint32_t n = count < sizeof a.written ? count : sizeof a.written;
  std::memcpy(a.written, bytes, n);
  a.written_count = n;
  a.tx_queue += count;
  *written = count - (a.short_by < count ? a.short_by : count);
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_GetStatus(void* handle, uint32_t* rx, uint32_t* tx, uint32_t* events) {
  Adapter& a = State();
  ++a.calls;
  a.tx_queue = a.tx_queue > a.drain_per_poll ? a.tx_queue - a.drain_per_poll : 0;
  *rx = a.rx_count;
  *tx = a.tx_queue;
  *events = 0;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_Read(void* handle, void* buffer, uint32_t count, uint32_t* read) {
  Adapter& a = State();
  ++a.calls;
  const uint32_t n = count < a.rx_count ? count : a.rx_count;
  std::memcpy(buffer, a.rx, n);
  std::memmove(a.rx, a.rx + n, a.rx_count - n);
  a.rx_count -= n;
  *read = n + a.read_overreport;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_GetModemStatus(void* handle, uint32_t* status) {
  Adapter& a = State();
  ++a.calls;
  *status = 0x30 | (a.reports_temt && a.tx_queue == 0 ? 0x4000 : 0);
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_Close(void* handle) {
  ++State().calls;
  if (Ours(handle)) {
    State().event = nullptr;  // the notification goes with the handle
  }
  return Ours(handle) ? 0 : 1;
}

// For the tests.
uint32_t FakeFtd2xx_Calls() {
  return State().calls;
}
uint32_t FakeFtd2xx_Baud() {
  return State().baud;
}
uint32_t FakeFtd2xx_Written(uint8_t* out, uint32_t max) {
  const uint32_t n = State().written_count < max ? State().written_count : max;
  std::memcpy(out, State().written, n);
  return n;
}
void FakeFtd2xx_Receive(const uint8_t* bytes, uint32_t count) {
  Adapter& a = State();
  const uint32_t n = count < sizeof a.rx - a.rx_count ? count : sizeof a.rx - a.rx_count;
  std::memcpy(a.rx + a.rx_count, bytes, n);
  a.rx_count += n;
#if !defined(_WIN32)
  // As the vendor library signals its EVENT_HANDLE: the condition variable, under its mutex.
  struct EventHandle {
    pthread_cond_t condition;
    pthread_mutex_t mutex;
    int value;
  };
  if (a.event != nullptr) {
    auto* event = static_cast<EventHandle*>(a.event);
    pthread_mutex_lock(&event->mutex);
    pthread_cond_signal(&event->condition);
    pthread_mutex_unlock(&event->mutex);
  }
#endif
}
// The set-up and RTS calls since the last look, one letter each (B bit mode reset, F no flow
// control, D framing, P purge, T time-outs, L latency timer, E event, R/r RTS on/off, K break,
// W write); then forgotten.
uint32_t FakeFtd2xx_Log(char* out, uint32_t max) {
  Adapter& a = State();
  const uint32_t n = a.log_count < max ? a.log_count : max;
  std::memcpy(out, a.log, n);
  a.log_count = 0;
  return n;
}
// How the chip behaves: the lowest latency timer it takes, what it reads back (0: as set), and
// whether its line status tells an empty transmitter.
void FakeFtd2xx_Chip(uint8_t lowest_latency, uint8_t latency_read_back, bool reports_temt) {
  State().lowest_latency = lowest_latency;
  State().latency_read_back = latency_read_back;
  State().reports_temt = reports_temt;
}
bool FakeFtd2xx_HasEvent() {
  return State().event != nullptr;
}
// Word length, stop bits, parity and latency timer as set at open, in out[0..3].
void FakeFtd2xx_Setup(uint8_t* out) {
  std::memcpy(out, State().framing, 3);
  out[3] = State().latency;
}
void FakeFtd2xx_Drain(uint32_t per_poll) {
  State().drain_per_poll = per_poll;
  State().log_count = 0;
  State().tx_queue = 0;
  State().breaks = 0;
  State().queued_at_break = 0;
}
// Breaks set, and the most bytes still queued when one was.
uint32_t FakeFtd2xx_Breaks(uint32_t* queued_at_break) {
  *queued_at_break = State().queued_at_break;
  return State().breaks;
}
void FakeFtd2xx_Misbehave(uint32_t write_short_by, uint32_t read_overreport) {
  State().short_by = write_short_by;
  State().read_overreport = read_overreport;
}

}  // extern "C"
