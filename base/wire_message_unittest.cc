#include "base/wire_message.h"

#include <stdint.h>
#include <string.h>

#include <limits>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<uint8_t> Bytes(const WireMessage& message) {
  return std::vector<uint8_t>(message.data(), message.data() + message.size());
}

// A received message: header, then the given little-endian 32-bit words and extra bytes.
std::string Received(const std::vector<uint32_t>& words, const std::string& tail = "") {
  std::string bytes(4, '\0');
  for (uint32_t word : words)
    bytes.append(reinterpret_cast<const char*>(&word), sizeof(word));
  bytes += tail;
  const uint32_t payload_size = static_cast<uint32_t>(bytes.size() - 4);
  memcpy(&bytes[0], &payload_size, sizeof(payload_size));
  return bytes;
}

TEST(WireMessageTest, LayoutIsByteExact) {
  // An installer message: signature, type 3, count 12.
  WireMessage message;
  EXPECT_EQ(4u, message.size());
  EXPECT_EQ(0u, message.payload_size());
  ASSERT_TRUE(message.WriteString(":Installer message:"));
  ASSERT_TRUE(message.WriteInt(3));
  ASSERT_TRUE(message.WriteInt(12));
  std::vector<uint8_t> expected = {32, 0, 0, 0, 19, 0, 0, 0};
  for (char c : std::string(":Installer message:"))
    expected.push_back(static_cast<uint8_t>(c));
  expected.insert(expected.end(), {0, 3, 0, 0, 0, 12, 0, 0, 0});
  EXPECT_EQ(expected, Bytes(message));

  WireMessage fields;
  ASSERT_TRUE(fields.WriteString("abcde"));   // 4 + 5 + 3 padding
  ASSERT_TRUE(fields.WriteWideString(L"h\x00e9y"));  // 4 + 3 * 2 + 2 padding
  ASSERT_TRUE(fields.WriteBool(true));
  ASSERT_TRUE(fields.WriteUint32(0xFFFFFFFEu));
  ASSERT_TRUE(fields.WriteInt64(-2));
  ASSERT_TRUE(fields.WriteWideString(L""));
  const std::vector<uint8_t> expected_fields = {
      44, 0, 0, 0,                                          // payload size
      5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 0, 0, 0,         // string
      3, 0, 0, 0, 'h', 0, 0xE9, 0, 'y', 0, 0, 0,            // wide string, count in units
      1, 0, 0, 0,                                           // bool
      0xFE, 0xFF, 0xFF, 0xFF,                               // uint32
      0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,       // int64
      0, 0, 0, 0};                                          // empty wide string
  EXPECT_EQ(expected_fields, Bytes(fields));
}

