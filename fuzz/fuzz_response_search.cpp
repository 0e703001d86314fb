// SPDX-License-Identifier: Apache-2.0
// Any bytes as what the adapter handed over after a request: the search for the response reads
// nothing beyond them, and what it finds is a whole frame from the device asked, checksum good.
// A real response put after the bytes is always found (there, or an equal one before it).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "rdm/message.h"
#include "rdm/transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  const RdmUid uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  std::vector<uint8_t> bytes(data, data + size);  // exactly sized: a read past it is caught
  int at = -1;
  int found_size = 0;
  if (FindResponse(bytes.data(), static_cast<int>(bytes.size()), uid, GET_COMMAND,
                   SOFTWARE_VERSION_LABEL, at, found_size)) {
    FUZZ_CHECK(at >= 0 && found_size >= 26 && at + found_size <= static_cast<int>(size));
    FUZZ_CHECK(IsFrameChecksumGood(bytes.data() + at, static_cast<size_t>(found_size)));
  }

  const uint8_t label[] = {'v', '1'};
  RdmFrameFields fields;
  fields.destination = kControllerUid;
  fields.source = uid;
  fields.command_class = GET_COMMAND_RESPONSE;
  fields.pid = SOFTWARE_VERSION_LABEL;
  fields.data = label;
  fields.pdl = sizeof label;
  uint8_t frame[kRdmFrameBufferSize];
  const size_t frame_size = BuildRdmFrame(fields, frame);
  bytes.insert(bytes.end(), frame, frame + frame_size);
  FUZZ_CHECK(FindResponse(bytes.data(), static_cast<int>(bytes.size()), uid, GET_COMMAND,
                          SOFTWARE_VERSION_LABEL, at, found_size));
  return 0;
}
