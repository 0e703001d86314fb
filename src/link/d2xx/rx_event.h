// SPDX-License-Identifier: Apache-2.0
// The event through which the vendor library tells that bytes came in (FT_SetEventNotification
// with FT_EVENT_RXCHAR): a Windows event object, or on other systems the condition variable and
// mutex the library signals. The library is handed native() and signals it; Wait sleeps until it
// is signalled or the time is up.
#pragma once

#include <cstdint>
#include <functional>

namespace quillmont::d2xx {

class RxEvent {
 public:
  RxEvent();
  ~RxEvent();
  RxEvent(const RxEvent&) = delete;
  RxEvent& operator=(const RxEvent&) = delete;

  bool valid() const { return valid_; }
  // What FT_SetEventNotification takes: the event's HANDLE, or the address of the library's
  // EVENT_HANDLE structure.
  void* native();
  // Sleeps until the event is signalled or `micros` pass, unless `ready()` already holds (it is
  // asked while the library cannot signal in between, so that no signal is missed).
  void Wait(uint64_t micros, const std::function<bool()>& ready);

 private:
  struct State;
  State* state_ = nullptr;
  bool valid_ = false;
};

}  // namespace quillmont::d2xx
