#include "desktop/windows/installer/ipc/ipc_receiver.h"

#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/threading/current_thread_task_runner.h"
#include "desktop/windows/installer/ipc/mailslot_io.h"
#include "desktop/windows/installer/service/secure_named_object.h"

namespace installer {

namespace {

// Where the thread reads without the completion port, each read waits at most this long,
// so that the thread gets back to its tasks (and can be stopped) in that time.
constexpr DWORD kBlockingReadTimeoutMs = 100;

// Reading stops after this many failures in a row: a broken mailslot must not keep the
// thread spinning. A single bad message (Wine fails the read of an empty one) does not.
constexpr int kMaxReadFailures = 8;

// A Flush takes at most this many messages: writers that keep writing cannot hold it up.
constexpr int kMaxFlushMessages = 1000;

// How long a Flush waits for a read to complete when a message waits in the mailslot.
constexpr DWORD kFlushReadTimeoutMs = 1000;

}  // namespace

// Reads the mailslot on the IPC thread and hands each message to the receiver there.
class MailslotReader : public base::IoHandler {
 public:
  MailslotReader(base::win::ScopedHandle mailslot, size_t buffer_size, IpcReceiver* receiver);
  MailslotReader(const MailslotReader&) = delete;
  MailslotReader& operator=(const MailslotReader&) = delete;
  ~MailslotReader() override;

  // Starts reading.
  void Start();
  // Hands on every message that is in the mailslot now.
  void Flush();

 private:
  // Completion-port reading: one read pending at a time.
  void StartRead();
  // Reading without the completion port: one read per task, each limited in time.
  void ReadAndPostNext();

  // A read ended; false when reading must stop.
  bool OnRead(DWORD error, DWORD bytes_read);
  bool HasWaitingMessage() const;

  // base::IoHandler:
  void OnIoCompleted(base::IoContext* context, DWORD bytes_transferred, DWORD error) override;

