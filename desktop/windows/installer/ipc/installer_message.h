#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_INSTALLER_MESSAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_INSTALLER_MESSAGE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/wire_message.h"

namespace installer {

// What the backend reports to the front end, one mailslot message per report. Each message
// is a WireMessage: the string kInstallerMessageSignature, the int32 type, then the type's
// fields (listed with each type).
enum InstallerMessageType : int32_t {
  IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS = 0,  // bool
  IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS = 1,
  IPC_MESSAGE_INSTALL_FOLDER_READY = 2,
  IPC_MESSAGE_TOTAL_STEPS = 3,  // int32 count
  IPC_MESSAGE_STEP = 4,
  IPC_MESSAGE_ERROR = 5,  // int32 code, wide string message, string detail
  IPC_MESSAGE_SUCCESS = 6,
};

extern const char kInstallerMessageSignature[];

// The front end reads each message into a buffer of this size: a larger one cannot be sent.
constexpr size_t kMaxInstallerMessageSize = 2048;

// The name of a type ("IPC_MESSAGE_TOTAL_STEPS"), for the logs; "" for an unknown type.
const char* InstallerMessageTypeName(int32_t type);

// One report, decoded. Only the fields of its type are meaningful.
struct InstallerMessage {
  static InstallerMessage StartingNewMainProcess(bool value);
  static InstallerMessage TotalSteps(int32_t count);
  static InstallerMessage Error(int32_t code, std::wstring message, std::string detail);
  static InstallerMessage OfType(InstallerMessageType type);

  bool operator==(const InstallerMessage& other) const = default;

  InstallerMessageType type = IPC_MESSAGE_STEP;
  bool value = false;
  int32_t count = 0;
  int32_t code = 0;
  std::wstring message;
  std::string detail;
};

// The wire form of |message|. An error report that would not fit kMaxInstallerMessageSize
// (long paths in its texts) is shortened so that it arrives: its detail is cut first, then
// its message, each keeping its start (whole characters) followed by "..."; the type and
// the code stay. Other messages always fit.
std::unique_ptr<base::WireMessage> WriteInstallerMessage(const InstallerMessage& message);

enum class InstallerMessageReadResult {
  kOk,
  kNoSignature,    // The first field is not the signature string.
  kNoType,         // The message ends before its type.
  kUnknownType,    // The type is not one of InstallerMessageType.
  kInvalidFields,  // The type's fields cannot be read.
};

// Decodes |wire| into |message| (left unspecified unless kOk). Bytes after the fields are
// ignored, so that a later sender may append fields.
InstallerMessageReadResult ReadInstallerMessage(const base::WireMessage& wire,
                                                InstallerMessage* message);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_INSTALLER_MESSAGE_H_
