#ifndef DESKTOP_WINDOWS_INSTALLER_STATUS_FETCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_STATUS_FETCHER_H_

#include <memory>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"

namespace installer {

class Status;

// One read of an install folder's Status on a worker-pool thread (a slow task, with COM
// initialised for a single-threaded apartment there), whose reply runs on the thread that
// started it. Shared by its owner, which may drop the reply at any time, and the pool task;
// the worker touches nothing but the folder and the Status being read. A Status that is
// never handed over goes with the last reference.
class StatusFetcher : public base::RefCountedThreadSafe<StatusFetcher> {
 public:
  using Reply = base::Callback<void(std::unique_ptr<Status>)>;

  StatusFetcher(const base::FilePath& folder, bool replace_morrit_installation, Reply reply);

  StatusFetcher(const StatusFetcher&) = delete;
  StatusFetcher& operator=(const StatusFetcher&) = delete;

  // Posts the read. False, with nothing posted, when the calling thread has no task runner
  // or the pool refuses the task.
  bool FetchStatus();
  // Drops the reply: the read goes on, its Status is thrown away. On the starting thread.
  void Cancel();

  const base::FilePath& folder() const { return folder_; }
  // For tests: whether the Status read is still held (not handed to the reply).
  bool HoldsStatusForTesting() const { return status_ != nullptr; }

  // The Status of |folder|, read on the calling thread.
  static std::unique_ptr<Status> ReadStatus(const base::FilePath& folder,
                                            bool replace_morrit_installation);

 private:
  friend class base::RefCountedThreadSafe<StatusFetcher>;
  ~StatusFetcher();

  void Read();
  void DeliverReply();

  const base::FilePath folder_;
  const bool replace_morrit_installation_;
  Reply reply_;
  std::unique_ptr<Status> status_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_STATUS_FETCHER_H_
