// SPDX-License-Identifier: Apache-2.0
#include "link/d2xx/rx_event.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#endif

namespace quillmont::d2xx {

#if defined(_WIN32)

struct RxEvent::State {
  HANDLE event = nullptr;
};

RxEvent::RxEvent() : state_(new State) {
  state_->event = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset
  valid_ = state_->event != nullptr;
}

RxEvent::~RxEvent() {
  if (state_->event != nullptr) {
    CloseHandle(state_->event);
  }
  delete state_;
}

void* RxEvent::native() {
  return state_->event;
}

void RxEvent::Wait(uint64_t micros, const std::function<bool()>& ready) {
  // An auto-reset event keeps a signal that came before the wait: none is missed.
  if (!valid_ || ready()) {
    return;
  }
  WaitForSingleObject(state_->event, static_cast<DWORD>((micros + 999) / 1000));
}

#else

// The layout the vendor library's EVENT_HANDLE has on POSIX systems.
struct RxEvent::State {
  pthread_cond_t condition;
  pthread_mutex_t mutex;
  int value;
};

RxEvent::RxEvent() : state_(new State{}) {
  // Timed on the monotonic clock, so that the system's time being set cannot stretch a wait.
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  valid_ = pthread_mutex_init(&state_->mutex, nullptr) == 0;
  valid_ = valid_ && pthread_cond_init(&state_->condition, &attributes) == 0;
  pthread_condattr_destroy(&attributes);
}

RxEvent::~RxEvent() {
  pthread_cond_destroy(&state_->condition);
  pthread_mutex_destroy(&state_->mutex);
  delete state_;
}

void* RxEvent::native() {
  return state_;
}

void RxEvent::Wait(uint64_t micros, const std::function<bool()>& ready) {
  if (!valid_) {
    return;
  }
  // The library signals with the mutex held: asking under it means no signal is missed.
  pthread_mutex_lock(&state_->mutex);
  if (!ready()) {
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    const uint64_t nanos = static_cast<uint64_t>(until.tv_nsec) + micros * 1000;
    until.tv_sec += static_cast<time_t>(nanos / 1'000'000'000);
    until.tv_nsec = static_cast<long>(nanos % 1'000'000'000);
    pthread_cond_timedwait(&state_->condition, &state_->mutex, &until);
  }
  pthread_mutex_unlock(&state_->mutex);
}

#endif

}  // namespace quillmont::d2xx
