// SPDX-License-Identifier: Apache-2.0
// A shared library loaded at run time (dlopen on POSIX, LoadLibrary on Windows).
#pragma once

#include <string>

namespace quillmont::d2xx {

class SharedLibrary {
 public:
  // Tries to load the library; loaded() tells whether it worked.
  explicit SharedLibrary(const std::string& name);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // The address of an exported function, or null.
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace quillmont::d2xx
