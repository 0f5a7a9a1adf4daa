// The whole-file cipher and its key schedule.
#include "storage/vellum/cipher.h"

#include <cstring>

#include "storage/vellum/consistency.h"

namespace ck::vellum {
namespace {

void LoadWords(const uint8_t* bytes, uint32_t* words) {
  for (int i = 0; i < 16; ++i) {
    words[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 |
               uint32_t{bytes[4 * i + 2]} << 16 | uint32_t{bytes[4 * i + 3]} << 24;
  }
}

void StoreWords(const uint32_t* words, uint8_t* bytes) {
  for (int i = 0; i < 16; ++i) {
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<uint8_t>(words[i] >> (8 * b));
  }
}

}  // namespace

Cipher::Cipher(std::string_view password) {
  // The password and its terminating zero form a cycle read from its second byte.
  const size_t cycle = password.size() + 1;
  auto cycleByte = [&](size_t n) -> uint8_t {
    const size_t at = n % cycle;
    return at < password.size() ? static_cast<uint8_t>(password[at]) : 0;
  };
  uint8_t bytes[64] = {};
  for (int i = 0; i < 64; ++i) {
    bytes[(17 * i) % 64] = static_cast<uint8_t>(cycleByte(1 + static_cast<size_t>(i)) + i);
  }
  LoadWords(bytes, key_.data());
  EncipherWords(key_.data(), key_.data());
  EncipherWords(key_.data(), key_.data());
}

void Cipher::EncipherWords(uint32_t* block, const uint32_t* k) {
  for (int i = 0; i < 16; ++i) {
    const uint32_t key = k[i];
    const int j = static_cast<int>(key % 16);
    const uint32_t a = block[i];
    const uint32_t b = block[j];
    block[j] = ((b & key) | (a & ~key)) + key;
    block[i] = ((a & key) | (b & ~key)) + key;
  }
}

void Cipher::DecipherWords(uint32_t* block, const uint32_t* k) {
  for (int i = 15; i >= 0; --i) {
    const uint32_t key = k[i];
    const int j = static_cast<int>(key % 16);
    const uint32_t x = block[i] - key;
    const uint32_t y = block[j] - key;
    block[i] = (x & key) | (y & ~key);
    block[j] = (y & key) | (x & ~key);
  }
}

void Cipher::Encipher(void* data, size_t length) const {
  if (length % kCipherBlock != 0) ConsistencyStop(2272);
  auto* bytes = static_cast<uint8_t*>(data);
  uint32_t words[16];
  for (size_t at = 0; at < length; at += kCipherBlock) {
    LoadWords(bytes + at, words);
    EncipherWords(words, key_.data());
    StoreWords(words, bytes + at);
  }
}

void Cipher::Decipher(void* data, size_t length) const {
  if (length % kCipherBlock != 0) ConsistencyStop(2286);
  auto* bytes = static_cast<uint8_t*>(data);
  uint32_t words[16];
  for (size_t at = 0; at < length; at += kCipherBlock) {
    LoadWords(bytes + at, words);
    DecipherWords(words, key_.data());
    StoreWords(words, bytes + at);
  }
}

}  // namespace ck::vellum
