#include "rdm/uid.h"

#include <cstdio>

namespace quillmont {

std::string FormatUid(const RdmUid& uid) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X %02X", uid[0], uid[1], uid[2], uid[3],
                uid[4], uid[5]);
  return text;
}

}  // namespace quillmont
