#include "desktop/windows/installer/ipc/ipc_sender.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/run_until.h"
#include "base/test/scoped_log_capture.h"
#include "base/win/scoped_handle.h"
#include "base/wire_message.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/ipc/mailslot_io.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A mailslot name of its own for each use, as the backend would name one.
std::wstring UniqueRelativeName() {
  static int counter = 0;
  return base::WideStringPrintf(L"tavro_installer\\C:\\Test Folder %lu\\%d",
                                ::GetCurrentProcessId(), ++counter);
}

void AppendLe32(std::string* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes->push_back(static_cast<char>(value >> (8 * i)));
}

// The bytes of a message up to its type: the payload size, the signature and the type.
std::string SignedStart(uint32_t payload_size, uint32_t type) {
  std::string bytes;
  AppendLe32(&bytes, payload_size);
  AppendLe32(&bytes, 19);
  bytes.append(":Installer message:", 19);
  bytes.push_back('\0');
  AppendLe32(&bytes, type);
  return bytes;
}

// A mailslot read directly, to see each write as it arrived.
class RawMailslot {
 public:
  RawMailslot() : name_(UniqueRelativeName()) {
    handle_.Set(::CreateMailslotW(MakeMailslotPath(name_).c_str(), 0, MAILSLOT_WAIT_FOREVER,
                                  nullptr));
  }

  bool IsValid() const { return handle_.IsValid(); }
  const std::wstring& name() const { return name_; }

  // The next write, or "<none>" when none comes within |timeout_ms|.
  std::string Read(DWORD timeout_ms = 30000) {
    std::vector<char> buffer(512 * 1024);
    DWORD read = 0;
    const DWORD error = ReadAndWait(handle_.Get(), buffer.data(),
                                    static_cast<DWORD>(buffer.size()), timeout_ms, &read);
    return error ? "<none>" : std::string(buffer.data(), read);
  }

 private:
  const std::wstring name_;
  base::win::ScopedHandle handle_;
};

class RecordingDelegate : public IpcReceiver::Delegate {
 public:
  void OnMessageReceived(const base::WireMessage& message) override {
    messages.emplace_back(message.data(), message.data() + message.size());
    valid.push_back(message.IsValid());
    thread_ids.push_back(::GetCurrentThreadId());
  }

  std::vector<std::string> messages;
  std::vector<bool> valid;
  std::vector<DWORD> thread_ids;
};

std::string Bytes(const base::WireMessage& message) {
  return std::string(message.data(), message.size());
}

// A receiver on the test's thread with a mailslot of its own, name().
class IpcReceiverTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(receiver_.Connect(name_)); }

  const std::wstring& name() const { return name_; }

  base::MessageLoop loop_;
  RecordingDelegate delegate_;
  IpcReceiver receiver_{&delegate_};
  const std::wstring name_ = UniqueRelativeName();
};

using IpcSenderReceiverTest = IpcReceiverTest;

TEST(IpcSenderTest, WritesEachMessageWholeAsOneMailslotWrite) {
  RawMailslot mailslot;
  ASSERT_TRUE(mailslot.IsValid());
  IpcSender sender;
  ASSERT_TRUE(sender.Connect(mailslot.name()));

  ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::TotalSteps(12))));
  std::string total_steps = SignedStart(32, 3);
  AppendLe32(&total_steps, 12);
  ASSERT_EQ(36u, total_steps.size());
  EXPECT_EQ(total_steps, mailslot.Read());

  // Three UTF-16 units and a detail of 5 bytes: both padded to the 4-byte boundary.
  const InstallerMessage error = InstallerMessage::Error(37062, L"\u00E9t\u6F22", "odd!!");
  ASSERT_TRUE(sender.Send(WriteInstallerMessage(error)));
  std::string expected = SignedStart(56, 5);
  AppendLe32(&expected, 37062);
  AppendLe32(&expected, 3);
  expected.append("\xE9\0t\0\x22\x6F\0\0", 8);
  AppendLe32(&expected, 5);
  expected.append("odd!!\0\0\0", 8);
  ASSERT_EQ(60u, expected.size());
  const std::string received = mailslot.Read();
  EXPECT_EQ(expected, received);
  InstallerMessage read_back;
  const base::WireMessage wire(received.data(), received.size());
  ASSERT_EQ(InstallerMessageReadResult::kOk, ReadInstallerMessage(wire, &read_back));
  EXPECT_EQ(error, read_back);

  // An empty message text is a count of 0 and no units.
  ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::Error(37055, L"", ""))));
  std::string empty_error = SignedStart(40, 5);
  AppendLe32(&empty_error, 37055);
  AppendLe32(&empty_error, 0);
  AppendLe32(&empty_error, 0);
  EXPECT_EQ(empty_error, mailslot.Read());

  // A burst, as a copy sends one message per file, is handed over in batches: every
  // message still comes, whole and in order, and without waiting for Close.
  for (int i = 0; i < 300; ++i)
    ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::TotalSteps(i))));
  for (int i = 0; i < 300; ++i)
    ASSERT_EQ(Bytes(*WriteInstallerMessage(InstallerMessage::TotalSteps(i))), mailslot.Read());
}

