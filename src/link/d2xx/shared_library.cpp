// SPDX-License-Identifier: Apache-2.0
#include "link/d2xx/shared_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quillmont::d2xx {

#if defined(_WIN32)

SharedLibrary::SharedLibrary(const std::string& name)
    : handle_(reinterpret_cast<void*>(LoadLibraryA(name.c_str()))) {}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) {
    FreeLibrary(static_cast<HMODULE>(handle_));
  }
}

void* SharedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

#else

SharedLibrary::SharedLibrary(const std::string& name)
    : handle_(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) {
    dlclose(handle_);
  }
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ == nullptr ? nullptr : dlsym(handle_, name);
}

#endif

}  // namespace quillmont::d2xx
