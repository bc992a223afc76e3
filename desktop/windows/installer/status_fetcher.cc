#include "desktop/windows/installer/status_fetcher.h"

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/threading/worker_pool.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/installation_registry_keys.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"
#include "desktop/windows/installer/status.h"

namespace installer {

StatusFetcher::StatusFetcher(const base::FilePath& folder,
                             bool replace_morrit_installation,
                             Reply reply)
    : folder_(folder),
      replace_morrit_installation_(replace_morrit_installation),
      reply_(std::move(reply)) {}

StatusFetcher::~StatusFetcher() = default;

bool StatusFetcher::FetchStatus() {
  const base::scoped_refptr<StatusFetcher> self(this);
  return base::WorkerPool::PostTaskAndReply(FROM_HERE, base::BindMethod(&StatusFetcher::Read, self),
                                            base::BindMethod(&StatusFetcher::DeliverReply, self),
                                            true);
}

void StatusFetcher::Cancel() {
  reply_.Reset();
}

// static
std::unique_ptr<Status> StatusFetcher::ReadStatus(const base::FilePath& folder,
                                                  bool replace_morrit_installation) {
  base::win::ScopedComInitializer com;
  if (!com.Succeeded())
    LOG(WARNING) << "COM is not initialised for a single-threaded apartment here";
  // A run that was interrupted in the folder is undone (or finished) before the folder is
  // read, unless a run holds it; every decision of a run rests on this read. A read starts
  // no program: a folder only typed in may hold anyone's journal.
  RecoverInterruptedRun(folder, &IsInstallationRegistryKey, RecoveryPurpose::kStatusRead);
  std::unique_ptr<Status> status = std::make_unique<Status>(replace_morrit_installation);
  status->Initialize(folder);
  return status;
}

void StatusFetcher::Read() {
  status_ = ReadStatus(folder_, replace_morrit_installation_);
}

void StatusFetcher::DeliverReply() {
  if (reply_.is_null())
    return;
  Reply reply = std::move(reply_);
  reply.Run(std::move(status_));
}

}  // namespace installer
