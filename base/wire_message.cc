#include "base/wire_message.h"

#include <string.h>

#include <algorithm>
#include <limits>

namespace base {

namespace {

static_assert(sizeof(wchar_t) == 2, "wide strings are written as UTF-16 units");

// The largest payload whose size fits the header, kept a multiple of the alignment.
constexpr size_t kMaxPayloadSize = std::numeric_limits<uint32_t>::max() & ~size_t{3};

// |size| must not exceed kMaxPayloadSize.
size_t AlignUp(size_t size) {
  return (size + 3) & ~size_t{3};
}

// Integers are stored in the machine's (little-endian) byte order.
template <typename T>
bool WriteFixed(WireMessage* message, T value) {
  char* room = message->ClaimBytes(sizeof(value));
  if (!room)
    return false;
  memcpy(room, &value, sizeof(value));
  return true;
}

}  // namespace

WireMessage::WireMessage() : owned_(kHeaderSize, 0) {}

WireMessage::WireMessage(size_t capacity) : WireMessage() {
  owned_.reserve(capacity);
}

WireMessage::WireMessage(const void* data, size_t size)
    : view_(static_cast<const char*>(data)), read_only_(true) {
  uint32_t payload_size = 0;
  if (data && size >= kHeaderSize)
    memcpy(&payload_size, data, sizeof(payload_size));
  valid_ = data && size >= kHeaderSize && payload_size <= size - kHeaderSize;
  view_size_ = valid_ ? kHeaderSize + payload_size : 0;
}

WireMessage::WireMessage(const WireMessage& other) {
  *this = other;
}

WireMessage& WireMessage::operator=(const WireMessage& other) {
  if (this == &other)
    return *this;
  view_ = nullptr;
  view_size_ = 0;
  valid_ = other.valid_;
  read_only_ = !valid_;
  if (valid_)
    owned_.assign(other.data(), other.data() + other.size());
  else
    owned_.clear();
  return *this;
}

WireMessage::~WireMessage() = default;

void WireMessage::SetPayloadSize(size_t payload_size) {
  const uint32_t header = static_cast<uint32_t>(payload_size);
  memcpy(owned_.data(), &header, sizeof(header));
}

char* WireMessage::ClaimBytes(size_t length) {
  if (read_only_)
    return nullptr;
  // A copy of a received message may end off the alignment; new fields start on it.
  const size_t start = AlignUp(payload_size());
  if (start > kMaxPayloadSize || length > kMaxPayloadSize - start)
    return nullptr;
  const size_t new_payload_size = start + AlignUp(length);
  owned_.resize(kHeaderSize + new_payload_size, 0);
  SetPayloadSize(new_payload_size);
  return owned_.data() + kHeaderSize + start;
}

bool WireMessage::WriteBool(bool value) {
  return WriteInt(value ? 1 : 0);
}

bool WireMessage::WriteInt(int32_t value) {
  return WriteFixed(this, value);
}

bool WireMessage::WriteUint32(uint32_t value) {
  return WriteFixed(this, value);
}

bool WireMessage::WriteInt64(int64_t value) {
  return WriteFixed(this, value);
}

bool WireMessage::WriteString(std::string_view value) {
  if (value.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    return false;
  char* room = ClaimBytes(sizeof(int32_t) + value.size());
  if (!room)
    return false;
  const int32_t length = static_cast<int32_t>(value.size());
  memcpy(room, &length, sizeof(length));
  if (!value.empty())
    memcpy(room + sizeof(length), value.data(), value.size());
  return true;
}

bool WireMessage::WriteWideString(std::wstring_view value) {
  // The byte count stays below the payload limit, so the unit count fits 31 bits too.
  if (value.size() > (kMaxPayloadSize - sizeof(int32_t)) / sizeof(wchar_t))
    return false;
  const size_t bytes = value.size() * sizeof(wchar_t);
  char* room = ClaimBytes(sizeof(int32_t) + bytes);
  if (!room)
    return false;
  const int32_t length = static_cast<int32_t>(value.size());
  memcpy(room, &length, sizeof(length));
  if (bytes)
    memcpy(room + sizeof(length), value.data(), bytes);
  return true;
}

WireMessageReader::WireMessageReader(const WireMessage& message)
    : position_(message.payload()), end_(message.payload() + message.payload_size()) {}

bool WireMessageReader::Fail() {
  position_ = end_;
  return false;
}

bool WireMessageReader::Advance(size_t length, const char** data) {
  if (length > remaining())
    return Fail();
  *data = position_;
  // The last field of a payload that does not end on the alignment has no padding.
  position_ += std::min(AlignUp(length), remaining());
  return true;
}

template <typename T>
bool WireMessageReader::ReadFixed(T* result) {
  const char* data;
  if (!Advance(sizeof(*result), &data))
    return false;
  memcpy(result, data, sizeof(*result));
  return true;
}

bool WireMessageReader::ReadBool(bool* result) {
  int32_t value;
  if (!ReadInt(&value))
    return false;
  if (value != 0 && value != 1)
    return Fail();
  *result = value == 1;
  return true;
}

bool WireMessageReader::ReadInt(int32_t* result) {
  return ReadFixed(result);
}

bool WireMessageReader::ReadUint32(uint32_t* result) {
  return ReadFixed(result);
}

bool WireMessageReader::ReadInt64(int64_t* result) {
  return ReadFixed(result);
}

bool WireMessageReader::ReadLength(size_t* length) {
  int32_t value;
  if (!ReadInt(&value))
    return false;
  if (value < 0)
    return Fail();
  *length = static_cast<size_t>(value);
  return true;
}

bool WireMessageReader::ReadString(std::string* result) {
  size_t length;
  const char* data;
  if (!ReadLength(&length) || !Advance(length, &data))
    return false;
  result->assign(data, length);
  return true;
}

bool WireMessageReader::ReadWideString(std::wstring* result) {
  size_t length;
  if (!ReadLength(&length))
    return false;
  // Compared in units, so that a huge count cannot overflow when turned into bytes.
  if (length > remaining() / sizeof(wchar_t))
    return Fail();
  const char* data;
  if (!Advance(length * sizeof(wchar_t), &data))
    return false;
  result->resize(length);
  if (length)
    memcpy(&(*result)[0], data, length * sizeof(wchar_t));
  return true;
}

bool WireMessageReader::ReadBytes(const char** data, size_t length) {
  return Advance(length, data);
}

}  // namespace base
