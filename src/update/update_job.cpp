#include "update/update_job.h"

#include "app/updater_window.h"

namespace quillmont {

// The procedure's handlers are filled in with the firmware update; until then a step does
// nothing and no reply is acted on.
void UpdateJob::Step() {}

void UpdateJob::OnReply(const uint8_t* /*frame*/, int16_t /*size*/) {}

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
