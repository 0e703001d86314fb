// SPDX-License-Identifier: Apache-2.0
// ForEachLineAtOnce, which the rig shares with the flash of every adapter.
#pragma once

#include <thread>
#include <vector>

namespace quillmont {

template <typename Work>
void ForEachLineAtOnce(size_t count, const Work& work) {
  if (count == 1) {
    work(size_t{0});
    return;
  }
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    threads.emplace_back([&work, i] { work(i); });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

}  // namespace quillmont
