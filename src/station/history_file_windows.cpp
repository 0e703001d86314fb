// SPDX-License-Identifier: Apache-2.0
// The history's append on Windows: a handle opened for appending data, the file locked while the
// one write goes out.
// clang-format off
#include <windows.h>
// clang-format on

#include "station/history.h"

namespace quillmont {
namespace {

std::string Reason(DWORD error) {
  return "Windows error " + std::to_string(static_cast<unsigned long>(error));
}

struct Handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
    }
  }
};

}  // namespace

Status AppendLineLocked(const std::filesystem::path& file, const std::string& line) {
  std::error_code made;
  std::filesystem::create_directories(file.parent_path(), made);
  if (made) {
    return Error{made.message()};
  }
  Handle h;
  h.handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h.handle == INVALID_HANDLE_VALUE) {
    return Error{Reason(GetLastError())};
  }
  OVERLAPPED whole{};
  if (!LockFileEx(h.handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    return Error{Reason(GetLastError())};
  }
  DWORD written = 0;
  const BOOL wrote =
      WriteFile(h.handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  const DWORD error = GetLastError();
  UnlockFileEx(h.handle, 0, MAXDWORD, MAXDWORD, &whole);
  if (!wrote || written != line.size()) {
    return Error{Reason(error)};
  }
  return {};
}

}  // namespace quillmont
