#include "link/d2xx/d2xx_library_driver.h"

#include <algorithm>

#include "link/d2xx/shared_library.h"

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
};

D2xxLibraryDriver::D2xxLibraryDriver(const std::string& library_name, Clock* clock)
    : api_(std::make_unique<Api>(library_name)), clock_(clock != nullptr ? *clock : system_clock_) {
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
}

D2xxLibraryDriver::~D2xxLibraryDriver() {
  if (api_ != nullptr) {
    for (const OpenAdapter& adapter : open_) {
      api_->close(adapter.handle);
    }
  }
}

D2xxLibraryDriver::OpenAdapter* D2xxLibraryDriver::Known(FT_HANDLE handle) {
  if (api_ == nullptr || handle == nullptr) {
    return nullptr;
  }
  const auto it = std::find_if(open_.begin(), open_.end(), [&](const OpenAdapter& adapter) {
    return adapter.handle == handle;
  });
  return it == open_.end() ? nullptr : &*it;
}

FT_STATUS D2xxLibraryDriver::WaitForTransmitQueue(const OpenAdapter& adapter) {
  Dword rx = 0;
  Dword tx = 0;
  Dword events = 0;
  FT_STATUS status = api_->get_status(adapter.handle, &rx, &tx, &events);
  if (status != FT_OK || tx == 0) {
    return status;
  }
  // FT_Write returns once the library holds the bytes, not when they have left the chip: a
  // break now would cut the tail of the frame before it.
  const uint64_t wire_ms =
      static_cast<uint64_t>(tx) * kBitsPerByte * 1000 / std::max<uint32_t>(adapter.baud, 1);
  const uint64_t limit_ms = std::min<uint64_t>(kDrainSlackMs + 2 * wire_ms, kDrainLimitMs);
  for (uint64_t polls = 0; polls < limit_ms; ++polls) {
    clock_.SleepMs(1);
    status = api_->get_status(adapter.handle, &rx, &tx, &events);
    if (status != FT_OK || tx == 0) {
      return status;
    }
  }
  return FT_IO_ERROR;  // the chip does not send: a stuck adapter
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
  // A chip that cannot frame bytes as DMX512 does is of no use on the line.
  const FT_STATUS framing =
      api_->set_data_characteristics(opened, kWordLength8, kStopBits2, kParityNone);
  if (framing != FT_OK) {
    api_->close(opened);
    open_error_ =
        adapter + ": refuses 8 data bits and 2 stop bits (status " + std::to_string(framing) + ")";
    return framing;
  }
  // Chips without a settable latency timer still work, only later; that is no reason to refuse.
  api_->set_latency_timer(opened, kLatencyTimerMs);
  open_.push_back(OpenAdapter{opened, kPowerOnBaud});
  *handle = opened;
  return FT_OK;
}

FT_STATUS D2xxLibraryDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return FT_INVALID_HANDLE;
  }
  const FT_STATUS status = api_->set_baud_rate(handle, baud);
  if (status == FT_OK) {
    adapter->baud = baud;
  }
  return status;
}

FT_STATUS D2xxLibraryDriver::FT_SetBreakOn(FT_HANDLE handle) {
  const OpenAdapter* adapter = Known(handle);
  if (adapter == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (const FT_STATUS status = WaitForTransmitQueue(*adapter); status != FT_OK) {
    return status;
  }
  return api_->set_break_on(handle);
}

FT_STATUS D2xxLibraryDriver::FT_SetBreakOff(FT_HANDLE handle) {
  return Known(handle) != nullptr ? api_->set_break_off(handle) : FT_INVALID_HANDLE;
}

FT_STATUS D2xxLibraryDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                      uint32_t* written) {
  if (Known(handle) == nullptr) {
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
  if (status == FT_OK && sent != count) {
    return FT_IO_ERROR;  // FT_OK must mean the whole frame went out
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
  std::erase_if(open_, [&](const OpenAdapter& adapter) { return adapter.handle == handle; });
  return api_->close(handle);
}

}  // namespace quillmont::d2xx
