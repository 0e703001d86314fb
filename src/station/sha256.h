// SPDX-License-Identifier: Apache-2.0
// SHA-256 over bytes fed in pieces. Two implementations behind this one class: OpenSSL's
// libcrypto (sha256_openssl.cpp) and, on Windows, the system's CNG provider (sha256_bcrypt.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace quillmont {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the hash could not be set up or a piece could not be taken; every later call
  // then fails too.
  bool Update(const void* bytes, size_t count);
  // The digest of everything fed so far, or nothing after a failure. Call once.
  std::optional<Sha256Digest> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillmont
