// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver that passes every call on to another one and counts what crossed the line: the
// frames written and their bytes, the breaks, and the bytes read back.
#pragma once

#include <cstdint>

#include "link/forwarding_driver.h"

namespace quillmont::bench {

struct LineCounts {
  uint64_t writes = 0;
  uint64_t bytes_written = 0;
  uint64_t breaks = 0;
  uint64_t bytes_read = 0;
  uint64_t device_list_calls = 0;
  uint64_t program_requests = 0;       // frames whose parameter data begins 55 A4
  uint64_t program_request_bytes = 0;  // their bytes; the bootloader's echo is as long
};

class LineCounter final : public ForwardingDriver {
 public:
  explicit LineCounter(D2xxDriver& inner) : inner_(inner) {}

  LineCounts counts;

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override {
    ++counts.device_list_calls;
    return inner_.FT_CreateDeviceInfoList(count);
  }
  FT_STATUS FT_SetBreakOn(FT_HANDLE handle) override {
    ++counts.breaks;
    return inner_.FT_SetBreakOn(handle);
  }
  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override {
    const FT_STATUS status = inner_.FT_Write(handle, bytes, count, written);
    if (status == FT_OK) {
      ++counts.writes;
      counts.bytes_written += count;
      const auto* frame = static_cast<const uint8_t*>(bytes);
      if (count > 25 && frame[24] == 0x55 && frame[25] == 0xA4) {
        ++counts.program_requests;
        counts.program_request_bytes += count;
      }
    }
    return status;
  }
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) override {
    const FT_STATUS status = inner_.FT_Read(handle, buffer, count, read);
    if (status == FT_OK && read != nullptr) {
      counts.bytes_read += *read;
    }
    return status;
  }

 private:
  D2xxDriver& inner() override { return inner_; }

  D2xxDriver& inner_;
};

}  // namespace quillmont::bench
