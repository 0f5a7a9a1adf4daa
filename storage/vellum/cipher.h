// Cipher: the optional whole-file cipher of a Vellum file. Every byte of the
// file, header included, is enciphered in blocks of 64 bytes (16 little-endian
// 32-bit words) under a 16-word key made from the owner password.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ck::vellum {

constexpr size_t kCipherBlock = 64;

class Cipher {
 public:
  using Words = std::array<uint32_t, 16>;

  // The key made from password. REQUIRES: !password.empty().
  explicit Cipher(std::string_view password);
  explicit Cipher(const Words& key) : key_(key) {}

  const Words& key() const { return key_; }

  // In place over whole 64-byte blocks; check 2272 (encipher) or 2286
  // (decipher) when length is not a multiple of 64.
  void Encipher(void* data, size_t length) const;
  void Decipher(void* data, size_t length) const;

  // One block of words under key k. block and k may be the same array (the
  // key is made by enciphering its own words in place).
  static void EncipherWords(uint32_t* block, const uint32_t* k);
  static void DecipherWords(uint32_t* block, const uint32_t* k);

 private:
  Words key_{};
};

}  // namespace ck::vellum