TEST_F(IpcSenderReceiverTest, AnErrorReportWithLongPathsArrivesShortened) {
  // A copy error with 600-character paths: the destination as the message, source and
  // destination in the detail. Then texts that are cut in the middle of their characters.
  std::wstring path = L"C:\\Tavro\\";
  while (path.size() < 600)
    path += L"folder \u00e9\u6F22\\";
  path.resize(600);
  const std::string utf8_path = base::Utf16ToUtf8(path);
  std::string e_acute_1000;
  std::wstring smileys_1000;
  for (int i = 0; i < 1000; ++i) {
    e_acute_1000 += "\xC3\xA9";
    smileys_1000 += L"\U0001F600";
  }
  const InstallerMessage reports[] = {
      InstallerMessage::Error(37062, path, "Failed copying " + utf8_path + " to " + utf8_path),
      InstallerMessage::Error(37055, std::wstring(100, L'\u00e9'), e_acute_1000),
      InstallerMessage::Error(37055, smileys_1000, ""),
  };
  IpcSender sender;
  ASSERT_TRUE(sender.Connect(name()));
  for (const InstallerMessage& report : reports) {
    const std::unique_ptr<base::WireMessage> wire = WriteInstallerMessage(report);
    EXPECT_LE(wire->size(), kMaxInstallerMessageSize);
    ASSERT_TRUE(sender.Send(WriteInstallerMessage(report)));
  }
  ASSERT_TRUE(base::test::RunUntil([&] { return delegate_.messages.size() >= 3; }));

  std::vector<InstallerMessage> received(3);
  for (size_t i = 0; i < 3; ++i) {
    const base::WireMessage wire(delegate_.messages[i].data(), delegate_.messages[i].size());
    ASSERT_EQ(InstallerMessageReadResult::kOk, ReadInstallerMessage(wire, &received[i]));
    EXPECT_EQ(reports[i].code, received[i].code);
  }
  // The detail is cut, keeping its start; the message, which fits beside it, stays whole.
  EXPECT_EQ(path, received[0].message);
  EXPECT_LT(received[0].detail.size(), reports[0].detail.size());
  EXPECT_TRUE(received[0].detail.starts_with("Failed copying " + utf8_path.substr(0, 100)));
  EXPECT_TRUE(received[0].detail.ends_with("..."));
  // Cuts fall between characters: no half of a two-byte character, nor of a pair.
  EXPECT_EQ(std::wstring(100, L'\u00e9'), received[1].message);
  ASSERT_LT(3u, received[1].detail.size());
  EXPECT_EQ(e_acute_1000.substr(0, received[1].detail.size() - 3) + "...", received[1].detail);
  EXPECT_EQ(1u, received[1].detail.size() % 2);
  ASSERT_LT(3u, received[2].message.size());
  EXPECT_EQ(smileys_1000.substr(0, received[2].message.size() - 3) + L"...",
            received[2].message);
  EXPECT_EQ(1u, received[2].message.size() % 2);
}

TEST_F(IpcSenderReceiverTest, RefusesAMessageTheReceiverCannotReadWhole) {
  base::test::ScopedLogCapture log;
  IpcSender sender;
  ASSERT_TRUE(sender.Connect(name()));

  // The receiver's buffer holds 2048 bytes: a message of exactly that size goes through.
  const auto largest = std::make_unique<base::WireMessage>();
  largest->WriteString(std::string(2048 - 8, 'x'));
  ASSERT_EQ(2048u, largest->size());
  auto too_large = std::make_unique<base::WireMessage>(*largest);
  too_large->WriteBool(true);
  EXPECT_FALSE(sender.Send(std::move(too_large)));
  EXPECT_TRUE(log.Logged(logging::LOG_ERROR,
                         "Not sending a message of 2052 bytes: the receiver reads at most 2048"));
  ASSERT_TRUE(sender.Send(std::make_unique<base::WireMessage>(*largest)));
  ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::OfType(IPC_MESSAGE_STEP))));

  ASSERT_TRUE(base::test::RunUntil([&] { return delegate_.messages.size() >= 2; }));
  sender.Close();
  EXPECT_EQ(Bytes(*largest), delegate_.messages[0]);
  EXPECT_EQ(Bytes(*WriteInstallerMessage(InstallerMessage::OfType(IPC_MESSAGE_STEP))),
            delegate_.messages[1]);
  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Messages unsent: 0"));
}

