#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_IPC_SENDER_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_IPC_SENDER_H_

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "base/synchronization/lock.h"
#include "base/threading/thread.h"
#include "base/time/time.h"
#include "base/wire_message.h"
#include "desktop/windows/installer/ipc/installer_message.h"

namespace installer {

class MailslotWriter;

// The backend's half of the mailslot messaging: writes messages, in the order sent, into
// the mailslot of the front end from its own thread, "Installer IPC thread". Sending is
// one-way and never fails the caller: a message the mailslot does not take is logged and
// dropped, and when the mailslot cannot be opened every message is dropped.
//
// Connect, Send and Close are called on one thread (the owner's); the mailslot I/O runs on
// the IPC thread. The IPC thread takes the messages over in batches, at most one batch per
// kHandOverInterval: a run sends a message for every file it copies, and waking the thread
// for each would cost more than the copy of a small file.
class IpcSender {
 public:
  // |max_message_size| is the largest message the receiver reads whole.
  explicit IpcSender(size_t max_message_size = kMaxInstallerMessageSize);
  IpcSender(const IpcSender&) = delete;
  IpcSender& operator=(const IpcSender&) = delete;
  // Close.
  ~IpcSender();

  // Starts the IPC thread and has it open "\\.\mailslot\" + |relative_name|. False, with an
  // error logged, when the thread cannot start.
  bool Connect(const std::wstring& relative_name);

  // The shortest time between two hand-overs of messages to the IPC thread. A message sent
  // after a quiet spell is handed over at once.
  static constexpr base::TimeDelta kHandOverInterval = base::TimeDelta::FromMilliseconds(10);

  // Queues |message| for writing. False, with an error logged, for a message larger than
  // the receiver can read (never cut short) and before Connect.
  bool Send(std::unique_ptr<base::WireMessage> message);

  // Writes out what the mailslot still takes, closes it and stops the thread. The messages
  // sent before are written first.
  void Close();

 private:
  // On the IPC thread.
  void OpenWriter(const std::wstring& relative_name);
  // Takes the messages sent so far into the writer's queue.
  void TakeOver();
  void DestroyWriter();

  const size_t max_message_size_;
  base::Thread thread_;
  // The messages sent and not yet taken over, in order; a hand-over is posted whenever
  // there are any. Guarded by lock_, as is the earliest time of the next hand-over.
  base::Lock lock_;
  std::vector<std::unique_ptr<base::WireMessage>> unsent_;
  base::TimeTicks next_hand_over_;
  // Lives on the IPC thread; null until opened or when the mailslot could not be opened.
  std::unique_ptr<MailslotWriter> writer_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_IPC_SENDER_H_
