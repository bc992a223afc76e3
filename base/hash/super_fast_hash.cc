#include "base/hash/super_fast_hash.h"

namespace base {

namespace {

uint32_t Get16Bits(const unsigned char* data) {
  return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8;
}

// The algorithm reads tail bytes as signed chars.
uint32_t SignedByte(unsigned char byte) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte)));
}

}  // namespace

uint32_t SuperFastHash(const void* data, size_t length) {
  // The algorithm takes an int length.
  if (!data || length < 1 || length > 0x7FFFFFFF)
    return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  uint32_t hash = static_cast<uint32_t>(length);
  const size_t remainder = length & 3;
  for (size_t blocks = length >> 2; blocks > 0; --blocks) {
    hash += Get16Bits(bytes);
    const uint32_t mixed = (Get16Bits(bytes + 2) << 11) ^ hash;
    hash = (hash << 16) ^ mixed;
    bytes += 4;
    hash += hash >> 11;
  }
  switch (remainder) {
    case 3:
      hash += Get16Bits(bytes);
      hash ^= hash << 16;
      hash ^= SignedByte(bytes[2]) << 18;
      hash += hash >> 11;
      break;
    case 2:
      hash += Get16Bits(bytes);
      hash ^= hash << 11;
      hash += hash >> 17;
      break;
    case 1:
      hash += SignedByte(bytes[0]);
      hash ^= hash << 10;
      hash += hash >> 1;
      break;
  }
  hash ^= hash << 3;
  hash += hash >> 5;
  hash ^= hash << 4;
  hash += hash >> 17;
  hash ^= hash << 25;
  hash += hash >> 6;
  return hash;
}

}  // namespace base