TEST(WireMessageTest, RoundTripsThroughReceivedBytes) {
  WireMessage message;
  message.WriteInt(std::numeric_limits<int32_t>::min());
  message.WriteBool(false);
  message.WriteString("");
  message.WriteString(std::string("a\0b", 3));
  message.WriteWideString(L"\x65e5\x672c");
  message.WriteInt64(std::numeric_limits<int64_t>::max());
  message.WriteUint32(7);

  // Received into a larger buffer: the trailing bytes are not part of the message.
  std::string buffer(message.data(), message.size());
  buffer += "garbage";
  WireMessage view(buffer.data(), buffer.size());
  ASSERT_TRUE(view.IsValid());
  EXPECT_TRUE(view.IsReadOnly());
  EXPECT_EQ(message.size(), view.size());
  EXPECT_EQ(buffer.data(), view.data());  // Not copied.

  WireMessageReader reader(view);
  int32_t i32;
  bool flag = true;
  std::string text;
  std::wstring wide;
  int64_t i64;
  uint32_t u32;
  ASSERT_TRUE(reader.ReadInt(&i32));
  EXPECT_EQ(std::numeric_limits<int32_t>::min(), i32);
  ASSERT_TRUE(reader.ReadBool(&flag));
  EXPECT_FALSE(flag);
  ASSERT_TRUE(reader.ReadString(&text));
  EXPECT_EQ("", text);
  ASSERT_TRUE(reader.ReadString(&text));
  EXPECT_EQ(std::string("a\0b", 3), text);
  ASSERT_TRUE(reader.ReadWideString(&wide));
  EXPECT_EQ(L"\x65e5\x672c", wide);
  ASSERT_TRUE(reader.ReadInt64(&i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), i64);
  ASSERT_TRUE(reader.ReadUint32(&u32));
  EXPECT_EQ(7u, u32);
  EXPECT_EQ(0u, reader.remaining());
  EXPECT_FALSE(reader.ReadInt(&i32));

  // Writing into a view is refused; a copy owns its bytes and can grow.
  EXPECT_FALSE(view.WriteInt(1));
  WireMessage copy(view);
  buffer.assign(buffer.size(), 'x');
  EXPECT_FALSE(copy.IsReadOnly());
  EXPECT_EQ(Bytes(message), Bytes(copy));
  ASSERT_TRUE(copy.WriteInt(99));
  WireMessageReader copy_reader(copy);
  const char* skipped = nullptr;
  ASSERT_TRUE(copy_reader.ReadBytes(&skipped, message.payload_size()));
  EXPECT_EQ(copy.payload(), skipped);
  ASSERT_TRUE(copy_reader.ReadInt(&i32));
  EXPECT_EQ(99, i32);

  WireMessage assigned;
  assigned = copy;
  EXPECT_EQ(Bytes(copy), Bytes(assigned));
}

TEST(WireMessageTest, ReceivedBytesAreValidated) {
  const std::string bytes = Received({1, 2});
  // The header announces more than was received, or there is no whole header.
  EXPECT_FALSE(WireMessage(bytes.data(), bytes.size() - 1).IsValid());
  EXPECT_FALSE(WireMessage(bytes.data(), 3).IsValid());
  EXPECT_FALSE(WireMessage(nullptr, 0).IsValid());
  std::string lying = bytes;
  lying[3] = '\x80';  // Payload size 0x80000008.
  const WireMessage invalid(lying.data(), lying.size());
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(0u, invalid.size());
  EXPECT_EQ(0u, invalid.payload_size());
  int32_t value;
  WireMessageReader reader(invalid);
  EXPECT_FALSE(reader.ReadInt(&value));
  WireMessage copy(invalid);
  EXPECT_FALSE(copy.IsValid());
  EXPECT_EQ(0u, copy.size());
  EXPECT_FALSE(copy.WriteInt(1));

  const WireMessage empty(bytes.data(), 4);  // A header announcing 8 bytes, alone.
  EXPECT_FALSE(empty.IsValid());
  const std::string header_only = Received({});
  EXPECT_TRUE(WireMessage(header_only.data(), header_only.size()).IsValid());
}

TEST(WireMessageTest, ShortReadsFailAndStayAtTheEnd) {
  // A 6-byte payload: one int, then 2 bytes that make no field.
  const std::string bytes = Received({5}, "ab");
  const WireMessage message(bytes.data(), bytes.size());
  ASSERT_TRUE(message.IsValid());
  WireMessageReader reader(message);
  int32_t value;
  ASSERT_TRUE(reader.ReadInt(&value));
  EXPECT_EQ(5, value);
  EXPECT_EQ(2u, reader.remaining());
  int64_t wide_value;
  EXPECT_FALSE(reader.ReadInt64(&wide_value));
  EXPECT_EQ(0u, reader.remaining());
  const char* data;
  EXPECT_FALSE(reader.ReadBytes(&data, 1));

  // A short field at the very end needs no padding.
  WireMessageReader tail_reader(message);
  ASSERT_TRUE(tail_reader.ReadInt(&value));
  ASSERT_TRUE(tail_reader.ReadBytes(&data, 2));
  EXPECT_EQ(0, memcmp(data, "ab", 2));
  EXPECT_EQ(0u, tail_reader.remaining());

  // A bool is 0 or 1; anything else is a corrupt message.
  const std::string bools = Received({1, 2, 0});
  const WireMessage bool_message(bools.data(), bools.size());
  WireMessageReader bool_reader(bool_message);
  bool flag;
  ASSERT_TRUE(bool_reader.ReadBool(&flag));
  EXPECT_TRUE(flag);
  EXPECT_FALSE(bool_reader.ReadBool(&flag));
  EXPECT_FALSE(bool_reader.ReadBool(&flag));
}

