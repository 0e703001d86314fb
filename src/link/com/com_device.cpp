// SPDX-License-Identifier: Apache-2.0
#include "link/com/com_device.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "link/com/com_port_names.h"
#include "link/com/com_settings.h"
#include "link/usb/known_adapters.h"

namespace quillmont::com {
namespace {

constexpr DWORD kQueueSize = 4096;

FT_STATUS FromError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return FT_OK;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
      return FT_DEVICE_NOT_FOUND;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return FT_INSUFFICIENT_RESOURCES;
    default:
      return FT_IO_ERROR;
  }
}

FT_STATUS LastError() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? FT_IO_ERROR : FromError(error);
}

HANDLE Win(ComHandle handle) {
  return static_cast<HANDLE>(handle);
}

}  // namespace

FT_STATUS OpenComPort(const std::string& port_name, uint32_t baud, ComHandle* handle,
                      std::string* why) {
  *handle = nullptr;
  const std::string path = ComDevicePath(port_name);
  // No sharing: a port open elsewhere gives ERROR_ACCESS_DENIED.
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      *why = "no such device";
      return FT_DEVICE_NOT_FOUND;
    }
    // A port is never shared: another program that has it open makes it "access denied".
    *why = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
               ? "busy; another program is using it"
               : "cannot be opened (error " + std::to_string(error) + ")";
    return FT_DEVICE_NOT_OPENED;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  const COMMTIMEOUTS timeouts = DmxTimeouts(baud);
  // GetCommState fails on anything that is not a communications port (NUL, a disk file).
  bool ok = GetCommState(port, &dcb) != FALSE;
  if (ok) {
    SetDmxLine(dcb, baud);
    SetupComm(port, kQueueSize, kQueueSize);  // a size hint; drivers may ignore it
    ok = SetCommState(port, &dcb) != FALSE &&
         SetCommTimeouts(port, const_cast<COMMTIMEOUTS*>(&timeouts)) != FALSE &&
         PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR) != FALSE;
  }
  if (!ok) {
    *why = "not a communications port";
    CloseHandle(port);
    return FT_DEVICE_NOT_OPENED;
  }
  *handle = port;
  return FT_OK;
}

void CloseComPort(ComHandle handle) {
  // A line left in break would hold every fixture on it in reset.
  ClearCommBreak(Win(handle));
  PurgeComm(Win(handle), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  CloseHandle(Win(handle));
}

FT_STATUS SetComBaud(ComHandle handle, uint32_t baud, uint32_t* actual) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (GetCommState(Win(handle), &dcb) == FALSE) {
    return LastError();
  }
  dcb.BaudRate = baud;
  if (SetCommState(Win(handle), &dcb) == FALSE) {
    // The driver refuses a rate it cannot make.
    return GetLastError() == ERROR_INVALID_PARAMETER ? FT_INVALID_BAUD_RATE : LastError();
  }
  COMMTIMEOUTS timeouts = DmxTimeouts(baud);
  if (SetCommTimeouts(Win(handle), &timeouts) == FALSE ||
      GetCommState(Win(handle), &dcb) == FALSE) {
    return LastError();
  }
  *actual = dcb.BaudRate;
  return FT_OK;
}

FT_STATUS SetComBreak(ComHandle handle, bool on) {
  const BOOL ok = on ? SetCommBreak(Win(handle)) : ClearCommBreak(Win(handle));
  return ok != FALSE ? FT_OK : LastError();
}

FT_STATUS ComQueues(ComHandle handle, uint32_t* rx_waiting, uint32_t* tx_waiting) {
  DWORD errors = 0;
  COMSTAT status{};
  if (ClearCommError(Win(handle), &errors, &status) == FALSE) {
    return LastError();
  }
  *rx_waiting = status.cbInQue;
  *tx_waiting = status.cbOutQue;
  return FT_OK;
}

FT_STATUS ReadCom(ComHandle handle, uint8_t* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  if (count == 0) {
    return FT_OK;
  }
  DWORD n = 0;
  if (ReadFile(Win(handle), buffer, count, &n, nullptr) == FALSE) {
    return LastError();
  }
  *got = n < count ? n : count;
  return FT_OK;
}

namespace {

// Watches the output queue until it is empty, at most `limit_ms`: the wait for a frame to be
// sent where the driver fails FlushFileBuffers (some USB serial drivers do).
FT_STATUS WaitForOutputQueue(ComHandle handle, uint64_t limit_ms) {
  const ULONGLONG until = GetTickCount64() + limit_ms;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(Win(handle), &errors, &status) == FALSE) {
      return LastError();
    }
    if (status.cbOutQue == 0) {
      return FT_OK;
    }
    if (GetTickCount64() >= until) {
      PurgeComm(Win(handle), PURGE_TXABORT | PURGE_TXCLEAR);  // a stuck adapter's queue
      return FT_IO_ERROR;
    }
    Sleep(1);
  }
}

}  // namespace

FT_STATUS WriteCom(ComHandle handle, const uint8_t* bytes, uint32_t count, uint32_t baud,
                   uint32_t* written) {
  *written = 0;
  if (count == 0) {
    return FT_OK;
  }
  DWORD n = 0;
  if (WriteFile(Win(handle), bytes, count, &n, nullptr) == FALSE) {
    return LastError();
  }
  *written = n < count ? n : count;
  if (n < count) {
    return FT_IO_ERROR;  // the write timed out: the adapter does not send
  }
  // The frame is on the wire before the caller starts listening for the answer.
  if (FlushFileBuffers(Win(handle)) != FALSE) {
    return FT_OK;
  }
  const uint64_t wire_ms = uint64_t{count} * 11 * 1000 / std::max<uint32_t>(baud, 1);
  return WaitForOutputQueue(handle, 2 * wire_ms + 100);
}

