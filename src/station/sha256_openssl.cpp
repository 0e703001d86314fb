// SPDX-License-Identifier: Apache-2.0
#include <openssl/evp.h>

#include "station/sha256.h"

namespace quillmont {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  state_->good =
      state_->context != nullptr && EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(state_->context);
}

bool Sha256::Update(const void* bytes, size_t count) {
  if (state_->good && count > 0) {
    state_->good = EVP_DigestUpdate(state_->context, bytes, count) == 1;
  }
  return state_->good;
}

std::optional<Sha256Digest> Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (!state_->good || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
      length != digest.size()) {
    state_->good = false;
    return std::nullopt;
  }
  state_->good = false;  // the context is spent
  return digest;
}

}  // namespace quillmont
