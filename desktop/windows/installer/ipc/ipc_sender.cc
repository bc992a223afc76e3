#include "desktop/windows/installer/ipc/ipc_sender.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/synchronization/wait_time.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/ipc/mailslot_io.h"

namespace installer {

namespace {

// How long closing the mailslot waits for the front end to take what is still queued: the
// last messages of a run (its error or its success) matter most, but a front end that
// reads nothing must not hold the backend up.
constexpr DWORD kFlushTimeoutMs = 2000;

// How long a write may take where the thread waits for each write itself.
constexpr DWORD kBlockingWriteTimeoutMs = 2000;

}  // namespace

// Writes the queued messages into the mailslot one at a time, on the IPC thread. A message
// the mailslot refuses is logged and dropped, so that it cannot hold back the ones behind it.
class MailslotWriter : public base::IoHandler {
 public:
  // Null, with the error logged, when the mailslot cannot be opened.
  static std::unique_ptr<MailslotWriter> Open(const std::wstring& relative_name);

  MailslotWriter(const MailslotWriter&) = delete;
  MailslotWriter& operator=(const MailslotWriter&) = delete;
  // Writes out what the mailslot takes within kFlushTimeoutMs, then closes it.
  ~MailslotWriter() override;

  void Enqueue(std::unique_ptr<base::WireMessage> message);

 private:
  explicit MailslotWriter(base::win::ScopedHandle handle);

  // Writes from the front of the queue until a write is pending or the queue is empty.
  void WriteQueue();
  void DropFront(DWORD error);

  // base::IoHandler:
  void OnIoCompleted(base::IoContext* context, DWORD bytes_transferred, DWORD error) override;

  base::MessageLoop* const loop_;
  base::win::ScopedHandle handle_;
  // False where the mailslot cannot use the thread's completion port: each write is then
  // waited for in WriteQueue.
  bool use_completion_port_ = false;
  // Whether a write that completes at once is done with: the port hears only of those
  // that pend. (A mailslot write never waits for the reader, and a run sends a message
  // for every file it copies: the packet costs the thread a turn of its loop each.)
  bool completes_at_once_ = false;
  // The front message is the one being written.
  std::deque<std::unique_ptr<base::WireMessage>> queue_;
  bool write_pending_ = false;
  size_t dropped_ = 0;
  base::IoContext context_ = {};
};

std::unique_ptr<MailslotWriter> MailslotWriter::Open(const std::wstring& relative_name) {
  const std::wstring path = MakeMailslotPath(relative_name);
  LOG(INFO) << "Opening mailslot " << path;
  base::win::ScopedHandle handle(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING,
                                               FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                                               nullptr));
  if (!handle.IsValid()) {
    PLOG(ERROR) << "Failed opening " << path;
    return nullptr;
  }
  return std::unique_ptr<MailslotWriter>(new MailslotWriter(std::move(handle)));
}

MailslotWriter::MailslotWriter(base::win::ScopedHandle handle)
    : loop_(base::MessageLoop::Current()), handle_(std::move(handle)) {
  context_.handler = this;
  use_completion_port_ = loop_->RegisterIoHandler(handle_.Get(), this);
  if (!use_completion_port_) {
    LOG(INFO) << "Writing to the mailslot without the completion port";
    return;
  }
  completes_at_once_ =
      ::SetFileCompletionNotificationModes(handle_.Get(), FILE_SKIP_COMPLETION_PORT_ON_SUCCESS);
  if (!completes_at_once_)
    PLOG(INFO) << "Every write to the mailslot reports through the completion port";
}

MailslotWriter::~MailslotWriter() {
  LOG(INFO) << "Closing mailslot.";
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(kFlushTimeoutMs);
  // Each completion starts the next write.
  while (write_pending_ &&
         loop_->WaitForIoCompletion(base::GetWaitMilliseconds(deadline), this)) {
  }
  if (write_pending_) {
    LOG(INFO) << "I/O still pending on mailslot.";
    ::CancelIoEx(handle_.Get(), &context_.overlapped);
  }
  handle_.Close();
  // The OVERLAPPED is a member: the cancelled write must be over before it goes.
  if (write_pending_)
    loop_->WaitForIoCompletion(INFINITE, this);
  LOG(INFO) << "Messages unsent: " << dropped_ + queue_.size();
}

