// SPDX-License-Identifier: Apache-2.0
#include "update/word_sum_checksum.h"

namespace quillmont {

uint32_t WordSumChecksum(uint8_t* buffer, int16_t words) {
  uint32_t sum = 0;
  for (int i = 0; i < words; ++i) {
    sum += static_cast<uint32_t>(buffer[2 * i]) + 256u * buffer[2 * i + 1];
  }
  uint8_t* out = buffer + 2 * (words > 0 ? words : 0);
  out[0] = static_cast<uint8_t>(sum >> 24);
  out[1] = static_cast<uint8_t>(sum >> 16);
  out[2] = static_cast<uint8_t>(sum >> 8);
  out[3] = static_cast<uint8_t>(sum);
  return sum;
}

}  // namespace quillmont
