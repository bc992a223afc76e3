#include "desktop/windows/installer/ipc/installer_message.h"

#include <memory>
#include <string>

#include "base/wire_message.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

InstallerMessageReadResult Read(const base::WireMessage& wire, InstallerMessage* message) {
  return ReadInstallerMessage(wire, message);
}

TEST(InstallerMessageTest, EveryTypeReadsBackAsWritten) {
  const InstallerMessage messages[] = {
      InstallerMessage::StartingNewMainProcess(true),
      InstallerMessage::StartingNewMainProcess(false),
      InstallerMessage::OfType(IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS),
      InstallerMessage::OfType(IPC_MESSAGE_INSTALL_FOLDER_READY),
      InstallerMessage::TotalSteps(-1),
      InstallerMessage::OfType(IPC_MESSAGE_STEP),
      InstallerMessage::Error(37059, L"\u00C5ngstr\u00F6m \U0001F600", std::string("a\0b", 3)),
      InstallerMessage::OfType(IPC_MESSAGE_SUCCESS),
  };
  for (const InstallerMessage& message : messages) {
    const std::unique_ptr<base::WireMessage> wire = WriteInstallerMessage(message);
    InstallerMessage read;
    ASSERT_EQ(InstallerMessageReadResult::kOk, Read(*wire, &read)) << message.type;
    EXPECT_EQ(message, read);
    // A later sender may add fields.
    base::WireMessage longer(*wire);
    longer.WriteInt(7);
    ASSERT_EQ(InstallerMessageReadResult::kOk, Read(longer, &read));
    EXPECT_EQ(message, read);
  }
}

TEST(InstallerMessageTest, SaysWhyAMessageIsNotOne) {
  InstallerMessage read;
  base::WireMessage unsigned_message;
  unsigned_message.WriteString(":Installer message");
  unsigned_message.WriteInt(IPC_MESSAGE_STEP);
  EXPECT_EQ(InstallerMessageReadResult::kNoSignature, Read(unsigned_message, &read));
  EXPECT_EQ(InstallerMessageReadResult::kNoSignature, Read(base::WireMessage(), &read));
  EXPECT_EQ(InstallerMessageReadResult::kNoSignature, Read(base::WireMessage("ab", 2), &read));

  base::WireMessage typeless;
  typeless.WriteString(kInstallerMessageSignature);
  EXPECT_EQ(InstallerMessageReadResult::kNoType, Read(typeless, &read));

  for (int32_t type : {-1, 7, 0x7FFFFFFF}) {
    base::WireMessage unknown(typeless);
    unknown.WriteInt(type);
    EXPECT_EQ(InstallerMessageReadResult::kUnknownType, Read(unknown, &read)) << type;
  }

  base::WireMessage bad_bool(typeless);
  bad_bool.WriteInt(IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS);
  bad_bool.WriteInt(2);
  EXPECT_EQ(InstallerMessageReadResult::kInvalidFields, Read(bad_bool, &read));

  base::WireMessage no_count(typeless);
  no_count.WriteInt(IPC_MESSAGE_TOTAL_STEPS);
  EXPECT_EQ(InstallerMessageReadResult::kInvalidFields, Read(no_count, &read));

  // Every cut of an error message short of its last field fails.
  const std::unique_ptr<base::WireMessage> error =
      WriteInstallerMessage(InstallerMessage::Error(37055, L"text", "detail"));
  for (size_t payload = 0; payload < error->payload_size(); payload += 4) {
    std::string bytes(error->data(), base::WireMessage::kHeaderSize + payload);
    const uint32_t size = static_cast<uint32_t>(payload);
    bytes.replace(0, 4, reinterpret_cast<const char*>(&size), 4);
    const base::WireMessage cut(bytes.data(), bytes.size());
    EXPECT_NE(InstallerMessageReadResult::kOk, Read(cut, &read)) << payload;
  }
}

}  // namespace
}  // namespace installer
