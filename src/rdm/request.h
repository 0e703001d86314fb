// SPDX-License-Identifier: Apache-2.0
// The one way Quillmont sends an RDM request: build it, make the break, write the frame.
#pragma once

#include <cstdint>

#include "link/line.h"
#include "rdm/message.h"

namespace quillmont {

// Builds the request (source kControllerUid, transaction, port ID and message count 0), sends a
// break and writes the PDL + 26 bytes. 0 when the driver took the frame; -1 when PDL is above
// 230 or when PDL is above 0 with no data (nothing is sent, not even a break), or when the write
// failed.
int16_t SendRdmRequest(LineIo& io, LinkHandle& link, const RdmUid& destination, const uint8_t* data,
                       uint8_t pdl, uint16_t sub_device, uint8_t command_class, uint16_t pid);

}  // namespace quillmont
