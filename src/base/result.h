// SPDX-License-Identifier: Apache-2.0
// The one way the code outside the window core reports an operation that can fail: a value or a
// text that says why, ready to show the user. The window core keeps its own status codes
// (FT_STATUS, 0/-1/-2 from discovery, the loader's 0/1), which its callers look at as they are.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace quillmont {

// Why an operation failed, in words for the user ("Permission denied on /dev/ttyUSB0 ...").
struct Error {
  std::string message;
};

// A value of type T, or an Error. Test with `if (result)`, read with `*result` or `->`, and the
// reason with `error()`.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT: implicit by design
  Result(Error error) : state_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<T>(state_); }
  const T& value() const& { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<Error>(state_); }
  // The value, or `fallback` on an error.
  T value_or(T fallback) const& { return ok() ? value() : std::move(fallback); }
  T value_or(T fallback) && { return ok() ? std::move(value()) : std::move(fallback); }

 private:
  std::variant<T, Error> state_;
};

// Success with no value, or an Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), ok_(false) {}  // NOLINT: implicit by design

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const Error& error() const { return error_; }

 private:
  Error error_;
  bool ok_ = true;
};

using Status = Result<void>;

}  // namespace quillmont
