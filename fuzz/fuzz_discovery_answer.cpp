// SPDX-License-Identifier: Apache-2.0
// Any bytes as the answer to a discovery: the decoder reads nothing beyond the bytes it is given
// and accepts an answer only when it re-encodes to itself. The first six input bytes and a
// preamble length also make a well-formed answer, which must decode to that UID.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "rdm/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  // An exactly sized copy, so that a read past its end is caught.
  const std::vector<uint8_t> answer(data, data + size);
  RdmUid target = {1, 2, 3, 4, 5, 6};
  const int16_t result =
      DecodeDiscoveryAnswer(answer.data(), static_cast<int>(answer.size()), target);
  FUZZ_CHECK(result == 0 || result == -1);
  if (result == 0) {
    FUZZ_CHECK(size >= 20);
    // Re-encoded with any preamble, the decoded UID decodes again to itself.
    uint8_t encoded[32];
    const size_t n = EncodeDiscoveryAnswer(target, 3, encoded);
    RdmUid again{};
    FUZZ_CHECK(DecodeDiscoveryAnswer(encoded, static_cast<int>(n), again) == 0);
    FUZZ_CHECK(again == target);
  }

  if (size >= 7) {
    RdmUid uid;
    std::copy_n(data, uid.size(), uid.begin());
    const int preamble = data[6] % 8;
    std::vector<uint8_t> encoded(32);
    encoded.resize(EncodeDiscoveryAnswer(uid, preamble, encoded.data()));
    RdmUid decoded{};
    const int16_t good =
        DecodeDiscoveryAnswer(encoded.data(), static_cast<int>(encoded.size()), decoded);
    // Fewer than 20 bytes (a preamble below 3) is too short an answer.
    FUZZ_CHECK(good == (encoded.size() >= 20 ? 0 : -1));
    if (good == 0) {
      FUZZ_CHECK(decoded == uid);
    }
  }
  return 0;
}
