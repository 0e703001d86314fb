// SPDX-License-Identifier: Apache-2.0
#include "link/d2xx/d2xx_library_driver.h"

#include <algorithm>
#include <optional>

#include "link/d2xx/rx_event.h"
#include "link/d2xx/shared_library.h"
#include "link/timing/timer_resolution.h"

namespace quillmont::d2xx {
namespace {

// The library's C interface, declared from its published documentation. DWORD is 32 bits on
// every system the library ships for. FT_STATUS is a ULONG; its values are small, and reading
// the low 32 bits of the result register is right whether ULONG is 32 or 64 bits wide.
using Dword = uint32_t;
using Status = uint32_t;
using Handle = void*;

#if defined(_WIN32) && !defined(_WIN64)
#define QUILLMONT_FTAPI __stdcall
#else
#define QUILLMONT_FTAPI
#endif

using CreateDeviceInfoListFn = Status(QUILLMONT_FTAPI*)(Dword* count);
using GetLibraryVersionFn = Status(QUILLMONT_FTAPI*)(Dword* version);
using OpenFn = Status(QUILLMONT_FTAPI*)(int index, Handle* handle);
using SetBaudRateFn = Status(QUILLMONT_FTAPI*)(Handle handle, Dword baud);
using SetDataCharacteristicsFn = Status(QUILLMONT_FTAPI*)(Handle handle, unsigned char word_length,
                                                          unsigned char stop_bits,
                                                          unsigned char parity);
using SetLatencyTimerFn = Status(QUILLMONT_FTAPI*)(Handle handle, unsigned char timer_ms);
using HandleFn = Status(QUILLMONT_FTAPI*)(Handle handle);
using WriteFn = Status(QUILLMONT_FTAPI*)(Handle handle, void* buffer, Dword count, Dword* written);
using GetStatusFn = Status(QUILLMONT_FTAPI*)(Handle handle, Dword* rx_queue, Dword* tx_queue,
                                             Dword* event_status);
using ReadFn = Status(QUILLMONT_FTAPI*)(Handle handle, void* buffer, Dword count, Dword* read);
using GetModemStatusFn = Status(QUILLMONT_FTAPI*)(Handle handle, Dword* modem_status);
using SetBitModeFn = Status(QUILLMONT_FTAPI*)(Handle handle, unsigned char mask,
                                              unsigned char mode);
using SetFlowControlFn = Status(QUILLMONT_FTAPI*)(Handle handle, unsigned short flow,
                                                  unsigned char xon, unsigned char xoff);
using PurgeFn = Status(QUILLMONT_FTAPI*)(Handle handle, Dword mask);
using SetTimeoutsFn = Status(QUILLMONT_FTAPI*)(Handle handle, Dword read_ms, Dword write_ms);
using GetLatencyTimerFn = Status(QUILLMONT_FTAPI*)(Handle handle, unsigned char* timer_ms);
using SetEventNotificationFn = Status(QUILLMONT_FTAPI*)(Handle handle, Dword mask, void* param);

#undef QUILLMONT_FTAPI

std::string MissingText(const std::string& library) {
#if defined(__linux__)
  return "The FTDI D2XX library (" + library + ") is not installed; use --driver serial";
#elif defined(_WIN32)
  return "The FTDI D2XX library (" + library +
         ") is not installed; install FTDI's D2XX driver, or use --driver serial --port COMn";
#else
  return "The FTDI D2XX library (" + library + ") is not installed; install FTDI's D2XX driver";
#endif
}

// A freshly opened chip runs at 9600 baud until it is told otherwise.
constexpr uint32_t kPowerOnBaud = 9600;
constexpr uint64_t kBitsPerByte = 11;  // start, 8 data, 2 stop
// The library's values.
constexpr unsigned short kFlowNone = 0x0000;
constexpr Dword kPurgeRxAndTx = 1 | 2;
constexpr Dword kEventRxChar = 1;
// FT_GetModemStatus gives the line status in its second byte; this bit is the transmitter
// empty (TEMT).
constexpr Dword kTransmitterEmpty = 0x40 << 8;
// Where the chip does not tell that its transmitter is empty, the frame's time on the wire is
// waited out, and this much more for the bytes' way over USB.
constexpr uint64_t kUsbLagMicros = 1000;
constexpr uint64_t kTransmitterLookMicros = 200;

uint64_t WireMicros(uint64_t count, uint32_t baud) {
  return count * kBitsPerByte * 1'000'000 / std::max<uint32_t>(baud, 1);
}

// Twice the longest frame's time on the wire, and some: a write that takes longer is stuck.
Dword WriteTimeoutMs(uint32_t baud) {
  return static_cast<Dword>(std::min<uint64_t>(2 * WireMicros(256, baud) / 1000 + 100, 60'000));
}

std::string OpenFailureText(FT_STATUS status) {
  if (status == FT_DEVICE_NOT_FOUND) {
    return "no such device";
  }
  if (status == FT_DEVICE_NOT_OPENED) {
#if defined(__linux__)
    return "cannot be opened: busy, no permission, or driven by the kernel's ftdi_sio (unbind "
           "it, or use --driver serial)";
#else
    return "cannot be opened: busy (another program is using it)";
#endif
  }
  return "cannot be opened (status " + std::to_string(status) + ")";
}

}  // namespace

std::string DefaultLibraryName() {
#if defined(_WIN32)
  return "ftd2xx.dll";
#elif defined(__APPLE__)
  return "libftd2xx.dylib";
#else
  return "libftd2xx.so";
#endif
}

struct D2xxLibraryDriver::Api {
  explicit Api(const std::string& name) : library(name) {}

  // Looks the operation up; false (and the pointer null) when the library lacks it.
  template <typename Fn>
  bool Bind(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(library.Symbol(name));
    return fn != nullptr;
  }

  SharedLibrary library;
  CreateDeviceInfoListFn create_device_info_list = nullptr;
  GetLibraryVersionFn get_library_version = nullptr;
  OpenFn open = nullptr;
  SetBaudRateFn set_baud_rate = nullptr;
  SetDataCharacteristicsFn set_data_characteristics = nullptr;
  SetLatencyTimerFn set_latency_timer = nullptr;
  HandleFn set_break_on = nullptr;
  HandleFn set_break_off = nullptr;
  WriteFn write = nullptr;
  GetStatusFn get_status = nullptr;
  ReadFn read = nullptr;
  GetModemStatusFn get_modem_status = nullptr;
  HandleFn close = nullptr;
  // Optional: a library without them still drives the line, less well.
  SetBitModeFn set_bit_mode = nullptr;
  SetFlowControlFn set_flow_control = nullptr;
  PurgeFn purge = nullptr;
  SetTimeoutsFn set_timeouts = nullptr;
  GetLatencyTimerFn get_latency_timer = nullptr;
  HandleFn set_rts = nullptr;
  HandleFn clr_rts = nullptr;
  SetEventNotificationFn set_event_notification = nullptr;
};

struct D2xxLibraryDriver::OpenAdapter {
  FT_HANDLE handle = nullptr;
  int index = 0;
  uint32_t baud = kPowerOnBaud;   // the rate last set, which paces the wait for the transmitter
  uint64_t frame_end_micros = 0;  // when the last frame written is through, at the earliest
  uint64_t frame_bytes = 0;
  std::optional<uint32_t> latency_ms;
  std::unique_ptr<RxEvent> rx_event;  // null where the library cannot signal received bytes
  FineTimerResolution timer_resolution;
  std::vector<std::string> notes;
};

D2xxLibraryDriver::D2xxLibraryDriver(const std::string& library_name, Clock* clock,
                                     D2xxOptions options)
    : api_(std::make_unique<Api>(library_name)),
      clock_(clock != nullptr ? *clock : system_clock_),
      options_(options) {
  if (!api_->library.loaded()) {
    load_error_ = MissingText(library_name);
    api_.reset();
    return;
  }
  struct Entry {
    bool found;
    const char* name;
  };
  Api& a = *api_;
  const Entry entries[] = {
      {a.Bind(a.create_device_info_list, "FT_CreateDeviceInfoList"), "FT_CreateDeviceInfoList"},
      {a.Bind(a.get_library_version, "FT_GetLibraryVersion"), "FT_GetLibraryVersion"},
      {a.Bind(a.open, "FT_Open"), "FT_Open"},
      {a.Bind(a.set_baud_rate, "FT_SetBaudRate"), "FT_SetBaudRate"},
      {a.Bind(a.set_data_characteristics, "FT_SetDataCharacteristics"),
       "FT_SetDataCharacteristics"},
      {a.Bind(a.set_latency_timer, "FT_SetLatencyTimer"), "FT_SetLatencyTimer"},
      {a.Bind(a.set_break_on, "FT_SetBreakOn"), "FT_SetBreakOn"},
      {a.Bind(a.set_break_off, "FT_SetBreakOff"), "FT_SetBreakOff"},
      {a.Bind(a.write, "FT_Write"), "FT_Write"},
      {a.Bind(a.get_status, "FT_GetStatus"), "FT_GetStatus"},
      {a.Bind(a.read, "FT_Read"), "FT_Read"},
      {a.Bind(a.get_modem_status, "FT_GetModemStatus"), "FT_GetModemStatus"},
      {a.Bind(a.close, "FT_Close"), "FT_Close"},
  };
  for (const Entry& entry : entries) {
    if (!entry.found) {
      load_error_ = "The library " + library_name + " is not the FTDI D2XX library (it lacks " +
                    entry.name + ")";
      api_.reset();
      return;
    }
  }
  a.Bind(a.set_bit_mode, "FT_SetBitMode");
  a.Bind(a.set_flow_control, "FT_SetFlowControl");
  a.Bind(a.purge, "FT_Purge");
  a.Bind(a.set_timeouts, "FT_SetTimeouts");
  a.Bind(a.get_latency_timer, "FT_GetLatencyTimer");
  a.Bind(a.set_rts, "FT_SetRts");
  a.Bind(a.clr_rts, "FT_ClrRts");
  a.Bind(a.set_event_notification, "FT_SetEventNotification");
}

D2xxLibraryDriver::~D2xxLibraryDriver() {
  if (api_ != nullptr) {
    for (const auto& adapter : open_) {
      api_->close(adapter->handle);
    }
  }
}

D2xxLibraryDriver::OpenAdapter* D2xxLibraryDriver::Known(FT_HANDLE handle) {
  if (api_ == nullptr || handle == nullptr) {
    return nullptr;
  }
  const auto it = std::find_if(open_.begin(), open_.end(),
                               [&](const auto& adapter) { return adapter->handle == handle; });
  return it == open_.end() ? nullptr : it->get();
}

FT_STATUS D2xxLibraryDriver::WaitForTransmitter(OpenAdapter& adapter) {
  // FT_Write returns once the library holds the bytes, not when they have left the chip: a
  // break now would cut the tail of the frame before it.
  const uint64_t start = clock_.NowMicros();
  const uint64_t wire_end = adapter.frame_end_micros + kUsbLagMicros;
  const uint64_t limit = std::min<uint64_t>(
      uint64_t{kDrainSlackMs} * 1000 + 2 * WireMicros(adapter.frame_bytes, adapter.baud),
      uint64_t{kDrainLimitMs} * 1000);
  const uint64_t deadline = std::max(start, adapter.frame_end_micros) + limit;
  for (;;) {
    Dword rx = 0;
    Dword tx = 0;
    Dword events = 0;
    if (const FT_STATUS status = api_->get_status(adapter.handle, &rx, &tx, &events);
        status != FT_OK) {
      return status;
    }
    const uint64_t now = clock_.NowMicros();
    if (tx == 0) {
      Dword modem = 0;
      const bool told = api_->get_modem_status(adapter.handle, &modem) == FT_OK &&
                        (modem & kTransmitterEmpty) != 0;
      if (told || now >= wire_end) {
        return FT_OK;
      }
    }
    if (now >= deadline) {
      if (api_->purge != nullptr) {
        api_->purge(adapter.handle, 2);  // what a stuck chip holds would cut the next frame
      }
      return FT_IO_ERROR;  // the chip does not send: a stuck adapter
    }
    const uint64_t look =
        tx > 0 ? std::max<uint64_t>(WireMicros(tx, adapter.baud), 1000) : kTransmitterLookMicros;
    clock_.SleepMicros(std::min(look, deadline - now));
  }
}

FT_STATUS D2xxLibraryDriver::FT_CreateDeviceInfoList(uint32_t* count) {
  if (api_ == nullptr) {
    return FT_OTHER_ERROR;  // *count stays as it was: no adapter can be counted
  }
  if (count == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  Dword n = 0;
  const FT_STATUS status = api_->create_device_info_list(&n);
  if (status == FT_OK) {
    *count = n;
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_GetLibraryVersion(uint32_t* version) {
  if (api_ == nullptr) {
    return FT_OTHER_ERROR;
  }
  if (version == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  return api_->get_library_version(version);
}

FT_STATUS D2xxLibraryDriver::FT_Open(int index, FT_HANDLE* handle) {
  if (api_ == nullptr) {
    return FT_OTHER_ERROR;
  }
  if (handle == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *handle = nullptr;
  open_error_.clear();
  const std::string adapter = "FTDI adapter " + std::to_string(index);
  Handle opened = nullptr;
  const FT_STATUS status = api_->open(index, &opened);
  if (status != FT_OK) {
    open_error_ = adapter + ": " + OpenFailureText(status);
    return status;
  }
  if (opened == nullptr) {
    open_error_ = adapter + ": the library gave no handle";
    return FT_DEVICE_NOT_OPENED;  // null means "no link" to the rest of the program
  }
  auto entry = std::make_unique<OpenAdapter>();
  entry->handle = opened;
  entry->index = index;
  if (std::string why = SetUp(*entry); !why.empty()) {
    api_->close(opened);
    open_error_ = adapter + ": " + why;
    return FT_DEVICE_NOT_OPENED;
  }
  open_.push_back(std::move(entry));
  *handle = opened;
  return FT_OK;
}

std::string D2xxLibraryDriver::SetUp(OpenAdapter& adapter) {
  const Handle h = adapter.handle;
  Api& a = *api_;
  if (a.set_bit_mode != nullptr) {
    a.set_bit_mode(h, 0x00, 0x00);  // reset: the UART, not a bit-bang mode a program left on
  }
  if (a.set_flow_control != nullptr) {
    a.set_flow_control(h, kFlowNone, 0, 0);
  }
  // A chip that cannot frame bytes as DMX512 does is of no use on the line.
  if (const FT_STATUS framing =
          a.set_data_characteristics(h, kWordLength8, kStopBits2, kParityNone);
      framing != FT_OK) {
    return "refuses 8 data bits and 2 stop bits (status " + std::to_string(framing) + ")";
  }
  if (a.purge != nullptr) {
    a.purge(h, kPurgeRxAndTx);
  }
  if (a.set_timeouts != nullptr) {
    a.set_timeouts(h, kReadTimeoutMs, WriteTimeoutMs(adapter.baud));
  }
  SetLatencyTimer(adapter);
  if (options_.rts_direction && a.clr_rts != nullptr) {
    a.clr_rts(h);  // listening until the first break
  }
  adapter.rx_event = std::make_unique<RxEvent>();
  if (a.set_event_notification == nullptr || !adapter.rx_event->valid() ||
      a.set_event_notification(h, kEventRxChar, adapter.rx_event->native()) != FT_OK) {
    adapter.rx_event.reset();
  }
  return {};
}

void D2xxLibraryDriver::SetLatencyTimer(OpenAdapter& adapter) {
  // Chips without a settable latency timer still work, only later; that is no reason to refuse.
  if (api_->set_latency_timer(adapter.handle, kLatencyTimerMs) != FT_OK) {
    api_->set_latency_timer(adapter.handle, kFallbackLatencyTimerMs);
  }
  unsigned char timer = 0;
  if (api_->get_latency_timer == nullptr ||
      api_->get_latency_timer(adapter.handle, &timer) != FT_OK) {
    return;
  }
  adapter.latency_ms = timer;
  if (timer > kFallbackLatencyTimerMs) {
    adapter.notes.push_back("FTDI adapter " + std::to_string(adapter.index) +
                            ": the latency timer stays at " + std::to_string(timer) +
                            " ms, so every reply comes late (the chip refused 1 ms)");
  }
}

FT_STATUS D2xxLibraryDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return FT_INVALID_HANDLE;
  }
  const FT_STATUS status = api_->set_baud_rate(handle, baud);
  if (status == FT_OK) {
    adapter->baud = baud;
    if (api_->set_timeouts != nullptr) {
      api_->set_timeouts(handle, kReadTimeoutMs, WriteTimeoutMs(baud));
    }
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_SetBreakOn(FT_HANDLE handle) {
  OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (const FT_STATUS status = WaitForTransmitter(*adapter); status != FT_OK) {
    return status;
  }
  if (options_.rts_direction && api_->set_rts != nullptr) {
    api_->set_rts(handle);  // the driver enabled for the break and the frame after it
  }
  return api_->set_break_on(handle);
}

FT_STATUS D2xxLibraryDriver::FT_SetBreakOff(FT_HANDLE handle) {
  return Known(handle) != nullptr ? api_->set_break_off(handle) : FT_INVALID_HANDLE;
}

FT_STATUS D2xxLibraryDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                      uint32_t* written) {
  OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (bytes == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  Dword sent = 0;
  // The library's signature takes a non-const buffer; it only reads it.
  const FT_STATUS status = api_->write(handle, const_cast<void*>(bytes), count, &sent);
  if (written != nullptr) {
    *written = sent;
  }
  adapter->frame_bytes = sent;
  adapter->frame_end_micros =
      std::max(clock_.NowMicros(), adapter->frame_end_micros) + WireMicros(sent, adapter->baud);
  if (status == FT_OK && sent != count) {
    return FT_IO_ERROR;  // FT_OK must mean the whole frame went out
  }
  if (status == FT_OK && options_.rts_direction && api_->clr_rts != nullptr) {
    // The line turns round for the answer only once the frame is out.
    const FT_STATUS out = WaitForTransmitter(*adapter);
    api_->clr_rts(handle);
    return out;
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting,
                                          uint32_t* tx_waiting, uint32_t* event_state) {
  if (Known(handle) == nullptr) {
    return FT_INVALID_HANDLE;
  }
  Dword rx = 0;
  Dword tx = 0;
  Dword events = 0;
  const FT_STATUS status = api_->get_status(handle, &rx, &tx, &events);
  if (rx_waiting != nullptr) {
    *rx_waiting = rx;
  }
  if (tx_waiting != nullptr) {
    *tx_waiting = tx;
  }
  if (event_state != nullptr) {
    *event_state = events;
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                                     uint32_t* read) {
  if (Known(handle) == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (buffer == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  Dword got = 0;
  const FT_STATUS status = api_->read(handle, buffer, count, &got);
  if (read != nullptr) {
    *read = std::min(got, count);  // never report more than the buffer holds
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  if (Known(handle) == nullptr) {
    return FT_INVALID_HANDLE;
  }
  Dword value = 0;
  const FT_STATUS status = api_->get_modem_status(handle, &value);
  if (modem_status != nullptr) {
    *modem_status = value;
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_Close(FT_HANDLE handle) {
  if (Known(handle) == nullptr) {
    return FT_INVALID_HANDLE;
  }
  const FT_STATUS status = api_->close(handle);
  std::erase_if(open_, [&](const auto& adapter) { return adapter->handle == handle; });
  return status;
}

FT_STATUS D2xxLibraryDriver::WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) {
  OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (adapter->rx_event == nullptr) {
    return FT_NOT_SUPPORTED;
  }
  FT_STATUS status = FT_OK;
  adapter->rx_event->Wait(timeout_micros, [&] {
    Dword rx = 0;
    Dword tx = 0;
    Dword events = 0;
    status = api_->get_status(handle, &rx, &tx, &events);
    return status != FT_OK || rx > 0;
  });
  return status;
}

AdapterFacts D2xxLibraryDriver::Facts(FT_HANDLE handle) {
  const OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return {};
  }
  AdapterFacts facts;
  facts.port = "FTDI adapter " + std::to_string(adapter->index);
  facts.backend = "d2xx";
  facts.chip = "FTDI";
  facts.driver = DefaultLibraryName();
  facts.usb_vendor = 0x0403;
  facts.latency_timer_ms = adapter->latency_ms;
  facts.baud = adapter->baud;
  facts.rts_direction = options_.rts_direction;
  facts.notes = adapter->notes;
  return facts;
}

}  // namespace quillmont::d2xx
