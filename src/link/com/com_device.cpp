#include "link/com/com_device.h"

#include <windows.h>

#include <array>

#include "link/com/com_port_names.h"
#include "link/com/com_settings.h"

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

FT_STATUS OpenComPort(const std::string& port_name, uint32_t baud, ComHandle* handle) {
  *handle = nullptr;
  const std::string path = ComDevicePath(port_name);
  // No sharing: a port open elsewhere gives ERROR_ACCESS_DENIED.
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FT_DEVICE_NOT_FOUND
                                                                          : FT_DEVICE_NOT_OPENED;
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

FT_STATUS WriteCom(ComHandle handle, const uint8_t* bytes, uint32_t count, uint32_t* written) {
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
  return FlushFileBuffers(Win(handle)) != FALSE ? FT_OK : LastError();
}

FT_STATUS ComModemStatus(ComHandle handle, uint32_t* status) {
  DWORD lines = 0;
  if (GetCommModemStatus(Win(handle), &lines) == FALSE) {
    return LastError();  // the adapter is gone
  }
  *status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
  return FT_OK;
}

std::vector<std::string> ListComPorts() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return names;  // no port has ever been there
  }
  // Each value maps a driver's device name to a port name ("\Device\VCP0" -> "COM5").
  for (DWORD index = 0; index < 1024; ++index) {
    std::array<char, 256> value_name{};
    std::array<char, 64> data{};
    DWORD name_size = static_cast<DWORD>(value_name.size());
    DWORD data_size = static_cast<DWORD>(data.size() - 1);  // room for a terminating zero
    DWORD type = 0;
    const LONG result = RegEnumValueA(key, index, value_name.data(), &name_size, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &data_size);
    if (result == ERROR_NO_MORE_ITEMS) {
      break;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
      continue;  // too long for a port name, or not text
    }
    const std::string name = ComPortName(std::string(data.data()));
    if (!name.empty()) {
      names.push_back(name);
    }
  }
  RegCloseKey(key);
  SortComPortNames(names);
  return names;
}

bool ComPortExists(const std::string& port_name) {
  std::array<char, 1024> target{};
  return QueryDosDeviceA(port_name.c_str(), target.data(), static_cast<DWORD>(target.size())) !=
             0 ||
         GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace quillmont::com
