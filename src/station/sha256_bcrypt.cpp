// SPDX-License-Identifier: Apache-2.0
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>
#include <limits>

#include "station/sha256.h"

namespace quillmont {
namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.good =
      Succeeded(BCryptOpenAlgorithmProvider(&s.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
      Succeeded(BCryptCreateHash(s.algorithm, &s.hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  if (state_->hash != nullptr) {
    BCryptDestroyHash(state_->hash);
  }
  if (state_->algorithm != nullptr) {
    BCryptCloseAlgorithmProvider(state_->algorithm, 0);
  }
}

bool Sha256::Update(const void* bytes, size_t count) {
  // BCryptHashData takes a 32-bit length: larger pieces go in several calls.
  auto* next = static_cast<UCHAR*>(const_cast<void*>(bytes));
  while (state_->good && count > 0) {
    const ULONG piece =
        static_cast<ULONG>(std::min<size_t>(count, std::numeric_limits<ULONG>::max()));
    state_->good = Succeeded(BCryptHashData(state_->hash, next, piece, 0));
    next += piece;
    count -= piece;
  }
  return state_->good;
}

std::optional<Sha256Digest> Sha256::Finish() {
  Sha256Digest digest{};
  if (!state_->good || !Succeeded(BCryptFinishHash(state_->hash, digest.data(),
                                                   static_cast<ULONG>(digest.size()), 0))) {
    state_->good = false;
    return std::nullopt;
  }
  state_->good = false;  // a finished hash takes no more data
  return digest;
}

}  // namespace quillmont
