// A stand-in for the vendor's D2XX library with the same C entry points, loaded by the tests
// through dlopen exactly like the real one. One adapter; the test reaches its state through
// the extra FakeFtd2xx_* entry points. (A shared library's state is per process, like the
// vendor library's own.)
#include <cstdint>
#include <cstring>

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
};

Adapter& State() {
  static Adapter adapter;
  return adapter;
}

bool Ours(void* handle) {
  return handle == &State().token;
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
  a.framing[0] = word_length;
  a.framing[1] = stop_bits;
  a.framing[2] = parity;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetLatencyTimer(void* handle, uint8_t timer_ms) {
  ++State().calls;
  State().latency = timer_ms;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_SetBreakOn(void* handle) {
  Adapter& a = State();
  ++a.calls;
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
  ++State().calls;
  *status = 0x30;
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_Close(void* handle) {
  ++State().calls;
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
}
// Word length, stop bits, parity and latency timer as set at open, in out[0..3].
void FakeFtd2xx_Setup(uint8_t* out) {
  std::memcpy(out, State().framing, 3);
  out[3] = State().latency;
}
void FakeFtd2xx_Drain(uint32_t per_poll) {
  State().drain_per_poll = per_poll;
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
