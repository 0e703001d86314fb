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
uint32_t FT_SetBreakOn(void* handle) {
  ++State().calls;
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
  *written = count - (a.short_by < count ? a.short_by : count);
  return Ours(handle) ? 0 : 1;
}
uint32_t FT_GetStatus(void* handle, uint32_t* rx, uint32_t* tx, uint32_t* events) {
  ++State().calls;
  *rx = State().rx_count;
  *tx = 0;
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
void FakeFtd2xx_Misbehave(uint32_t write_short_by, uint32_t read_overreport) {
  State().short_by = write_short_by;
  State().read_overreport = read_overreport;
}

}  // extern "C"
