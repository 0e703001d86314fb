// SPDX-License-Identifier: Apache-2.0
#include "support/memory_window_port.h"

namespace quillmont::bench {

std::string MemoryWindowPort::Text(int id) const {
  const auto found = texts_.find(id);
  return found == texts_.end() ? std::string() : found->second;
}

}  // namespace quillmont::bench
