#include "base/hash/sha1.h"

#include <string.h>

namespace base {

namespace {

uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

void Transform(const uint8_t block[64], uint32_t state[5]) {
  uint32_t words[80];
  for (int i = 0; i < 16; ++i) {
    words[i] = static_cast<uint32_t>(block[i * 4]) << 24 |
               static_cast<uint32_t>(block[i * 4 + 1]) << 16 |
               static_cast<uint32_t>(block[i * 4 + 2]) << 8 |
               static_cast<uint32_t>(block[i * 4 + 3]);
  }
  for (int i = 16; i < 80; ++i)
    words[i] = RotateLeft(words[i - 3] ^ words[i - 8] ^ words[i - 14] ^ words[i - 16], 1);

  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f;
    uint32_t k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const uint32_t next = RotateLeft(a, 5) + f + e + k + words[i];
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

void Sha1HashBytes(const void* data, size_t length, uint8_t (&hash)[kSha1Length]) {
  uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t remaining = length;
  for (; remaining >= 64; remaining -= 64, bytes += 64)
    Transform(bytes, state);

  // The tail, a 1 bit, zeros and the message length in bits (big-endian) fill one or two
  // last blocks.
  uint8_t tail[128] = {};
  if (remaining)
    memcpy(tail, bytes, remaining);
  tail[remaining] = 0x80;
  const size_t tail_size = remaining < 56 ? 64 : 128;
  const uint64_t bit_length = static_cast<uint64_t>(length) * 8;
  for (int i = 0; i < 8; ++i)
    tail[tail_size - 1 - i] = static_cast<uint8_t>(bit_length >> (8 * i));
  Transform(tail, state);
  if (tail_size == 128)
    Transform(tail + 64, state);

  for (int i = 0; i < 5; ++i) {
    hash[i * 4] = static_cast<uint8_t>(state[i] >> 24);
    hash[i * 4 + 1] = static_cast<uint8_t>(state[i] >> 16);
    hash[i * 4 + 2] = static_cast<uint8_t>(state[i] >> 8);
    hash[i * 4 + 3] = static_cast<uint8_t>(state[i]);
  }
}

}  // namespace base
