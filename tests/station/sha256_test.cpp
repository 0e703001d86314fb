// SPDX-License-Identifier: Apache-2.0
// The SHA-256 behind firmware file digests: OpenSSL's on Linux, Windows' CNG provider there.
#include "station/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../update/srec2_test_files.h"
#include "station/file_digest.h"

namespace quillmont {
namespace {

std::string Hex(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

TEST(Sha256Test, PiecesThatStraddleBlocksGiveTheDigestOfTheWhole) {
  // The two-block message of FIPS 180-2, fed whole and in pieces of every size from 1 to 70.
  const std::string message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string expected = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
  for (size_t piece = 1; piece <= 70; ++piece) {
    SCOPED_TRACE(piece);
    Sha256 hash;
    for (size_t at = 0; at < message.size(); at += piece) {
      ASSERT_TRUE(hash.Update(message.data() + at, std::min(piece, message.size() - at)));
    }
    ASSERT_TRUE(hash.Update(nullptr, 0));
    const auto digest = hash.Finish();
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(Hex(*digest), expected);
  }
}

TEST(Sha256Test, AFinishedHashTakesNothingMore) {
  Sha256 hash;
  ASSERT_TRUE(hash.Update("abc", 3));
  ASSERT_TRUE(hash.Finish().has_value());
  EXPECT_FALSE(hash.Update("d", 1));
  EXPECT_FALSE(hash.Finish().has_value());
}

TEST(FileDigestTest, Sha256OfKnownContentAndOfNoFile) {
  quillmont::testing::TestFolder folder;
  EXPECT_EQ(*Sha256FileHex(folder.Write("abc", "abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(*Sha256FileHex(folder.Write("empty", "")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_FALSE(Sha256FileHex((folder.path() / "none").string()).ok());
  EXPECT_FALSE(Sha256FileHex(folder.path().string()).ok());
}

}  // namespace
}  // namespace quillmont
