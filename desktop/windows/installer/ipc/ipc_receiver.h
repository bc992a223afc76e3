#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_IPC_RECEIVER_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_IPC_RECEIVER_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/single_thread_task_runner.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "base/wire_message.h"
#include "desktop/windows/installer/ipc/installer_message.h"

namespace installer {

class MailslotReader;

// The front end's half of the mailslot messaging: owns the mailslot, reads it on its own
// thread, "Installer IPC thread", and hands every message, in the order received, to its
// delegate on the thread that created the receiver (which must run a MessageLoop). The
// messages are not checked: the access list keeps other users out, but any process of the
// user may write into the mailslot.
//
// Connect, Close and Flush are called on the creating thread.
class IpcReceiver {
 public:
  class Delegate {
   public:
    // |message| is a copy, valid for the call; it is invalid (and empty) when the bytes
    // received were not a whole WireMessage.
    virtual void OnMessageReceived(const base::WireMessage& message) = 0;

   protected:
    virtual ~Delegate() = default;
  };

  // |delegate| (not owned) must outlive the receiver. |max_message_size| is the size of the
  // read buffer, and the largest message the mailslot accepts.
  explicit IpcReceiver(Delegate* delegate,
                       size_t max_message_size = kMaxInstallerMessageSize);
  IpcReceiver(const IpcReceiver&) = delete;
  IpcReceiver& operator=(const IpcReceiver&) = delete;
  // Close; no message reaches the delegate afterwards.
  ~IpcReceiver();

  // Starts the IPC thread and creates the mailslot "\\.\mailslot\" + |relative_name|, which
  // only the installing user, SYSTEM and Administrators may write into. False, with an error
  // logged, when either fails; a mailslot of that name that exists already (another
  // process made it first) is refused.
  bool Connect(const std::wstring& relative_name);

  // Closes the mailslot and stops the thread; messages not yet handed to the delegate are
  // dropped. Connect may follow.
  void Close();

  // Hands every message that is in the mailslot now to the delegate, then runs |done| on
  // this thread: a writer that has ended has all its messages seen before |done|. |done|
  // runs at once when the receiver is not connected.
  void Flush(base::Closure done);

  // From the reader, on the IPC thread.
  void OnMessageReceived(const base::WireMessage& message);

 private:
  // On the IPC thread.
  void StartReader(base::win::ScopedHandle& mailslot);
  void FlushReader();
  void DestroyReader();
  // On the creating thread.
  void DeliverMessage(base::WireMessage& message);

  const size_t max_message_size_;
  base::Thread thread_;
  const base::scoped_refptr<base::SingleThreadTaskRunner> owner_task_runner_;
  Delegate* const delegate_;
  // Lives on the IPC thread.
  std::unique_ptr<MailslotReader> reader_;
  // Handed to the IPC thread for its replies; a fresh one for each Connect.
  base::WeakPtr<IpcReceiver> weak_this_;
  base::WeakPtrFactory<IpcReceiver> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_IPC_RECEIVER_H_