void MailslotWriter::Enqueue(std::unique_ptr<base::WireMessage> message) {
  queue_.push_back(std::move(message));
  WriteQueue();
}

void MailslotWriter::WriteQueue() {
  while (!write_pending_ && handle_.IsValid() && !queue_.empty()) {
    const base::WireMessage& message = *queue_.front();
    const DWORD size = static_cast<DWORD>(message.size());
    if (!use_completion_port_) {
      DWORD written = 0;
      const DWORD error =
          WriteAndWait(handle_.Get(), message.data(), size, kBlockingWriteTimeoutMs, &written);
      if (error)
        DropFront(error);
      else
        queue_.pop_front();
      continue;
    }
    context_.overlapped = {};
    // Unless the port is told to skip it, a write that completes at once still reports
    // through the completion port.
    if (::WriteFile(handle_.Get(), message.data(), size, nullptr, &context_.overlapped)) {
      if (completes_at_once_) {
        queue_.pop_front();
        continue;
      }
      write_pending_ = true;
      return;
    }
    if (::GetLastError() == ERROR_IO_PENDING) {
      write_pending_ = true;
      return;
    }
    DropFront(::GetLastError());
  }
}

void MailslotWriter::DropFront(DWORD error) {
  ELOG(ERROR, error) << "Cannot write to mailslot";
  queue_.pop_front();
  ++dropped_;
}

void MailslotWriter::OnIoCompleted(base::IoContext* context,
                                   DWORD bytes_transferred,
                                   DWORD error) {
  write_pending_ = false;
  if (error)
    DropFront(error);
  else
    queue_.pop_front();
  WriteQueue();
}

IpcSender::IpcSender(size_t max_message_size)
    : max_message_size_(max_message_size), thread_("Installer IPC thread") {}

IpcSender::~IpcSender() {
  Close();
}

bool IpcSender::Connect(const std::wstring& relative_name) {
  LOG(INFO) << "Preparing to send IPC on " << relative_name;
  base::Thread::Options options;
  options.message_loop_type = base::MessageLoop::TYPE_IO;
  if (!thread_.StartWithOptions(options)) {
    LOG(ERROR) << "Could not start IPC thread";
    return false;
  }
  thread_.GetTaskRunner()->PostTask(FROM_HERE,
                                    base::BindMethod(&IpcSender::OpenWriter, this, relative_name));
  return true;
}

bool IpcSender::Send(std::unique_ptr<base::WireMessage> message) {
  if (message->size() > max_message_size_) {
    LOG(ERROR) << "Not sending a message of " << message->size()
               << " bytes: the receiver reads at most " << max_message_size_;
    return false;
  }
  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner = thread_.GetTaskRunner();
  if (!task_runner) {
    LOG(ERROR) << "Not sending a message: the sender is not connected";
    return false;
  }
  base::TimeDelta delay;
  {
    base::AutoLock lock(lock_);
    unsent_.push_back(std::move(message));
    if (unsent_.size() > 1)
      return true;  // Its hand-over is posted already.
    delay = next_hand_over_ - base::TimeTicks::Now();
  }
  task_runner->PostDelayedTask(FROM_HERE, base::BindMethod(&IpcSender::TakeOver, this),
                               std::max(delay, base::TimeDelta()));
  return true;
}

void IpcSender::Close() {
  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner = thread_.GetTaskRunner();
  if (!task_runner)
    return;
  LOG(INFO) << "Stopping RPC sender";
  // What waits for its hand-over goes now, before the writer closes.
  task_runner->PostTask(FROM_HERE, base::BindMethod(&IpcSender::TakeOver, this));
  task_runner->PostTask(FROM_HERE, base::BindMethod(&IpcSender::DestroyWriter, this));
  thread_.Stop();
}

void IpcSender::OpenWriter(const std::wstring& relative_name) {
  writer_ = MailslotWriter::Open(relative_name);
}

void IpcSender::TakeOver() {
  std::vector<std::unique_ptr<base::WireMessage>> messages;
  {
    base::AutoLock lock(lock_);
    messages.swap(unsent_);
    next_hand_over_ = base::TimeTicks::Now() + kHandOverInterval;
  }
  if (!writer_)
    return;
  for (std::unique_ptr<base::WireMessage>& message : messages)
    writer_->Enqueue(std::move(message));
}

void IpcSender::DestroyWriter() {
  writer_.reset();
}

}  // namespace installer