FT_STATUS WaitComByte(ComHandle handle, uint32_t ms, uint32_t baud, uint8_t* byte, bool* got) {
  *got = false;
  // MAXDWORD, MAXDWORD and a constant: ReadFile returns at once with a byte that is there, or
  // waits for the first to come, at most the constant.
  COMMTIMEOUTS waiting = DmxTimeouts(baud);
  waiting.ReadIntervalTimeout = MAXDWORD;
  waiting.ReadTotalTimeoutMultiplier = MAXDWORD;
  waiting.ReadTotalTimeoutConstant = std::max<DWORD>(ms, 1);
  if (SetCommTimeouts(Win(handle), &waiting) == FALSE) {
    return LastError();
  }
  DWORD n = 0;
  const BOOL read = ReadFile(Win(handle), byte, 1, &n, nullptr);
  COMMTIMEOUTS normal = DmxTimeouts(baud);
  SetCommTimeouts(Win(handle), &normal);
  if (read == FALSE) {
    return LastError();
  }
  *got = n == 1;
  return FT_OK;
}

FT_STATUS SetComRts(ComHandle handle, bool on) {
  return EscapeCommFunction(Win(handle), on ? SETRTS : CLRRTS) != FALSE ? FT_OK : LastError();
}

FT_STATUS ComModemStatus(ComHandle handle, uint32_t* status) {
  DWORD lines = 0;
  if (GetCommModemStatus(Win(handle), &lines) == FALSE) {
    if (GetLastError() != ERROR_NOT_SUPPORTED) {
      return LastError();  // the adapter is gone
    }
    // A port without modem lines (under Wine, a pseudo-terminal) is there while it answers.
    DWORD errors = 0;
    COMSTAT queues{};
    if (ClearCommError(Win(handle), &errors, &queues) == FALSE) {
      return LastError();
    }
    *status = 0;
    return FT_OK;
  }
  *status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
  return FT_OK;
}

std::vector<std::string> ListComPorts() {
  // The devices of the Ports class ({4d36e978-e325-11ce-bfc1-08002be10318}) that are present,
  // each with its hardware IDs and the port name its driver gave it.
  static const GUID kPortsClass = {
      0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  std::vector<std::string> ftdi;
  std::vector<std::string> others;
  HDEVINFO devices = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) {
    return {};
  }
  for (DWORD index = 0; index < 1024; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (SetupDiEnumDeviceInfo(devices, index, &device) == FALSE) {
      break;  // ERROR_NO_MORE_ITEMS
    }
    // REG_MULTI_SZ: zero-terminated IDs, the list ending in an empty one; two zeros of room.
    std::array<char, 1024> ids{};
    if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, nullptr,
                                          reinterpret_cast<BYTE*>(ids.data()),
                                          static_cast<DWORD>(ids.size() - 2), nullptr) == FALSE) {
      continue;
    }
    usb::AdapterKind kind = usb::AdapterKind::kOther;
    for (const char* id = ids.data(); *id != '\0' && id < ids.data() + ids.size();
         id += std::strlen(id) + 1) {
      usb::UsbId usb_id;
      if (usb::ParseHardwareId(id, &usb_id)) {
        kind = usb::ClassifyAdapter(usb_id);
        break;
      }
    }
    if (kind == usb::AdapterKind::kOther) {
      continue;  // a modem, a board, a port without USB IDs: only when named with --port
    }
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
      continue;
    }
    std::array<char, 64> data{};
    DWORD data_size = static_cast<DWORD>(data.size() - 1);  // room for a terminating zero
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key, "PortName", nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &data_size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
      continue;
    }
    const std::string name = ComPortName(std::string(data.data()));
    if (!name.empty()) {
      (kind == usb::AdapterKind::kFtdi ? ftdi : others).push_back(name);
    }
  }
  SetupDiDestroyDeviceInfoList(devices);
  SortComPortNames(ftdi);
  SortComPortNames(others);
  ftdi.insert(ftdi.end(), others.begin(), others.end());
  return ftdi;
}

std::optional<uint32_t> ComLatencyTimer(const std::string& port_name) {
  static const GUID kPortsClass = {
      0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  HDEVINFO devices = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::optional<uint32_t> latency;
  for (DWORD index = 0; index < 1024 && !latency; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (SetupDiEnumDeviceInfo(devices, index, &device) == FALSE) {
      break;
    }
    // FTDI's driver keeps the timer beside the port's name, in the device's parameters.
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
      continue;
    }
    std::array<char, 64> name{};
    DWORD size = static_cast<DWORD>(name.size() - 1);
    DWORD type = 0;
    DWORD value = 0;
    DWORD value_size = sizeof value;
    if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name.data()),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ && ComPortName(std::string(name.data())) == port_name &&
        RegQueryValueExA(key, "LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &value_size) == ERROR_SUCCESS &&
        type == REG_DWORD) {
      latency = value;
    }
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(devices);
  return latency;
}

}  // namespace quillmont::com
