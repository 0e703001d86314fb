// A D2xxDriver over the adapter vendor's D2XX library, loaded at run time. Nothing of the
// library is needed to build: when it is missing, load_error() says so and every call fails.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/d2xx_driver.h"

namespace quillmont::d2xx {

// The library's file name on this system: libftd2xx.so, ftd2xx.dll or libftd2xx.dylib.
std::string DefaultLibraryName();

class D2xxLibraryDriver final : public D2xxDriver {
 public:
  explicit D2xxLibraryDriver(const std::string& library_name = DefaultLibraryName());
  ~D2xxLibraryDriver() override;
  D2xxLibraryDriver(const D2xxLibraryDriver&) = delete;
  D2xxLibraryDriver& operator=(const D2xxLibraryDriver&) = delete;

  bool available() const { return load_error_.empty(); }
  // Empty when the library and all its operations were found; otherwise a text for the user.
  const std::string& load_error() const { return load_error_; }

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override;
  FT_STATUS FT_GetLibraryVersion(uint32_t* version) override;
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override;
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override;
  FT_STATUS FT_SetBreakOn(FT_HANDLE handle) override;
  FT_STATUS FT_SetBreakOff(FT_HANDLE handle) override;
  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override;
  FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                         uint32_t* event_state) override;
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) override;
  FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) override;
  FT_STATUS FT_Close(FT_HANDLE handle) override;

 private:
  struct Api;
  // True for a handle that this driver's FT_Open returned and FT_Close has not yet taken back;
  // the library is never handed anything else.
  bool Known(FT_HANDLE handle) const;

  std::unique_ptr<Api> api_;
  std::string load_error_;
  std::vector<FT_HANDLE> open_handles_;
};

}  // namespace quillmont::d2xx