  base::MessageLoop* const loop_;
  base::win::ScopedHandle mailslot_;
  IpcReceiver* const receiver_;
  std::vector<char> buffer_;
  bool use_completion_port_ = false;
  bool read_pending_ = false;
  int failures_in_a_row_ = 0;
  base::IoContext context_ = {};
  base::WeakPtrFactory<MailslotReader> weak_factory_{this};
};

MailslotReader::MailslotReader(base::win::ScopedHandle mailslot,
                               size_t buffer_size,
                               IpcReceiver* receiver)
    : loop_(base::MessageLoop::Current()),
      mailslot_(std::move(mailslot)),
      receiver_(receiver),
      buffer_(buffer_size) {
  context_.handler = this;
}

MailslotReader::~MailslotReader() {
  LOG(INFO) << "Closing mailslot";
  if (read_pending_) {
    LOG(INFO) << "I/O still pending on mailslot.";
    ::CancelIoEx(mailslot_.Get(), &context_.overlapped);
  }
  mailslot_.Close();
  // The OVERLAPPED and the buffer are members: the cancelled read must be over first.
  if (read_pending_)
    loop_->WaitForIoCompletion(INFINITE, this);
}

void MailslotReader::Start() {
  use_completion_port_ = loop_->RegisterIoHandler(mailslot_.Get(), this);
  if (use_completion_port_) {
    StartRead();
    return;
  }
  // Wine cannot bind a mailslot to a completion port, and an overlapped read of it blocks
  // until a message comes or the mailslot's read time-out passes: the thread reads itself,
  // with a time-out that lets it run its tasks in between. Only this thread reads the
  // mailslot, one read at a time: each read signals the mailslot handle itself.
  LOG(INFO) << "Reading the mailslot without the completion port";
  if (!::SetMailslotInfo(mailslot_.Get(), kBlockingReadTimeoutMs)) {
    PLOG(ERROR) << "Cannot read from mailslot";
    return;
  }
  ReadAndPostNext();
}

void MailslotReader::StartRead() {
  while (mailslot_.IsValid() && !read_pending_) {
    context_.overlapped = {};
    // A read that completes at once still reports through the completion port.
    if (::ReadFile(mailslot_.Get(), buffer_.data(), static_cast<DWORD>(buffer_.size()),
                   nullptr, &context_.overlapped) ||
        ::GetLastError() == ERROR_IO_PENDING) {
      read_pending_ = true;
      return;
    }
    if (!OnRead(::GetLastError(), 0))
      return;
  }
}

void MailslotReader::OnIoCompleted(base::IoContext* context,
                                   DWORD bytes_transferred,
                                   DWORD error) {
  read_pending_ = false;
  // The read that closing the mailslot cancelled.
  if (!mailslot_.IsValid())
    return;
  if (OnRead(error, bytes_transferred))
    StartRead();
}

void MailslotReader::ReadAndPostNext() {
  DWORD bytes_read = 0;
  const DWORD error = ReadAndWait(mailslot_.Get(), buffer_.data(),
                                  static_cast<DWORD>(buffer_.size()),
                                  kBlockingReadTimeoutMs, &bytes_read, kSignalHandle);
  const bool timed_out = error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT;
  if (!timed_out && !OnRead(error, bytes_read))
    return;
  loop_->task_runner()->PostTask(
      FROM_HERE, base::BindMethod(&MailslotReader::ReadAndPostNext, weak_factory_.GetWeakPtr()));
}

bool MailslotReader::OnRead(DWORD error, DWORD bytes_read) {
  if (error) {
    ELOG(ERROR, error) << "Cannot read from mailslot";
    return ++failures_in_a_row_ < kMaxReadFailures;
  }
  failures_in_a_row_ = 0;
  // An empty message carries nothing.
  if (bytes_read)
    receiver_->OnMessageReceived(base::WireMessage(buffer_.data(), bytes_read));
  return true;
}

bool MailslotReader::HasWaitingMessage() const {
  DWORD next_size = MAILSLOT_NO_MESSAGE;
  return ::GetMailslotInfo(mailslot_.Get(), nullptr, &next_size, nullptr, nullptr) &&
         next_size != MAILSLOT_NO_MESSAGE;
}

void MailslotReader::Flush() {
  for (int i = 0; i < kMaxFlushMessages && mailslot_.IsValid(); ++i) {
    if (use_completion_port_) {
      // A waiting message completes the pending read at once; its completion may already
      // be queued.
      if (!loop_->WaitForIoCompletion(0, this) &&
          (!HasWaitingMessage() || !loop_->WaitForIoCompletion(kFlushReadTimeoutMs, this))) {
        return;
      }
      continue;
    }
    if (!HasWaitingMessage())
      return;
    DWORD bytes_read = 0;
    const DWORD error = ReadAndWait(mailslot_.Get(), buffer_.data(),
                                    static_cast<DWORD>(buffer_.size()), kFlushReadTimeoutMs,
                                    &bytes_read, kSignalHandle);
    if (!OnRead(error, bytes_read))
      return;
  }
}

IpcReceiver::IpcReceiver(Delegate* delegate, size_t max_message_size)
    : max_message_size_(max_message_size),
      thread_("Installer IPC thread"),
      owner_task_runner_(base::CurrentThreadTaskRunner::Get()),
      delegate_(delegate) {}

IpcReceiver::~IpcReceiver() {
  Close();
  weak_factory_.InvalidateWeakPtrs();
}

bool IpcReceiver::Connect(const std::wstring& relative_name) {
  LOG(INFO) << "Preparing to receive IPC on " << relative_name;
  base::Thread::Options options;
  options.message_loop_type = base::MessageLoop::TYPE_IO;
  if (!thread_.StartWithOptions(options)) {
    LOG(ERROR) << "Could not start IPC thread";
    return false;
  }
  // Made here rather than on the IPC thread, so that Connect can say whether it worked.
  const std::wstring path = MakeMailslotPath(relative_name);
  LOG(INFO) << "Creating mailslot " << path;
  // Only the installing user, SYSTEM and Administrators may write into it; a mailslot of
  // the name that exists already is another process's.
  NamedObject mailslot =
      CreateNamedMailslot(path, static_cast<DWORD>(max_message_size_), MAILSLOT_WAIT_FOREVER);
  if (!mailslot.handle.IsValid()) {
    thread_.Stop();
    return false;
  }
  weak_this_ = weak_factory_.GetWeakPtr();
  thread_.GetTaskRunner()->PostTask(
      FROM_HERE, base::BindMethod(&IpcReceiver::StartReader, this, std::move(mailslot.handle)));
  return true;
}

void IpcReceiver::Close() {
  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner = thread_.GetTaskRunner();
  if (!task_runner)
    return;
  LOG(INFO) << "Stopping RPC receiver";
  task_runner->PostTask(FROM_HERE, base::BindMethod(&IpcReceiver::DestroyReader, this));
  thread_.Stop();
  weak_factory_.InvalidateWeakPtrs();
}

void IpcReceiver::Flush(base::Closure done) {
  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner = thread_.GetTaskRunner();
  if (!task_runner) {
    done.Run();
    return;
  }
  // The messages found go to this thread before the reply does.
  task_runner->PostTaskAndReply(FROM_HERE, base::BindMethod(&IpcReceiver::FlushReader, this),
                                std::move(done));
}

void IpcReceiver::OnMessageReceived(const base::WireMessage& message) {
  owner_task_runner_->PostTask(
      FROM_HERE, base::BindMethod(&IpcReceiver::DeliverMessage, weak_this_, message));
}

void IpcReceiver::StartReader(base::win::ScopedHandle& mailslot) {
  reader_ = std::make_unique<MailslotReader>(std::move(mailslot), max_message_size_, this);
  reader_->Start();
}

void IpcReceiver::FlushReader() {
  if (reader_)
    reader_->Flush();
}

void IpcReceiver::DestroyReader() {
  reader_.reset();
}

void IpcReceiver::DeliverMessage(base::WireMessage& message) {
  delegate_->OnMessageReceived(message);
}

}  // namespace installer