TEST(WireMessageTest, LyingLengthsFail) {
  struct Case {
    uint32_t length;
    bool wide;
  };
  // 8 bytes follow each length field.
  const Case cases[] = {
      {0xFFFFFFFFu, false}, {0x80000000u, false}, {0x7FFFFFFFu, false}, {9, false},
      {0xFFFFFFFFu, true},  {0x80000000u, true},  {0x7FFFFFFFu, true},  {0x40000000u, true},
      {0x80000004u, true},  {5, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << (c.wide ? " wide" : " narrow"));
    const std::string bytes = Received({c.length, 0x41414141u, 0x41414141u});
    const WireMessage message(bytes.data(), bytes.size());
    ASSERT_TRUE(message.IsValid());
    WireMessageReader reader(message);
    std::string text = "unchanged";
    std::wstring wide = L"unchanged";
    EXPECT_FALSE(c.wide ? reader.ReadWideString(&wide) : reader.ReadString(&text));
    EXPECT_EQ("unchanged", text);
    EXPECT_EQ(L"unchanged", wide);
    EXPECT_EQ(0u, reader.remaining());
    int32_t value;
    EXPECT_FALSE(reader.ReadInt(&value));
  }

  // The exact lengths still read.
  const std::string exact = Received({8, 0x41414141u, 0x41414141u});
  const WireMessage narrow(exact.data(), exact.size());
  std::string text;
  EXPECT_TRUE(WireMessageReader(narrow).ReadString(&text));
  EXPECT_EQ("AAAAAAAA", text);
  const std::string exact_wide = Received({4, 0x00410041u, 0x00410041u});
  const WireMessage wide_message(exact_wide.data(), exact_wide.size());
  std::wstring wide;
  EXPECT_TRUE(WireMessageReader(wide_message).ReadWideString(&wide));
  EXPECT_EQ(L"AAAA", wide);
}

TEST(WireMessageTest, ClaimBytesGrowsByAlignedLength) {
  WireMessage message;
  char* first = message.ClaimBytes(5);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(message.payload(), first);
  EXPECT_EQ(8u, message.payload_size());
  memset(first, 0x11, 5);
  char* second = message.ClaimBytes(4);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(message.payload() + 8, second);
  EXPECT_EQ(12u, message.payload_size());
  EXPECT_EQ(std::string(4, '\0'), std::string(second, 4));  // Zeroed.
  EXPECT_EQ(std::string(3, '\0'), std::string(message.payload() + 5, 3));  // Padding.
  EXPECT_NE(nullptr, message.ClaimBytes(0));
  EXPECT_EQ(12u, message.payload_size());
  uint32_t header;
  memcpy(&header, message.data(), sizeof(header));
  EXPECT_EQ(12u, header);

  // A payload that would pass the 32-bit size is refused, leaving the message unchanged.
  EXPECT_EQ(nullptr, message.ClaimBytes(0xFFFFFFFFu));
  EXPECT_EQ(nullptr, message.ClaimBytes(std::numeric_limits<size_t>::max()));
  EXPECT_EQ(12u, message.payload_size());

  // A copy of a received message with an unaligned end writes its next field aligned.
  const std::string bytes = Received({5}, "ab");
  const WireMessage received(bytes.data(), bytes.size());
  WireMessage copy(received);
  ASSERT_TRUE(copy.WriteInt(7));
  EXPECT_EQ(12u, copy.payload_size());
  WireMessageReader reader(copy);
  int32_t value;
  const char* data;
  ASSERT_TRUE(reader.ReadInt(&value));
  ASSERT_TRUE(reader.ReadBytes(&data, 2));
  ASSERT_TRUE(reader.ReadInt(&value));
  EXPECT_EQ(7, value);
}

}  // namespace
}  // namespace base
