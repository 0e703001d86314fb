// SPDX-License-Identifier: Apache-2.0
#include "rdm/request.h"

namespace quillmont {

int16_t SendRdmRequest(LineIo& io, LinkHandle& link, const RdmUid& destination, const uint8_t* data,
                       uint8_t pdl, uint16_t sub_device, uint8_t command_class, uint16_t pid) {
  RdmFrameFields fields;
  fields.destination = destination;
  fields.source = kControllerUid;
  fields.sub_device = sub_device;
  fields.command_class = command_class;
  fields.pid = pid;
  fields.data = data;
  fields.pdl = pdl;
  uint8_t frame[kRdmFrameBufferSize];
  const size_t size = BuildRdmFrame(fields, frame);
  if (size == 0) {
    // Refused: nothing goes on the line, not even a break.
    return -1;
  }
  return SendFrame(io, link, frame, size) ? 0 : -1;
}

}  // namespace quillmont