TEST_F(IpcSenderReceiverTest, AFailedWriteIsDroppedAndTheNextMessagesStillGo) {
  constexpr int kMessages = 200;
  base::test::ScopedLogCapture log;
  {
    // A sender that lets a message through that no mailslot takes: 300 KB is over the
    // mailslot's limit on Windows and over the datagram limit of Wine's mailslots.
    IpcSender sender(1024 * 1024);
    ASSERT_TRUE(sender.Connect(name()));
    auto huge = std::make_unique<base::WireMessage>();
    huge->WriteString(std::string(300 * 1024, 'h'));
    ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::TotalSteps(1))));
    ASSERT_TRUE(sender.Send(std::move(huge)));
    // A burst, as a run sends for the files it copies: each write completes at once and
    // accounts for exactly its own message.
    for (int i = 2; i <= kMessages; ++i)
      ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::TotalSteps(i))));
  }
  EXPECT_TRUE(log.LoggedPrefix(logging::LOG_ERROR, "Cannot write to mailslot: "));
  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Messages unsent: 1"));

  ASSERT_TRUE(base::test::RunUntil([&] { return delegate_.messages.size() >= kMessages; }));
  ASSERT_EQ(static_cast<size_t>(kMessages), delegate_.messages.size());
  for (int i = 0; i < kMessages; ++i) {
    EXPECT_EQ(Bytes(*WriteInstallerMessage(InstallerMessage::TotalSteps(i + 1))),
              delegate_.messages[i]);
  }
}

TEST_F(IpcReceiverTest, DeliversEveryMessageInOrderOnTheCreatingThreadDespiteJunk) {
  // One mailslot per name.
  RecordingDelegate other_delegate;
  IpcReceiver other(&other_delegate);
  EXPECT_FALSE(other.Connect(name()));

  // Any process may write anything: an empty write, bytes that are no message and more
  // bytes than the receiver reads.
  base::win::ScopedHandle writer(::CreateFileW(MakeMailslotPath(name()).c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.IsValid());
  DWORD written = 0;
  const std::string junk(3000, 'j');
  EXPECT_TRUE(::WriteFile(writer.Get(), junk.data(), 0, &written, nullptr));
  EXPECT_TRUE(::WriteFile(writer.Get(), junk.data(), 7, &written, nullptr));

  IpcSender sender;
  ASSERT_TRUE(sender.Connect(name()));
  constexpr int kMessages = 200;
  for (int i = 0; i < kMessages; ++i) {
    ASSERT_TRUE(sender.Send(WriteInstallerMessage(InstallerMessage::TotalSteps(i))));
    if (i == kMessages / 2)
      ::WriteFile(writer.Get(), junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
  }
  sender.Close();

  // The junk arrives too (the delegate judges it), but nothing is lost behind it.
  ASSERT_TRUE(base::test::RunUntil([&] { return delegate_.messages.size() >= kMessages + 2; }));
  std::vector<std::string> valid_messages;
  for (size_t i = 0; i < delegate_.messages.size(); ++i) {
    EXPECT_EQ(::GetCurrentThreadId(), delegate_.thread_ids[i]);
    if (delegate_.valid[i] && delegate_.messages[i].size() > 8)
      valid_messages.push_back(delegate_.messages[i]);
  }
  ASSERT_EQ(static_cast<size_t>(kMessages), valid_messages.size());
  for (int i = 0; i < kMessages; ++i)
    EXPECT_EQ(Bytes(*WriteInstallerMessage(InstallerMessage::TotalSteps(i))), valid_messages[i]);
}

TEST_F(IpcReceiverTest, FlushHandsOverWhatWaitsBeforeItsReply) {

  base::win::ScopedHandle writer(::CreateFileW(MakeMailslotPath(name()).c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.IsValid());
  for (int i = 0; i < 20; ++i) {
    const std::unique_ptr<base::WireMessage> message =
        WriteInstallerMessage(InstallerMessage::TotalSteps(i));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(writer.Get(), message->data(), static_cast<DWORD>(message->size()),
                            &written, nullptr));
  }
  size_t seen_at_reply = 0;
  bool replied = false;
  receiver_.Flush(base::BindLambda([&] {
    seen_at_reply = delegate_.messages.size();
    replied = true;
  }));
  ASSERT_TRUE(base::test::RunUntil([&] { return replied; }));
  EXPECT_EQ(20u, seen_at_reply);

  // After Close nothing more arrives, and the flush of a closed receiver replies at once.
  receiver_.Close();
  const std::unique_ptr<base::WireMessage> late =
      WriteInstallerMessage(InstallerMessage::OfType(IPC_MESSAGE_SUCCESS));
  DWORD written = 0;
  ::WriteFile(writer.Get(), late->data(), static_cast<DWORD>(late->size()), &written, nullptr);
  replied = false;
  receiver_.Flush(base::BindLambda([&] { replied = true; }));
  EXPECT_TRUE(replied);
  EXPECT_FALSE(base::test::RunUntil([&] { return delegate_.messages.size() > 20; },
                                    base::TimeDelta::FromMilliseconds(300)));
}

}  // namespace
}  // namespace installer
