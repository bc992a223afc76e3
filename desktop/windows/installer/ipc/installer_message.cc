#include "desktop/windows/installer/ipc/installer_message.h"

#include <string_view>
#include <utility>

#include "base/logging.h"

namespace installer {

namespace {

constexpr char kCutMark[] = "...";
// What padding to 4 bytes and the mark may add to a cut text, in bytes.
constexpr size_t kCutSlack = 3 + 2 * (sizeof(kCutMark) - 1);

std::unique_ptr<base::WireMessage> WriteFields(const InstallerMessage& message) {
  auto wire = std::make_unique<base::WireMessage>();
  wire->WriteString(kInstallerMessageSignature);
  wire->WriteInt(message.type);
  switch (message.type) {
    case IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS:
      wire->WriteBool(message.value);
      break;
    case IPC_MESSAGE_TOTAL_STEPS:
      wire->WriteInt(message.count);
      break;
    case IPC_MESSAGE_ERROR:
      wire->WriteInt(message.code);
      wire->WriteWideString(message.message);
      wire->WriteString(message.detail);
      break;
    default:
      break;
  }
  return wire;
}

// Drops at least |excess| bytes from the end of |text| (UTF-8), never inside a character,
// and marks the cut; empties it when little would be left.
void CutUtf8(size_t excess, std::string* text) {
  size_t keep = text->size() > excess + kCutSlack ? text->size() - excess - kCutSlack : 0;
  while (keep > 0 && (static_cast<unsigned char>((*text)[keep]) & 0xC0) == 0x80)
    --keep;
  text->resize(keep);
  if (keep > 0)
    text->append(kCutMark);
}

// The same for UTF-16 text, never between the halves of a surrogate pair.
void CutUtf16(size_t excess, std::wstring* text) {
  const size_t units = (excess + kCutSlack + 1) / 2;
  size_t keep = text->size() > units ? text->size() - units : 0;
  if (keep > 0 && (*text)[keep] >= 0xDC00 && (*text)[keep] <= 0xDFFF)
    --keep;
  text->resize(keep);
  if (keep > 0)
    text->append(L"...");
}

}  // namespace

const char kInstallerMessageSignature[] = ":Installer message:";

const char* InstallerMessageTypeName(int32_t type) {
  switch (type) {
    case IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS:
      return "IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS";
    case IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS:
      return "IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS";
    case IPC_MESSAGE_INSTALL_FOLDER_READY:
      return "IPC_MESSAGE_INSTALL_FOLDER_READY";
    case IPC_MESSAGE_TOTAL_STEPS:
      return "IPC_MESSAGE_TOTAL_STEPS";
    case IPC_MESSAGE_STEP:
      return "IPC_MESSAGE_STEP";
    case IPC_MESSAGE_ERROR:
      return "IPC_MESSAGE_ERROR";
    case IPC_MESSAGE_SUCCESS:
      return "IPC_MESSAGE_SUCCESS";
  }
  return "";
}

InstallerMessage InstallerMessage::StartingNewMainProcess(bool value) {
  InstallerMessage message = OfType(IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS);
  message.value = value;
  return message;
}

InstallerMessage InstallerMessage::TotalSteps(int32_t count) {
  InstallerMessage message = OfType(IPC_MESSAGE_TOTAL_STEPS);
  message.count = count;
  return message;
}

InstallerMessage InstallerMessage::Error(int32_t code, std::wstring text, std::string detail) {
  InstallerMessage message = OfType(IPC_MESSAGE_ERROR);
  message.code = code;
  message.message = std::move(text);
  message.detail = std::move(detail);
  return message;
}

InstallerMessage InstallerMessage::OfType(InstallerMessageType type) {
  InstallerMessage message;
  message.type = type;
  return message;
}

std::unique_ptr<base::WireMessage> WriteInstallerMessage(const InstallerMessage& message) {
  std::unique_ptr<base::WireMessage> wire = WriteFields(message);
  if (wire->size() <= kMaxInstallerMessageSize || message.type != IPC_MESSAGE_ERROR)
    return wire;
  // The detail is for the log, which has it whole; the message is what the user reads.
  InstallerMessage shortened = message;
  while (wire->size() > kMaxInstallerMessageSize && !shortened.detail.empty()) {
    CutUtf8(wire->size() - kMaxInstallerMessageSize, &shortened.detail);
    wire = WriteFields(shortened);
  }
  while (wire->size() > kMaxInstallerMessageSize && !shortened.message.empty()) {
    CutUtf16(wire->size() - kMaxInstallerMessageSize, &shortened.message);
    wire = WriteFields(shortened);
  }
  LOG(WARNING) << "The error report of " << message.message.size() << " and "
               << message.detail.size() << " characters is shortened to "
               << shortened.message.size() << " and " << shortened.detail.size()
               << " to fit a mailslot message";
  return wire;
}

InstallerMessageReadResult ReadInstallerMessage(const base::WireMessage& wire,
                                                InstallerMessage* message) {
  base::WireMessageReader reader(wire);
  std::string signature;
  if (!reader.ReadString(&signature) || signature != kInstallerMessageSignature)
    return InstallerMessageReadResult::kNoSignature;
  int32_t type;
  if (!reader.ReadInt(&type))
    return InstallerMessageReadResult::kNoType;
  if (!*InstallerMessageTypeName(type))
    return InstallerMessageReadResult::kUnknownType;

  *message = InstallerMessage::OfType(static_cast<InstallerMessageType>(type));
  bool read = true;
  switch (type) {
    case IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS:
      read = reader.ReadBool(&message->value);
      break;
    case IPC_MESSAGE_TOTAL_STEPS:
      read = reader.ReadInt(&message->count);
      break;
    case IPC_MESSAGE_ERROR:
      read = reader.ReadInt(&message->code) && reader.ReadWideString(&message->message) &&
             reader.ReadString(&message->detail);
      break;
    default:
      break;
  }
  return read ? InstallerMessageReadResult::kOk : InstallerMessageReadResult::kInvalidFields;
}

}  // namespace installer
