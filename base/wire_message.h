#ifndef BASE_WIRE_MESSAGE_H_
#define BASE_WIRE_MESSAGE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace base {

// A binary message exchanged between processes: a little-endian u32 payload size, then the
// payload. Every field starts on a 4-byte boundary and is zero-padded to a multiple of 4:
//   int32, uint32, bool (int32 0 or 1)     4 bytes
//   int64                                  8 bytes
//   string                                 int32 byte count, the bytes
//   wide string                            int32 count of UTF-16 units, 2 bytes per unit
// Fields carry no type tags; a WireMessageReader reads them back in the order written.
class WireMessage {
 public:
  static constexpr size_t kHeaderSize = sizeof(uint32_t);

  // An empty writable message (payload size 0).
  WireMessage();
  // The same with room for |capacity| bytes, header included, before it grows.
  explicit WireMessage(size_t capacity);
  // A read-only view over |size| received bytes, which must outlive the message and are
  // not copied. Invalid unless the bytes hold the header and the whole payload it
  // announces; bytes beyond that payload are ignored.
  WireMessage(const void* data, size_t size);
  // A copy owns its bytes and is writable, also when copied from a read-only view; the
  // copy of an invalid message is invalid and empty.
  WireMessage(const WireMessage& other);
  WireMessage& operator=(const WireMessage& other);
  ~WireMessage();

  bool IsValid() const { return valid_; }
  bool IsReadOnly() const { return read_only_; }

  // The whole message, header included (empty for an invalid message).
  const char* data() const { return IsReadOnly() ? view_ : owned_.data(); }
  size_t size() const { return IsReadOnly() ? view_size_ : owned_.size(); }
  const char* payload() const { return data() + (size() ? kHeaderSize : 0); }
  // Bytes the message holds room for, header included; 0 for a read-only view.
  size_t capacity() const { return IsReadOnly() ? 0 : owned_.capacity(); }
  size_t payload_size() const { return size() ? size() - kHeaderSize : 0; }

  // Each appends one field; false (nothing written) on a read-only message or when the
  // payload would exceed the 32-bit size or a length its 31-bit count field.
  bool WriteBool(bool value);
  bool WriteInt(int32_t value);
  bool WriteUint32(uint32_t value);
  bool WriteInt64(int64_t value);
  bool WriteString(std::string_view value);
  bool WriteWideString(std::wstring_view value);

  // Grows the payload by |length| rounded up to 4 and returns the new, zeroed room, valid
  // until the next write; null on a read-only message or when the payload would overflow.
  char* ClaimBytes(size_t length);

 private:
  void SetPayloadSize(size_t payload_size);

  std::vector<char> owned_;     // Header and payload of a writable message.
  const char* view_ = nullptr;  // Header and payload of a read-only message.
  size_t view_size_ = 0;
  bool read_only_ = false;
  bool valid_ = true;
};

// Reads the fields of a message in order. A read that fails (too few bytes left, a
// negative or oversized length, a bool other than 0 or 1) moves the cursor to the end,
// so every later read fails too. The message must outlive the reader.
class WireMessageReader {
 public:
  explicit WireMessageReader(const WireMessage& message);

  bool ReadBool(bool* result);
  bool ReadInt(int32_t* result);
  bool ReadUint32(uint32_t* result);
  bool ReadInt64(int64_t* result);
  bool ReadString(std::string* result);
  bool ReadWideString(std::wstring* result);
  // Points |data| at the next |length| bytes of the payload (padding skipped after them).
  bool ReadBytes(const char** data, size_t length);

  // Bytes not read yet.
  size_t remaining() const { return static_cast<size_t>(end_ - position_); }

 private:
  // Points |data| at the next |length| bytes and moves past them and their padding.
  bool Advance(size_t length, const char** data);
  template <typename T>
  bool ReadFixed(T* result);
  // Moves to the end and returns false.
  bool Fail();
  // Reads a count field; false unless it is in [0, INT32_MAX].
  bool ReadLength(size_t* length);

  const char* position_;
  const char* end_;
};

}  // namespace base

#endif  // BASE_WIRE_MESSAGE_H_
