// The whole-file cipher: round trips, the j = i case, the key schedule's
// in-place enciphering, and the 64-byte granularity checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "storage/vellum/cipher.h"
#include "storage/vellum/consistency.h"

namespace ck::vellum {
namespace {

TEST(PageCipher, RoundTripsAndChangesEveryBlock) {
  const Cipher cipher("secret");
  std::string data;
  for (int i = 0; i < 256; ++i) data.push_back(static_cast<char>(i * 7));
  std::string work = data;
  cipher.Encipher(work.data(), work.size());
  EXPECT_NE(work.substr(0, 64), data.substr(0, 64));
  EXPECT_NE(work.substr(192, 64), data.substr(192, 64));
  cipher.Decipher(work.data(), work.size());
  EXPECT_EQ(work, data);
  // Another password gives another text.
  std::string other = data;
  Cipher("secreu").Encipher(other.data(), other.size());
  std::string mine = data;
  cipher.Encipher(mine.data(), mine.size());
  EXPECT_NE(other, mine);
}

TEST(PageCipher, KeyWordWithItsOwnIndexOnlyAdds) {
  // K[i] = i + 16 * n: j = i, so B[i] becomes B[i] + K[i] and nothing else moves.
  Cipher::Words key{};
  for (uint32_t i = 0; i < 16; ++i) key[i] = i + 0x100;
  uint32_t block[16];
  for (uint32_t i = 0; i < 16; ++i) block[i] = 1000 * i + 5;
  Cipher::EncipherWords(block, key.data());
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(block[i], 1000 * i + 5 + key[i]);
  Cipher::DecipherWords(block, key.data());
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(block[i], 1000 * i + 5);
}

TEST(PageCipher, SwapsUnderTheKeyMask) {
  // K[0] = 0xFFFF0001: j = 1; a = B[0], b = B[1].
  Cipher::Words key{};
  for (uint32_t i = 0; i < 16; ++i) key[i] = i;  // all others: j = i, add 0..15
  key[0] = 0xFFFF0001u;
  uint32_t block[16] = {};
  block[0] = 0x11112222u;
  block[1] = 0x33334444u;
  Cipher::EncipherWords(block, key.data());
  // B[1] = ((b & k) | (a & ~k)) + k, then B[0] = ((a & k) | (b & ~k)) + k; then i = 1 adds 1.
  EXPECT_EQ(block[1], ((0x33330000u | 0x00002222u) + 0xFFFF0001u) + 1u);
  EXPECT_EQ(block[0], (0x11110000u | 0x00004444u) + 0xFFFF0001u);
}

TEST(PageCipher, KeyIsMadeFromThePasswordCycle) {
  // Building the key by hand: bytes of "ab\0" from the second byte, placed at
  // 17 * i mod 64 with i added, then the words enciphered in place twice.
  const char cycle[3] = {'a', 'b', '\0'};
  uint8_t bytes[64];
  for (int i = 0; i < 64; ++i) bytes[(17 * i) % 64] = static_cast<uint8_t>(cycle[(i + 1) % 3] + i);
  Cipher::Words words;
  std::memcpy(words.data(), bytes, 64);  // little-endian host
  Cipher::EncipherWords(words.data(), words.data());
  Cipher::EncipherWords(words.data(), words.data());
  EXPECT_EQ(Cipher("ab").key(), words);
}

TEST(PageCipher, PartialBlocksStop) {
  ScopedThrowOnCorruption guard;
  const Cipher cipher("pw");
  std::string data(100, 'x');
  try {
    cipher.Encipher(data.data(), data.size());
    FAIL();
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 2272);
  }
  try {
    cipher.Decipher(data.data(), data.size());
    FAIL();
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 2286);
  }
}

}  // namespace
}  // namespace ck::vellum
