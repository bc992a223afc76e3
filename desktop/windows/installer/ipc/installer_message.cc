#include "desktop/windows/installer/ipc/installer_message.h"

#include <string_view>
#include <utility>

namespace installer {

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
